#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "chars/char_measures.h"
#include "test_support.h"

namespace {

GreyImage blank() { return flat(60, 200); }

// A filled rectangle, both corners included.
std::function<bool(int, int)> box(int x0, int x1, int y0, int y1) {
    return [=](int x, int y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
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

int charHeight(const std::vector<int>& heights, int ref) {
    TraceCapture quiet;
    return computeCharHeight(ofHeights(heights), uprightBand(0, 19, 0, 999, 4), ref, 2);
}

}  // namespace

TEST(CharShapes, InkExtentStaysBetweenTheEdges) {
    int left = 0, right = 0;
    inkExtentX(levelBand(0, 39, 100, 109, 2), inked(40, 200, box(12, 17, 104, 105)), left, right);
    EXPECT_EQ(std::pair(left, right), std::pair(12, 17));
    inkExtentX(levelBand(0, 39, 100, 109, 2), blank(), left, right);
    EXPECT_EQ(std::pair(left, right), std::pair(-1, -1));
    // The top edge falls from row 100 to row 120: a dot at row 105 is inside only near the left.
    HorizontalBand slanted = levelBand(0, 39, 100, 130, 2);
    slanted.yTopRight = 120;
    inkExtentX(slanted, inked(40, 200, [](int x, int y) { return y == 105 && (x == 5 || x == 35); }), left, right);
    EXPECT_EQ(std::pair(left, right), std::pair(5, 5));
}

TEST(CharShapes, MaxMinValueTellsWhetherInkCrossesAGap) {
    const GreyImage twoBlocks = inked(40, 200, [](int, int y) { return y < 10 || (y >= 15 && y < 25); });
    EXPECT_DOUBLE_EQ(maxMinValue(levelBand(0, 39, 10, 14, 3), twoBlocks), 255.0);
    EXPECT_DOUBLE_EQ(maxMinValue(levelBand(0, 39, 10, 9, 3), twoBlocks), -10000.0);  // touching
    const GreyImage crossed = inked(40, 200, [](int x, int y) { return y < 25 && (y < 10 || y >= 15 || x == 20); });
    EXPECT_LE(maxMinValue(levelBand(0, 39, 10, 14, 3), crossed), 129.0);
    const GreyImage halfCrossed =
        inked(40, 200, [](int x, int y) { return y < 10 || (y >= 15 && y < 25) || (x == 20 && y < 13); });
    EXPECT_GT(maxMinValue(levelBand(0, 39, 10, 14, 3), halfCrossed), 129.0);
    // A clean gap falling 10 rows across the band is followed along its slant.
    const GreyImage slantedGap = inked(40, 200, [](int x, int y) { return std::abs(y - (51.5 + 10.0 * x / 39)) > 2.5; });
    HorizontalBand gap = levelBand(0, 39, 50, 53, 3);
    gap.yTopRight = 60;
    gap.yBottomRight = 63;
    EXPECT_DOUBLE_EQ(maxMinValue(gap, slantedGap), 255.0);
    EXPECT_LE(maxMinValue(levelBand(0, 39, 50, 53, 3), slantedGap), 129.0);
}

TEST(CharMeasures, LinesWithoutAUsableGroupOrPitchFallBack) {
    EXPECT_EQ(charHeight({}, 22), 0);
    EXPECT_EQ(charHeight({3, 3}, 40), 40);  // no group near the reference
    EXPECT_EQ(charHeight({10, 10, 10, 20, 20, 20}, 30), 20);  // a tie goes to the taller group
    TraceCapture quiet;
    // One character has no pitch, and pitches never fall below trunc(1.05f * H) = 25.
    EXPECT_EQ(computeCharSpace(column({{0, 24}}), blank(), 24), 25);
    EXPECT_EQ(computeCharSpace(column({{0, 24}, {20, 24}, {40, 24}}), blank(), 24), 25);
}
