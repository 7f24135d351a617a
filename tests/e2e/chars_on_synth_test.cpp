// Character segmentation and line geometry on generated pages, cleaned as the pipeline cleans
// them, with the text columns taken from the truth: characters per line, indents and line-end
// blanks against the truth, and the reversed punctuation of a page lying upside down.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

#include "chars/char_segmentation.h"
#include "lines/line_geometry.h"
#include "prep/sheet_cleaning.h"
#include "prep/wave_lengths.h"
#include "sheet_synth.h"
#include "test_support.h"

namespace {

// What the truth says of one line.
struct TrueLine {
    int chars = 0;  // characters, hanging marks included
    int head = 0;   // blank cells before the first character
    int tail = 0;   // blank cells after the last character
};

TrueLine countCells(const LineTruth& line) {
    TrueLine t;
    const std::vector<CellTruth>& cells = line.cells;
    size_t first = 0;
    while (first < cells.size() && cells[first].kind == "blank") ++first;
    size_t end = cells.size();
    while (end > first && cells[end - 1].kind == "blank") --end;
    t.head = static_cast<int>(first);
    t.tail = static_cast<int>(cells.size() - end);
    for (size_t i = first; i < end; ++i) t.chars += cells[i].kind != "blank";
    return t;
}

// The text column of a line: the box around its cells (hanging marks included) with its slant,
// two pixels wider on each side.
VerticalBand columnOf(const LineTruth& line) {
    std::vector<Point> pts;
    for (const CellTruth& c : line.cells)
        for (const Point& p : c.box.p) pts.push_back(p);
    for (const Point& p : line.box.p) pts.push_back(p);
    // The top two and the bottom two corners of the slanted column, whatever the turn.
    std::vector<Point> corners(line.box.p, line.box.p + 4);
    std::sort(corners.begin(), corners.end(), [](const Point& a, const Point& b) { return a.y < b.y; });
    const auto x = [](double v) { return static_cast<int>(std::lround(v)); };
    const auto [top, bottom] =
        std::minmax_element(pts.begin(), pts.end(), [](const Point& a, const Point& b) { return a.y < b.y; });
    VerticalBand c = uprightBand(0, 0, x(top->y), x(bottom->y), 4);
    c.xLeftTop = x(std::min(corners[0].x, corners[1].x)) - 2;
    c.xRightTop = x(std::max(corners[0].x, corners[1].x)) + 2;
    c.xLeftBottom = x(std::min(corners[2].x, corners[3].x)) - 2;
    c.xRightBottom = x(std::max(corners[2].x, corners[3].x)) + 2;
    return c;
}

// The lines of one tier, left to right as the column finder lists them, segmented and measured
// as one line group.
struct TierRun {
    std::deque<VerticalBand> columns;
    std::deque<HorizontalBandList> chars;
    std::vector<TrueLine> truth;
    int reversed = 0;  // lone commas and stops on the left of their cells
    MarkCounts marks;  // where every lone comma and stop stands
};

void runTier(const GreyImage& image, const TierTruth& tier, double waveX, double waveY, TierRun& run) {
    std::vector<const LineTruth*> lines;
    for (const LineTruth& l : tier.lines) lines.push_back(&l);
    std::sort(lines.begin(), lines.end(), [](const LineTruth* a, const LineTruth* b) {
        return a->box.p[0].x + a->box.p[2].x < b->box.p[0].x + b->box.p[2].x;
    });
    int carried = static_cast<int>(0.5 * waveY);
    LineGroupView group;
    for (const LineTruth* l : lines) {
        run.columns.push_back(columnOf(*l));
        run.truth.push_back(countCells(*l));
        HorizontalBandList& chars = run.chars.emplace_back();
        VerticalBand& column = run.columns.back();
        segmentCharacters(image, chars, waveY, carried, column, run.reversed, &run.marks);
        if (column.type == 4) {
            carried = column.line().typicalCharHeight;
            group.columns.push_back(&column);
            group.charLists.push_back(&chars);
        }
    }
    int typicalNumChar = 0;
    measureLineGroup(group, typicalNumChar, image, waveX);
}

// The pipeline straightens pages and text lines before it cuts characters (the cut probes across
// the column's top-row extent), so the pages here are scanned without rotation or shear; every
// other degradation of the preset stays.
void straightScan(SynthOptions& o) {
    o.rotateDegrees = 0.0;
    o.shear = 0.0;
}

// Renders a page, cleans it and runs every tier.
bool runPage(const SynthOptions& o, std::deque<TierRun>& runs) {
    GreyImage image;
    SheetTruth truth;
    std::string error;
    if (!synthesizeSheet(o, image, truth, error)) {
        ADD_FAILURE() << error;
        return false;
    }
    TraceCapture quiet;
    double waveX = 0, waveY = 0;
    if (!measureWaveLengths(image, waveX, waveY)) {
        ADD_FAILURE() << "no wave lengths for seed " << o.seed;
        return false;
    }
    cleanForAnalysis(image, waveX, waveY);
    for (const PageTruth& page : truth.pages)
        for (const TierTruth& tier : page.tiers) runTier(image, tier, waveX, waveY, runs.emplace_back());
    return true;
}

}  // namespace

