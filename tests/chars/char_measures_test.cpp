#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "chars/char_measures.h"
#include "test_support.h"

namespace {

GreyImage page(int w, int h, const std::function<bool(int, int)>& ink) { return inked(w, h, ink); }
GreyImage blank() { return flat(60, 200); }

// A filled rectangle, both corners included.
std::function<bool(int, int)> box(int x0, int x1, int y0, int y1) {
    return [=](int x, int y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
}

// A stroke two pixels thick across columns 2..37 of a band of height h from row top: a parabola
// whose ends lie low and middle high (opening), or the other way round.
GreyImage arch(int top, int h, bool opening, int skipColumn = -1) {
    return page(40, 200, [=](int x, int y) {
        if (x < 2 || x > 37 || x == skipColumn) return false;
        const double d = (x - 19.5) / 17.5;
        const double bend = opening ? d * d : 1.0 - d * d;
        const int yc = top + 2 + static_cast<int>(std::lround((h - 4) * bend));
        return y == yc || y == yc + 1;
    });
}

// A stroke three pixels wide through rows 100..129 whose centre is x0 + slope * (y - 100).
GreyImage stroke(double x0, double slope, int halfWidth = 1, std::vector<int> gaps = {}) {
    return page(40, 200, [=](int x, int y) {
        for (int g : gaps)
            if (y == g) return false;
        return y >= 100 && y <= 129 && std::abs(x - std::lround(x0 + slope * (y - 100))) <= halfWidth;
    });
}

// Characters of the given tops and heights, 20 columns wide.
HorizontalBandList column(const std::vector<std::pair<int, int>>& topAndHeight) {
    HorizontalBandList list;
    for (auto [top, h] : topAndHeight) list.append(levelBand(0, 19, top, top + h - 1, 2));
    return list;
}

// Characters of the given heights, 5 rows apart.
HorizontalBandList ofHeights(const std::vector<int>& heights) {
    HorizontalBandList list;
    int top = 0;
    for (int h : heights) {
        list.append(levelBand(0, 19, top, top + h - 1, 2));
        top += h + 5;
    }
    return list;
}

int charHeight(const std::vector<int>& heights, int ref, int mode = 2, int colWidth = 20) {
    TraceCapture quiet;
    return computeCharHeight(ofHeights(heights), uprightBand(0, colWidth - 1, 0, 999, 4), ref, mode);
}

}  // namespace

TEST(CharShapes, PunctuationFollowsTheBlobAcrossTheCell) {
    const HorizontalBand cell = levelBand(0, 39, 100, 109, 2);  // h = 10, H = 40
    EXPECT_EQ(classifyPunctuation(cell, page(40, 200, box(28, 35, 101, 108)), 40), Punctuation);
    EXPECT_EQ(classifyPunctuation(cell, page(40, 200, box(4, 11, 101, 108)), 40), ReversedPunctuation);
    EXPECT_EQ(classifyPunctuation(cell, page(40, 200, box(16, 23, 101, 108)), 40), MiddleDot);
    // Left of centre but reaching past 0.465: centre 15/39 is below 0.4.
    EXPECT_EQ(classifyPunctuation(cell, page(40, 200, box(12, 19, 101, 108)), 40), NotPunctuation);
    EXPECT_EQ(classifyPunctuation(cell, blank(), 40), NotPunctuation);
    // A blob filling a narrow band is neither left nor right, and centred.
    EXPECT_EQ(classifyPunctuation(levelBand(10, 17, 100, 107, 2), page(40, 200, box(10, 17, 100, 107)), 40),
              MiddleDot);
}

TEST(CharShapes, PunctuationNeedsASmallSquareBlob) {
    // H = 40: heights from trunc(4.16) + 1 = 5 to trunc(16) - 1 = 15 qualify.
    EXPECT_EQ(classifyPunctuation(levelBand(0, 39, 100, 114, 2), page(40, 200, box(26, 37, 101, 112)), 40),
              Punctuation);
    EXPECT_EQ(classifyPunctuation(levelBand(0, 39, 100, 115, 2), page(40, 200, box(26, 37, 101, 112)), 40),
              NotPunctuation);
    EXPECT_EQ(classifyPunctuation(levelBand(0, 39, 100, 104, 2), page(40, 200, box(30, 33, 100, 104)), 40),
              Punctuation);
    EXPECT_EQ(classifyPunctuation(levelBand(0, 39, 100, 103, 2), page(40, 200, box(30, 33, 100, 103)), 40),
              NotPunctuation);
    // h = 10: the ink may be 5 to 16 columns wide.
    const HorizontalBand cell = levelBand(0, 39, 100, 109, 2);
    EXPECT_EQ(classifyPunctuation(cell, page(40, 200, box(22, 37, 102, 107)), 40), Punctuation);
    EXPECT_EQ(classifyPunctuation(cell, page(40, 200, box(21, 37, 102, 107)), 40), NotPunctuation);
    EXPECT_EQ(classifyPunctuation(cell, page(40, 200, box(30, 33, 102, 107)), 40), NotPunctuation);
}

TEST(CharShapes, BracketsBendByTheirDirection) {
    const HorizontalBand cell = levelBand(0, 39, 100, 111, 2);  // h = 12, H = 40
    EXPECT_EQ(classifyBracket(cell, arch(100, 12, true), 40), OpeningBracket);
    EXPECT_EQ(classifyBracket(cell, arch(100, 12, false), 40), ClosingBracket);
    EXPECT_EQ(classifyBracket(cell, page(40, 200, box(2, 37, 105, 106)), 40), NotBracket);
    EXPECT_EQ(classifyBracket(cell, blank(), 40), NotBracket);
    // Too few inked columns, a blob taller than half the piece, no ink in the middle column.
    GreyImage halfArch = arch(100, 12, true);
    for (int y = 0; y < 200; ++y)
        for (int x = 20; x < 40; ++x) halfArch.at(x, y) = 255;
    EXPECT_EQ(classifyBracket(cell, halfArch, 40), NotBracket);
    EXPECT_EQ(classifyBracket(cell, page(40, 200, box(2, 37, 102, 108)), 40), NotBracket);
    EXPECT_EQ(classifyBracket(cell, arch(100, 12, true, 19), 40), NotBracket);
    // Only pieces lower than trunc(0.4 H) = 16.
    EXPECT_EQ(classifyBracket(levelBand(0, 39, 100, 114, 2), arch(100, 15, true), 40), OpeningBracket);
    EXPECT_EQ(classifyBracket(levelBand(0, 39, 100, 115, 2), arch(100, 16, true), 40), NotBracket);
}

TEST(CharShapes, VerticalBarIsAThinStraightStroke) {
    const HorizontalBand cell = levelBand(0, 39, 100, 129, 2);  // 30 rows, quarter width 10
    EXPECT_TRUE(isVerticalBar(cell, stroke(19, 0.0), 40));
    EXPECT_TRUE(isVerticalBar(cell, stroke(30, -0.5), 40));  // leaning left passes
    EXPECT_FALSE(isVerticalBar(cell, stroke(10, 0.3), 40));
    EXPECT_FALSE(isVerticalBar(cell, stroke(19, 0.0, 5), 40));  // 11 columns wide
    EXPECT_FALSE(isVerticalBar(cell, blank(), 40));
    // One blank row in 30 is tolerated (3%), two are not (7%).
    EXPECT_TRUE(isVerticalBar(cell, stroke(19, 0.0, 1, {110}), 40));
    EXPECT_FALSE(isVerticalBar(cell, stroke(19, 0.0, 1, {110, 120}), 40));
    // Taller than trunc(0.248f * 40) = 9 rows.
    EXPECT_FALSE(isVerticalBar(levelBand(0, 39, 100, 108, 2), stroke(19, 0.0), 40));
    EXPECT_TRUE(isVerticalBar(levelBand(0, 39, 100, 109, 2), stroke(19, 0.0), 40));
}

TEST(CharShapes, InkExtentStaysBetweenTheEdges) {
    int left = 0, right = 0;
    inkExtentX(levelBand(0, 39, 100, 109, 2), page(40, 200, box(12, 17, 104, 105)), left, right);
    EXPECT_EQ(std::pair(left, right), std::pair(12, 17));
    inkExtentX(levelBand(0, 39, 100, 109, 2), blank(), left, right);
    EXPECT_EQ(std::pair(left, right), std::pair(-1, -1));
    // The top edge falls from row 100 to row 120: a dot at row 105 is inside only near the left.
    HorizontalBand slanted = levelBand(0, 39, 100, 130, 2);
    slanted.yTopRight = 120;
    inkExtentX(slanted, page(40, 200, [](int x, int y) { return y == 105 && (x == 5 || x == 35); }), left, right);
    EXPECT_EQ(std::pair(left, right), std::pair(5, 5));
}

TEST(CharShapes, MaxMinValueTellsWhetherInkCrossesAGap) {
    const GreyImage twoBlocks = page(40, 200, [](int, int y) { return y < 10 || (y >= 15 && y < 25); });
    EXPECT_DOUBLE_EQ(maxMinValue(levelBand(0, 39, 10, 14, 3), twoBlocks), 255.0);
    EXPECT_DOUBLE_EQ(maxMinValue(levelBand(0, 39, 10, 9, 3), twoBlocks), -10000.0);  // touching
    const GreyImage crossed = page(40, 200, [](int x, int y) { return y < 25 && (y < 10 || y >= 15 || x == 20); });
    EXPECT_LE(maxMinValue(levelBand(0, 39, 10, 14, 3), crossed), 129.0);
    const GreyImage halfCrossed =
        page(40, 200, [](int x, int y) { return y < 10 || (y >= 15 && y < 25) || (x == 20 && y < 13); });
    EXPECT_GT(maxMinValue(levelBand(0, 39, 10, 14, 3), halfCrossed), 129.0);
    // A clean gap falling 10 rows across the band is followed along its slant.
    const GreyImage slantedGap = page(40, 200, [](int x, int y) { return std::abs(y - (51.5 + 10.0 * x / 39)) > 2.5; });
    HorizontalBand gap = levelBand(0, 39, 50, 53, 3);
    gap.yTopRight = 60;
    gap.yBottomRight = 63;
    EXPECT_DOUBLE_EQ(maxMinValue(gap, slantedGap), 255.0);
    EXPECT_LE(maxMinValue(levelBand(0, 39, 50, 53, 3), slantedGap), 129.0);
}

TEST(CharMeasures, CharHeightTakesTheMostCommonGroup) {
    EXPECT_EQ(charHeight({}, 22), 0);
    EXPECT_EQ(charHeight({20, 21, 22, 20, 21, 10, 10, 40}, 22), 22);
    EXPECT_EQ(charHeight({10, 10, 10, 20, 20, 20}, 30), 20);  // a tie goes to the taller group
    EXPECT_EQ(charHeight({3, 3}, 40), 40);                    // no group near the reference
    // The next taller group takes over when it is no more than 1.92 times as tall.
    EXPECT_EQ(charHeight({10, 10, 10, 10, 19, 19, 19}, 30), 19);
    EXPECT_EQ(charHeight({10, 10, 10, 10, 20, 20, 20}, 30), 10);
    // Small pieces give way to a runner-up of the reference height.
    EXPECT_EQ(charHeight({12, 12, 12, 12, 12, 40, 40}, 40), 40);
}

TEST(CharMeasures, CharHeightInMode3IsFlooredByColumnAndReference) {
    const std::vector<int> heights = {20, 21, 22, 20, 21};
    EXPECT_EQ(charHeight(heights, 22, 3, 40), 30);  // trunc(0.76f * 40)
    EXPECT_EQ(charHeight(heights, 40, 3, 20), 30);  // trunc(0.76f * 40) from the reference
    EXPECT_EQ(charHeight(heights, 40, 3, 15), 22);  // reference above twice the column: ignored
    TraceCapture capture;
    computeCharHeight(ofHeights({10, 20, 20}), uprightBand(0, 14, 0, 99, 4), 20, 3);
    EXPECT_EQ(capture.text(),
              "高さによる文字のグループ分け: (10,) (20,20,) \nrefCharHeight=20 "
              "maxHeight:20,refCharHeight:20,colWidth:15 文字高:20 ");
}

TEST(CharMeasures, CharSpaceIsTheMedianPitchOfFullCells) {
    TraceCapture capture;
    // H = 24: pitches 30, 32, 30 give 30.
    EXPECT_EQ(computeCharSpace(column({{0, 24}, {30, 24}, {62, 24}, {92, 24}}), blank(), 24), 30);
    EXPECT_EQ(capture.text(), "median:30 adj:30 文字スペース:30\n");
    // Never below trunc(1.05f * 24) = 25.
    EXPECT_EQ(computeCharSpace(column({{0, 24}, {20, 24}, {40, 24}}), blank(), 24), 25);
    EXPECT_EQ(computeCharSpace(column({{0, 24}}), blank(), 24), 25);
    // Small pieces at rows 50 and 100 count only when they are punctuation (right of centre).
    const HorizontalBandList pieces = column({{0, 24}, {50, 6}, {100, 6}, {110, 24}});
    const GreyImage commas = page(60, 200, [](int x, int y) { return x >= 12 && x <= 17 && y % 50 < 6 && y >= 50; });
    const GreyImage reversed = page(60, 200, [](int x, int y) { return x >= 2 && x <= 7 && y % 50 < 6 && y >= 50; });
    EXPECT_EQ(computeCharSpace(pieces, blank(), 24), 25);
    EXPECT_EQ(computeCharSpace(pieces, reversed, 24), 25);
    EXPECT_EQ(computeCharSpace(pieces, commas, 24), 50);
}
