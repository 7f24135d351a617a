#include "sheet_synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// Calls f with the grey of every pixel whose centre lies inside quad q shrunk towards its
// centre by the given share.
template <class F>
void forPixelsInside(const GreyImage& image, const Quad& q, double shrink, F f) {
    double cx = 0, cy = 0;
    for (const Point& p : q.p) {
        cx += p.x / 4;
        cy += p.y / 4;
    }
    Point in[4];
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (int i = 0; i < 4; ++i) {
        in[i] = {cx + (q.p[i].x - cx) * (1 - shrink), cy + (q.p[i].y - cy) * (1 - shrink)};
        x0 = std::min(x0, in[i].x);
        y0 = std::min(y0, in[i].y);
        x1 = std::max(x1, in[i].x);
        y1 = std::max(y1, in[i].y);
    }
    // A point is inside when it lies on the same side of all four edges.
    auto inside = [&in](double x, double y) {
        int sign = 0;
        for (int i = 0; i < 4; ++i) {
            const Point& a = in[i];
            const Point& b = in[(i + 1) % 4];
            const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
            const int s = cross > 0 ? 1 : (cross < 0 ? -1 : 0);
            if (s != 0 && sign != 0 && s != sign) return false;
            if (s != 0) sign = s;
        }
        return true;
    };
    for (int y = std::max(0, static_cast<int>(y0)); y <= std::min(image.height - 1, static_cast<int>(y1)); ++y)
        for (int x = std::max(0, static_cast<int>(x0)); x <= std::min(image.width - 1, static_cast<int>(x1)); ++x)
            if (inside(x + 0.5, y + 0.5)) f(image.at(x, y));
}

// The darkest pixel inside quad q shrunk towards its centre by the given share.
int darkestInside(const GreyImage& image, const Quad& q, double shrink) {
    int darkest = 255;
    forPixelsInside(image, q, shrink, [&darkest](int v) { darkest = std::min(darkest, v); });
    return darkest;
}

// The mean grey inside quad q.
double meanInside(const GreyImage& image, const Quad& q) {
    double sum = 0;
    long n = 0;
    forPixelsInside(image, q, 0.0, [&](int v) {
        sum += v;
        ++n;
    });
    return n ? sum / n : 255;
}

struct Span {
    double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18;
};

// The axis-aligned box round q.
Span span(const Quad& q) {
    Span s;
    for (const Point& p : q.p) {
        s.x0 = std::min(s.x0, p.x);
        s.y0 = std::min(s.y0, p.y);
        s.x1 = std::max(s.x1, p.x);
        s.y1 = std::max(s.y1, p.y);
    }
    return s;
}

bool overlap(const Span& a, const Span& b, double margin = 0) {
    return a.x0 < b.x1 + margin && b.x0 < a.x1 + margin && a.y0 < b.y1 + margin && b.y0 < a.y1 + margin;
}

// Every character cell holds ink and every blank cell is blank, in the sheet as written. A blank
// cell under a stamp shows the stamp's pale ink, but nothing as dark as print.
void expectTruthMatchesPixels(const GreyImage& sheet, const SheetTruth& truth) {
    int chars = 0, blanks = 0;
    for (const PageTruth& page : truth.pages)
        for (const TierTruth& tier : page.tiers)
            for (const LineTruth& line : tier.lines)
                for (const CellTruth& cell : line.cells) {
                    if (cell.kind == "blank") {
                        ++blanks;
                        const bool stamped = page.hasStamp && overlap(span(cell.box), span(page.stamp));
                        EXPECT_GT(darkestInside(sheet, cell.box, 0.1), stamped ? 70 : 150) << "blank cell with ink";
                    } else {
                        ++chars;
                        EXPECT_LT(darkestInside(sheet, cell.box, 0.0), 110) << cell.text << " has no ink";
                    }
                }
    EXPECT_GT(chars, 300);
    EXPECT_GT(blanks, 5);
}