TEST(CharsOnSheets, CharactersIndentsAndLineEndsOfNovelPagesMatchTheTruth) {
    const int n = envCount("TOVEL_CHAR_PAGES", 30);
    int lines = 0, charsRight = 0, headsRight = 0, tailsRight = 0, rejected = 0;
    for (int i = 0; i < n; ++i) {
        SynthOptions o;
        o.seed = 7000 + static_cast<uint64_t>(i);
        ASSERT_TRUE(applyPreset(i % 3 == 2 ? "two-tier" : "novel-page", o));
        straightScan(o);
        std::deque<TierRun> runs;
        ASSERT_TRUE(runPage(o, runs));
        int pageLines = 0, pageChars = 0, pageHeads = 0, pageTails = 0;
        for (TierRun& run : runs) {
            for (size_t k = 0; k < run.columns.size(); ++k) {
                VerticalBand& column = run.columns[k];
                const TrueLine& t = run.truth[k];
                ++pageLines;
                if (column.type != 4) {
                    ++rejected;
                    continue;
                }
                int found = 0;
                for (const HorizontalBand& c : run.chars[k]) found += c.type == 2;
                const LineInfo& info = column.line();
                pageChars += std::abs(found - t.chars) <= 1;
                pageHeads += info.headBlanks == t.head;
                pageTails += info.tailBlanks == t.tail;
            }
        }
        std::printf("seed %llu: %d lines, characters within 1 on %d, indents right on %d, line ends right on %d\n",
                    static_cast<unsigned long long>(o.seed), pageLines, pageChars, pageHeads, pageTails);
        lines += pageLines;
        charsRight += pageChars;
        headsRight += pageHeads;
        tailsRight += pageTails;
    }
    std::printf("%d pages, %d lines (%d rejected): characters within 1 on %d, head blanks right on %d, "
                "tail blanks right on %d\n",
                n, lines, rejected, charsRight, headsRight, tailsRight);
    EXPECT_GE(charsRight * 10, lines * 9);
    EXPECT_GE(headsRight * 10, lines * 9);
    EXPECT_GE(tailsRight * 10, lines * 9);
}

TEST(CharsOnSheets, APageUpsideDownShowsReversedPunctuationAndAnUprightOneDoesNot) {
    int upright = 0, upsideDown = 0;
    const int n = 3;
    for (int i = 0; i < n; ++i) {
        for (int turn : {0, 180}) {
            SynthOptions o;
            o.seed = 7100 + static_cast<uint64_t>(i);
            ASSERT_TRUE(applyPreset("novel-page", o));
            straightScan(o);
            o.turn = turn;
            std::deque<TierRun> runs;
            ASSERT_TRUE(runPage(o, runs));
            const TierRun& tier = runs.front();
            const bool turns = tier.reversed >= 2 && tier.reversed > tier.marks.right;
            std::printf("seed %llu turned %d: marks on the left %d, on the right %d; placed as in vertical text %d, "
                        "as in horizontal text %d\n",
                        static_cast<unsigned long long>(o.seed), turn, tier.reversed, tier.marks.right,
                        tier.marks.vertical, tier.marks.horizontal);
            // Whichever way up, the marks sit as vertical text sets them.
            EXPECT_GT(tier.marks.vertical, 4 * tier.marks.horizontal);
            (turn == 0 ? upright : upsideDown) += turns;
        }
    }
    EXPECT_EQ(upright, 0);
    EXPECT_EQ(upsideDown, n);
}
