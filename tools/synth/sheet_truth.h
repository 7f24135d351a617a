// The ground truth tovel-synth writes beside each sheet: where every page, tier, line, cell and
// block lies, in the coordinates of the sheet as written (after every degradation and the turn).
#pragma once

#include <string>
#include <vector>

struct Point {
    double x = 0;
    double y = 0;
};

// Four corners: top-left, top-right, bottom-right, bottom-left, as drawn before any degradation.
struct Quad {
    Point p[4];
    static Quad box(double left, double top, double right, double bottom);
    // The smallest upright box holding the four corners: top-left in p[0], bottom-right in p[2].
    Quad bounds() const;
};

struct CellTruth {
    std::string text;  // the character; empty for a blank cell
    std::string kind;  // "char", "blank" (indent or paragraph end) or "hanging" (below the line)
    Quad box;
};

struct RubyTruth {
    std::string text;
    Quad box;
};

struct LineTruth {
    Quad box;  // the column of cells, hanging marks excluded
    std::vector<CellTruth> cells;
    std::vector<RubyTruth> ruby;
};

struct BlockTruth {
    std::string kind;  // "picture" or "horizontal"
    Quad box;
};

struct TierTruth {
    Quad box;
    std::vector<LineTruth> lines;  // right to left, in reading order
    std::vector<BlockTruth> blocks;
};

struct PageTruth {
    Quad box;
    std::vector<TierTruth> tiers;
    bool hasHeader = false;
    Quad header;
    std::string headerText;
    bool hasFooter = false;
    Quad footer;
    std::string footerText;
    std::vector<Quad> rules;  // each line of the ruled frames, as a thin box
    bool hasStamp = false;
    Quad stamp;  // the square round a library stamp
};

struct SheetTruth {
    int width = 0;
    int height = 0;
    int dpi = 0;
    int turn = 0;
    double skewDegrees = 0;
    double shear = 0;
    double linePitch = 0;  // pixels from one line to the next
    double charPitch = 0;  // pixels from one cell to the next along a line
    bool hasSeam = false;
    Quad seam;  // the gutter of a spread: a zero-width line from top to bottom
    bool hasSliver = false;
    Quad sliver;  // the strip of the facing page's text beside the page, sheet top to bottom
    bool hasBookEdge = false;
    Quad bookEdge;  // the stacked edges of the other leaves, at the sheet's side
    std::vector<PageTruth> pages;  // right page first
};

// Applies f to every point of the truth.
template <class F>
void forEachPoint(SheetTruth& t, F f) {
    auto quad = [&f](Quad& q) {
        for (Point& p : q.p) f(p);
    };
    quad(t.seam);
    quad(t.sliver);
    quad(t.bookEdge);
    for (PageTruth& page : t.pages) {
        quad(page.box);
        quad(page.header);
        quad(page.footer);
        quad(page.stamp);
        for (Quad& rule : page.rules) quad(rule);
        for (TierTruth& tier : page.tiers) {
            quad(tier.box);
            for (BlockTruth& b : tier.blocks) quad(b.box);
            for (LineTruth& line : tier.lines) {
                quad(line.box);
                for (CellTruth& c : line.cells) quad(c.box);
                for (RubyTruth& r : line.ruby) quad(r.box);
            }
        }
    }
}

// The truth as JSON text.
std::string truthJson(const SheetTruth& truth);