// Every cell and ruby of the page.
std::vector<Quad> textBoxes(const PageTruth& page) {
    std::vector<Quad> boxes;
    for (const TierTruth& tier : page.tiers)
        for (const LineTruth& line : tier.lines) {
            for (const CellTruth& cell : line.cells) boxes.push_back(cell.box);
            for (const RubyTruth& ruby : line.ruby) boxes.push_back(ruby.box);
        }
    return boxes;
}

SynthOptions preset(const char* name, uint64_t seed) {
    SynthOptions o;
    o.seed = seed;
    EXPECT_TRUE(applyPreset(name, o));
    return o;
}

struct Sheet {
    GreyImage image;
    SheetTruth truth;
};

Sheet synthesize(const SynthOptions& o) {
    Sheet s;
    std::string error;
    EXPECT_TRUE(synthesizeSheet(o, s.image, s.truth, error)) << error;
    return s;
}

// The bytes of the preset's sheet as written to a JPEG file, and of its truth.
std::string writtenBytes(const char* name, uint64_t seed) {
    TempDir dir;
    std::string error;
    const SynthOptions o = preset(name, seed);
    const auto [sheet, truth] = synthesize(o);
    EXPECT_TRUE(writeSheet(dir / "sheet.jpg", sheet, truth, o.jpegQuality, error)) << error;
    return readFile(dir / "sheet.jpg") + readFile(truthPathFor(dir / "sheet.jpg"));
}

}  // namespace

TEST(SynthSheets, CellsOfACleanPageHoldInkAndBlanksStayBlank) {
    const auto [sheet, truth] = synthesize(preset("clean-page", 3));
    EXPECT_EQ(truth.width, sheet.width);
    ASSERT_EQ(truth.pages.size(), 1u);
    ASSERT_EQ(truth.pages[0].tiers.size(), 1u);
    const LineTruth& first = truth.pages[0].tiers[0].lines.at(0);
    EXPECT_GT(first.box.p[0].x, truth.pages[0].tiers[0].lines.at(1).box.p[0].x) << "lines run right to left";
    expectTruthMatchesPixels(sheet, truth);
}

TEST(SynthSheets, SkewShearAndTurnsMoveTheTruthWithThePixels) {
    for (int turn : {0, 90, 180, 270}) {
        SynthOptions o = preset("clean-page", 5);
        o.rotateDegrees = 1.5;
        o.shear = 0.01;
        o.turn = turn;
        o.spread = true;
        o.tiers = 2;
        o.gutter = 0.4;
        const auto [sheet, truth] = synthesize(o);
        EXPECT_EQ(truth.turn, turn);
        EXPECT_EQ(sheet.width, turn % 180 ? 2150 : 3024);  // B6 spread: 256 x 182 mm
        EXPECT_EQ(truth.width, sheet.width);
        EXPECT_EQ(std::pair(truth.pages.size(), truth.pages.at(0).tiers.size()), std::pair(2ul, 2ul));
        expectTruthMatchesPixels(sheet, truth);
    }
}

TEST(SynthSheets, TheSameSeedGivesTheSameBytesAndAnotherSeedAnotherSheet) {
    const std::string one = writtenBytes("magazine", 11);
    EXPECT_EQ(one, writtenBytes("magazine", 11));
    EXPECT_NE(one, writtenBytes("magazine", 12));
}

TEST(SynthOldPrint, SliverAndBookEdgeWidenTheSheetBesideAnUnchangedPage) {
    struct Case {
        const char* sliver;
        const char* edge;
    };
    for (const Case c : {Case{"left", "right"}, Case{"right", "left"}, Case{"left", "left"}}) {
        SCOPED_TRACE(std::string("sliver ") + c.sliver + ", book edge " + c.edge);
        const SynthOptions plainOptions = preset("clean-page", 4);
        SynthOptions o = plainOptions;
        o.sliver = c.sliver;
        o.sliverShare = 0.06;
        o.bookEdge = c.edge;
        const Sheet plain = synthesize(plainOptions), marked = synthesize(o);
        const SheetTruth& t = marked.truth;
        ASSERT_TRUE(t.hasSliver && t.hasBookEdge);
        const Span sliver = span(t.sliver), edge = span(t.bookEdge);
        const double sliverW = sliver.x1 - sliver.x0, edgeW = edge.x1 - edge.x0;
        EXPECT_NEAR(sliverW / t.width, 0.06, 0.002);
        EXPECT_NEAR(edgeW, 4 / 25.4 * 300, 1);
        EXPECT_EQ(t.width, plain.truth.width + sliverW + edgeW);
        EXPECT_EQ(t.height, plain.truth.height);
        // The book edge at the very side, the sliver next to it or at the other side.
        const bool left = std::string(c.sliver) == "left";
        const bool edgeLeft = std::string(c.edge) == "left";
        EXPECT_EQ(edgeLeft ? edge.x0 : edge.x1, edgeLeft ? 0 : t.width);
        EXPECT_EQ(left ? sliver.x0 : sliver.x1, left ? (edgeLeft ? edgeW : 0) : t.width);

        // The page keeps its size and its text, only moved over.
        const Span page = span(t.pages.at(0).box), plainPage = span(plain.truth.pages.at(0).box);
        EXPECT_EQ(page.x1 - page.x0, plainPage.x1 - plainPage.x0);
        EXPECT_FALSE(overlap(page, sliver) || overlap(page, edge) || overlap(sliver, edge)) << "marks overlap";
        const double shift = page.x0 - plainPage.x0;
        const std::vector<Quad> cells = textBoxes(t.pages[0]), plainCells = textBoxes(plain.truth.pages[0]);
        ASSERT_EQ(cells.size(), plainCells.size());
        for (size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(span(cells[i]).x0, span(plainCells[i]).x0 + shift);
        for (const Quad& q : cells) EXPECT_FALSE(overlap(span(q), sliver)) << "a cell of the page in the sliver";

        // The sliver holds print; the book edge is dark, the paper between page and sliver is not.
        EXPECT_LT(darkestInside(marked.image, t.sliver, 0.0), 80);
        EXPECT_LT(meanInside(marked.image, t.bookEdge), 110);
        const Quad pageEdge = Quad::box(left ? page.x0 : page.x1 - 20, 0, left ? page.x0 + 20 : page.x1, page.y1);
        EXPECT_GT(meanInside(marked.image, pageEdge), 240);
    }
}

TEST(SynthOldPrint, FramesRuleEachTierClearOfItsText) {
    SynthOptions o = preset("two-tier", 4);
    o.frames = true;
    o.rotateDegrees = o.shear = 0;
    const Sheet flat = synthesize(o);
    const PageTruth& page = flat.truth.pages.at(0);
    ASSERT_EQ(page.tiers.size(), 2u);
    ASSERT_EQ(page.rules.size(), 5u) << "four sides and a rule between the tiers";
    // No rule crosses or touches a cell, hanging stop or ruby: each stays about half a line
    // pitch clear, and the frame holds all the text.
    Span frame;
    for (const Quad& rule : page.rules) {
        const Span r = span(rule);
        EXPECT_LE(std::min(r.x1 - r.x0, r.y1 - r.y0), 3) << "rules are thin";
        for (const Quad& q : textBoxes(page))
            EXPECT_FALSE(overlap(r, span(q), flat.truth.linePitch * 0.4)) << "rule crowds the text";
        frame = {std::min(frame.x0, r.x0), std::min(frame.y0, r.y0), std::max(frame.x1, r.x1), std::max(frame.y1, r.y1)};
    }
    for (const Quad& q : textBoxes(page)) {
        const Span c = span(q);
        EXPECT_TRUE(c.x0 > frame.x0 && c.x1 < frame.x1 && c.y0 > frame.y0 && c.y1 < frame.y1);
    }
    const Span divider = span(page.rules[4]);
    EXPECT_GT(divider.y0, span(page.tiers[0].box).y1);
    EXPECT_LT(divider.y1, span(page.tiers[1].box).y0);
    EXPECT_GT(span(page.footer).y0, frame.y1) << "page number outside the frame";
    EXPECT_LT(span(page.header).y1, frame.y0) << "header outside the frame";

    // On a turned, skewed sheet each rule's truth still follows its ink from end to end.
    o = preset("clean-page", 2);
    o.tiers = 2;
    o.frames = true;
    o.rotateDegrees = 0.8;
    o.turn = 90;
    const Sheet turned = synthesize(o);
    for (const Quad& rule : turned.truth.pages.at(0).rules) {
        // The point at (u, v) across and down the quad; samples go along its long middle line.
        auto at = [&q = rule](double u, double v) {
            return Point{(1 - v) * ((1 - u) * q.p[0].x + u * q.p[1].x) + v * ((1 - u) * q.p[3].x + u * q.p[2].x),
                         (1 - v) * ((1 - u) * q.p[0].y + u * q.p[1].y) + v * ((1 - u) * q.p[3].y + u * q.p[2].y)};
        };
        const bool wide = std::hypot(at(1, .5).x - at(0, .5).x, at(1, .5).y - at(0, .5).y) >
                          std::hypot(at(.5, 1).x - at(.5, 0).x, at(.5, 1).y - at(.5, 0).y);
        for (double f = 0.05; f < 1; f += 0.05) {
            const Point p = wide ? at(f, 0.5) : at(0.5, f);
            EXPECT_LT(darkestInside(turned.image, Quad::box(p.x - 2, p.y - 2, p.x + 2, p.y + 2), 0.0), 170)
                << "no ink at " << p.x << "," << p.y;
        }
    }
}

TEST(SynthOldPrint, AStampLiesOverTheLowerTextInPalerInkAndTouchesNothingElse) {
    for (uint64_t seed : {1, 2, 3, 4}) {
        SCOPED_TRACE(seed);
        SynthOptions o = preset("two-tier", seed);
        const Sheet plain = synthesize(o);
        o.stamp = true;
        const Sheet stamped = synthesize(o);
        const PageTruth& page = stamped.truth.pages.at(0);
        ASSERT_TRUE(page.hasStamp);
        const Span stamp = span(page.stamp), box = span(page.box);
        EXPECT_TRUE(stamp.x0 >= box.x0 && stamp.x1 <= box.x1 && stamp.y0 >= box.y0 && stamp.y1 <= box.y1);
        EXPECT_GT((stamp.y0 + stamp.y1) / 2, (box.y0 + box.y1) / 2) << "on the lower part of the page";
        int crossed = 0;
        for (const TierTruth& tier : page.tiers)
            for (const LineTruth& line : tier.lines) crossed += overlap(span(line.box), stamp);
        EXPECT_GE(crossed, 2) << "over some lines";

        // Only pixels near the stamp change, and those that do show pale ink, not print.
        std::vector<int> greys;
        for (int y = 0; y < stamped.image.height; ++y)
            for (int x = 0; x < stamped.image.width; ++x) {
                if (stamped.image.at(x, y) == plain.image.at(x, y)) continue;
                const Span at{x + 0.5, y + 0.5, x + 0.5, y + 0.5};
                ASSERT_TRUE(overlap(at, stamp, 4)) << "stamp changed " << x << "," << y;
                greys.push_back(stamped.image.at(x, y));
            }
        ASSERT_GT(greys.size(), 500u);
        std::sort(greys.begin(), greys.end());
        EXPECT_GT(greys[greys.size() / 50], 75) << "darker than stamp ink";
        EXPECT_LT(greys[greys.size() / 4], 160) << "no pale ink";
    }
}

TEST(SynthOldPrint, OldMagazineIsRepeatableAndItsTruthMatchesItsPixels) {
    // Seed 1 draws no sliver, book edge or stamp; 4 a book edge and a stamp; 5 and 6 all three.
    for (uint64_t seed : {1, 4, 5, 6}) {
        SCOPED_TRACE(seed);
        SynthOptions o = preset("old-magazine", seed);
        // Specks fall anywhere, blank cells too, and blur fades the thin ring of a small 。 below
        // the check's ink threshold; neither moves anything the truth records.
        o.speckles = 0;
        o.blur = 0;
        const Sheet s = synthesize(o);
        expectTruthMatchesPixels(s.image, s.truth);
        const PageTruth& page = s.truth.pages.at(0);
        EXPECT_EQ(page.rules.size(), 5u);
        if (s.truth.hasSliver) {
            EXPECT_LT(darkestInside(s.image, s.truth.sliver, 0.1), 100);
        }
        if (s.truth.hasBookEdge) {
            EXPECT_LT(meanInside(s.image, s.truth.bookEdge), 110);
        }
    }
    const std::string one = writtenBytes("old-magazine", 3);
    EXPECT_EQ(one, writtenBytes("old-magazine", 3));
    EXPECT_NE(one, writtenBytes("old-magazine", 4));
}

namespace {

// A page of clean type with ruby on every kanji word that has a reading.
SynthOptions rubyPage(uint64_t seed) {
    SynthOptions o = preset("clean-page", seed);
    o.rubyRate = 1.0;
    return o;
}

// The first column right of the line's edge holding any ink in the ruby's rows, less that edge.
int inkGapOf(const GreyImage& sheet, const LineTruth& line, const RubyTruth& ruby) {
    const Span r = span(ruby.box);
    const int edge = static_cast<int>(std::lround(span(line.box).x1));
    for (int x = edge; x <= static_cast<int>(r.x1); ++x)
        for (int y = static_cast<int>(r.y0); y <= static_cast<int>(r.y1); ++y)
            if (sheet.at(x, y) < 255) return x - edge;
    return -1;
}

}  // namespace

// The ruby's nearest ink stands the asked gap clear of the line's edge, wherever the ruby is and
// whatever kana it starts with; the characters of the text stay as they were.
TEST(SynthRuby, GapIsMeasuredFromTheLineEdgeToTheRubyInk) {
    const auto [plain, plainTruth] = synthesize(rubyPage(4));
    for (int gap : {0, 1, 3, 6, 10}) {
        SynthOptions o = rubyPage(4);
        o.rubyGapPx = gap;
        const auto [sheet, truth] = synthesize(o);
        int rubies = 0;
        for (const LineTruth& line : truth.pages.at(0).tiers.at(0).lines)
            for (const RubyTruth& ruby : line.ruby) {
                ++rubies;
                EXPECT_EQ(inkGapOf(sheet, line, ruby), gap) << ruby.text;
            }
        EXPECT_GT(rubies, 20);
        const auto& a = truth.pages[0].tiers[0].lines;
        const auto& b = plainTruth.pages[0].tiers[0].lines;
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            ASSERT_EQ(a[i].cells.size(), b[i].cells.size());
            for (size_t c = 0; c < a[i].cells.size(); ++c) EXPECT_EQ(a[i].cells[c].text, b[i].cells[c].text);
        }
    }
}

// Every ruby holds the asked count of kana, centred on the asked count of characters unless that
// would take it past an end of its line, and its truth box holds its ink.
TEST(SynthRuby, LengthAndBaseAreHonouredAndRubyStaysWithinItsLine) {
    for (int base : {1, 2})
        for (int length : {1, 3, 5}) {
            SynthOptions o = rubyPage(6);
            o.rubyLength = length;
            o.rubyBase = base;
            o.rubyGapPx = 2;
            const auto [sheet, truth] = synthesize(o);
            const double cell = truth.charPitch;
            int rubies = 0, centred = 0;
            for (const LineTruth& line : truth.pages.at(0).tiers.at(0).lines)
                for (const RubyTruth& ruby : line.ruby) {
                    ++rubies;
                    EXPECT_EQ(ruby.text.size(), 3u * length) << ruby.text;
                    const Span r = span(ruby.box), l = span(line.box);
                    EXPECT_NEAR(r.y1 - r.y0, length * std::floor(cell / 2), 0.01);
                    EXPECT_GE(r.y0, l.y0 - 0.01);
                    EXPECT_LE(r.y1, l.y1 + 0.01);
                    EXPECT_LT(darkestInside(sheet, ruby.box, 0.0), 110);
                    // Centred on base cells: its middle is a cell's middle for one character, a
                    // border between cells for two.
                    const double middle = (r.y0 + r.y1) / 2 - l.y0;
                    const double phase = std::fmod(middle + (base == 2 ? cell / 2 : 0), cell);
                    centred += std::fabs(phase - cell / 2) < 1.0;
                }
            EXPECT_GT(rubies, 10);
            // Only ruby pushed back from an end of its line sits off its base.
            EXPECT_GE(centred * 10, rubies * 8) << length << " over " << base;
        }
}

// A hand-set page: every character's turned box holds its ink and no ink of the text lies outside
// the boxes; sizes, angles and places across differ from character to character.
TEST(SynthHandSet, TurnedBoxesHoldTheirInkAndTheHandIsUneven) {
    SynthOptions o = preset("hand-set", 2);
    o.rotateDegrees = o.shear = o.blur = o.speckles = o.gradient = o.vignette = 0;
    o.paperTone = 255;
    const auto [sheet, truth] = synthesize(o);
    ASSERT_TRUE(o.handSet);
    std::vector<unsigned char> covered(static_cast<size_t>(sheet.width) * sheet.height, 0);
    double smallest = 1e9, largest = 0, leftmost = 1e9, rightmost = -1e9;
    int chars = 0, turned = 0;
    for (const LineTruth& line : truth.pages.at(0).tiers.at(0).lines)
        for (const CellTruth& cell : line.cells) {
            if (cell.kind == "blank") continue;
            ++chars;
            EXPECT_LT(darkestInside(sheet, cell.box, 0.0), 110) << cell.text;
            const Quad& q = cell.box;
            const double side = std::hypot(q.p[1].x - q.p[0].x, q.p[1].y - q.p[0].y);
            smallest = std::min(smallest, side);
            largest = std::max(largest, side);
            turned += std::fabs(q.p[1].y - q.p[0].y) > 0.02 * side;
            if (&line == &truth.pages[0].tiers[0].lines[0]) {
                const double middle = (q.p[0].x + q.p[2].x) / 2;
                leftmost = std::min(leftmost, middle);
                rightmost = std::max(rightmost, middle);
            }
            // The box and a pixel and a half round it, for the bilinear edge of the strokes.
            const Span s = span(q);
            const double cx = (q.p[0].x + q.p[2].x) / 2, cy = (q.p[0].y + q.p[2].y) / 2;
            const double reach = side / 2 + 1.5;
            const double c = (q.p[1].x - q.p[0].x) / side, n = (q.p[1].y - q.p[0].y) / side;
            for (int y = static_cast<int>(s.y0) - 2; y <= static_cast<int>(s.y1) + 2; ++y)
                for (int x = static_cast<int>(s.x0) - 2; x <= static_cast<int>(s.x1) + 2; ++x) {
                    const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                    if (std::fabs(c * dx + n * dy) <= reach && std::fabs(-n * dx + c * dy) <= reach)
                        covered[static_cast<size_t>(y) * sheet.width + x] = 1;
                }
        }
    EXPECT_GT(chars, 200);
    const Span tier = span(truth.pages[0].tiers[0].box);
    int outside = 0;
    for (int y = static_cast<int>(tier.y0) - 20; y <= static_cast<int>(tier.y1) + 20; ++y)
        for (int x = static_cast<int>(tier.x0) - 20; x <= static_cast<int>(tier.x1) + 20; ++x)
            outside += sheet.at(x, y) < 200 && !covered[static_cast<size_t>(y) * sheet.width + x];
    EXPECT_EQ(outside, 0);
    EXPECT_GT(largest / smallest, 1.2);
    EXPECT_GT(turned * 2, chars);
    EXPECT_GT(rightmost - leftmost, 0.06 * truth.charPitch) << "the first line does not wander";
}
