#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "lines/line_geometry.h"
#include "test_support.h"

namespace {

constexpr int kPitch = 36;  // character pitch of the drawn lines
constexpr int kHeight = 30;  // character height

// A line group drawn as boxes only: each line is a 30-pixel wide column at its centre x, its
// characters 30 rows tall at a pitch of 36.
class DrawnGroup {
public:
    // A line at centre x whose boxes stand in cells first .. first + count - 1 of the grid, every
    // box moved down by drop pixels; small, when set, adds a hanging mark below the last.
    void line(int x, int first, int count, int drop = 0, bool small = false, int pitch = kPitch) {
        VerticalBand& c = columns_.emplace_back(uprightBand(x - 15, x + 14, 100, 100 + 40 * kPitch, 4));
        LineInfo& info = getLineInfo(c);
        info.typicalCharHeight = kHeight;
        info.typicalCharSpace = kPitch;
        HorizontalBandList& boxes = lists_.emplace_back();
        for (int i = 0; i < count; ++i) {
            const int top = 100 + first * kPitch + i * pitch + drop;
            boxes.append(levelBand(x - 15, x + 14, top, top + kHeight - 1, 2));
        }
        if (small) {
            const int top = 100 + first * kPitch + count * pitch + drop;
            boxes.append(levelBand(x - 15, x + 14, top, top + 8, 2));
            info.smallLastChar = 1;
        }
    }

    int measure(std::string* traced = nullptr) {
        LineGroupView view;
        for (VerticalBand& c : columns_) view.columns.push_back(&c);
        for (HorizontalBandList& l : lists_) view.charLists.push_back(&l);
        const GreyImage image = flat(400, 100 + 42 * kPitch);
        int typicalNumChar = -1;
        TraceCapture capture;
        measureLineGroup(view, typicalNumChar, image, 50.0);
        if (traced) *traced = capture.text();
        return typicalNumChar;
    }

    LineInfo& info(size_t k) { return getLineInfo(columns_[k]); }

private:
    std::deque<VerticalBand> columns_;
    std::deque<HorizontalBandList> lists_;
};

}  // namespace

TEST(LineGeometry, AOneLineGroupCountsItsOwnCells) {
    DrawnGroup g;
    g.line(50, 0, 12);
    EXPECT_EQ(g.measure(), 12);
    const LineInfo& info = g.info(0);
    EXPECT_EQ(std::tuple(info.headBlanks, info.tailBlanks, info.slopeT, info.slopeB, info.reliable),
              std::tuple(0, 0, 0.0, 0.0, 1));
}

TEST(LineGeometry, IndentsAndShortLinesAreCountedInCellsOfTheNeighbours) {
    DrawnGroup g;
    g.line(50, 0, 10);
    g.line(100, 0, 10);
    g.line(150, 1, 9);  // an indented paragraph start
    g.line(200, 0, 6);  // a paragraph end four cells short
    g.line(250, 0, 10);
    EXPECT_EQ(g.measure(), 10);
    const int heads[] = {0, 0, 1, 0, 0}, tails[] = {0, 0, 0, 4, 0};
    for (size_t k = 0; k < 5; ++k) {
        const LineInfo& info = g.info(k);
        EXPECT_EQ(std::tuple(info.headBlanks, info.tailBlanks, info.reliable), std::tuple(heads[k], tails[k], 1))
            << "line " << k;
        EXPECT_NEAR(info.slopeT, 0.0, 1e-9);
    }
}

TEST(LineGeometry, RowsSlantingFromTheNeighbourAreFollowedDampedOrRefused) {
    // Lines 50 pixels apart. The third line's rows fall by 5 pixels from the second's: its end
    // slopes follow, damped by the logarithm.
    DrawnGroup mild;
    mild.line(50, 0, 10);
    mild.line(100, 0, 10);
    mild.line(150, 0, 10, 5);
    std::string traced;
    mild.measure(&traced);
    EXPECT_TRUE(mild.info(2).reliable) << traced;
    EXPECT_GT(mild.info(2).slopeT, 0.02);
    EXPECT_LT(mild.info(2).slopeT, 0.1);

    // The second line lies 10 pixels low, so it slants by 0.2; the third is level with the first,
    // so its rows cannot follow the second line's slant down to its bottom end, which is refused
    // and keeps the second line's slope.
    DrawnGroup steep;
    steep.line(50, 0, 10);
    steep.line(100, 0, 10, 10);
    steep.line(150, 0, 10);
    steep.measure(&traced);
    EXPECT_GT(steep.info(1).slopeT, 0.173);
    EXPECT_FALSE(steep.info(2).reliable) << traced;
    EXPECT_NE(traced.find(" irregular"), std::string::npos);
    EXPECT_EQ(steep.info(2).slopeB, steep.info(1).slopeB) << traced;
}

TEST(LineGeometry, ARunOfThreeOverlongLinesAtTheEndLosesAHeadBlank) {
    // The last lines are set tighter (pitch 33) and start one cell down: the alignment gives
    // them a cell more than the others. Three such lines are corrected, two are not.
    for (int odd : {3, 2}) {
        DrawnGroup g;
        for (int k = 0; k < 7 - odd; ++k) g.line(50 + 50 * k, 0, 10);
        for (int k = 7 - odd; k < 7; ++k) g.line(50 + 50 * k, 1, 11, 0, false, 33);
        std::string traced;
        const int typical = g.measure(&traced);
        const std::string message = std::to_string(7 - odd) + "行目から最後まで" + std::to_string(odd) +
                                    "行の行頭の空白を減らしました。";
        EXPECT_EQ(traced.find(message) != std::string::npos, odd == 3) << traced;
        for (size_t k = static_cast<size_t>(7 - odd); k < 7; ++k)
            EXPECT_EQ(g.info(k).headBlanks, odd == 3 ? 0 : 1) << odd << " odd lines, line " << k;
        EXPECT_GT(typical, 0);
    }
}

TEST(LineGeometry, HangingMarksOnEveryFullLineShortenTheOthersTails) {
    DrawnGroup g;
    g.line(50, 0, 10, 0, true);
    g.line(100, 0, 10, 0, true);
    g.line(150, 0, 7);
    g.line(200, 0, 10, 0, true);
    EXPECT_EQ(g.measure(), 10);
    EXPECT_EQ(std::tuple(g.info(0).smallLastChar, g.info(2).smallLastChar, g.info(3).smallLastChar),
              std::tuple(1, 0, 1));
    // Without the hanging cell the short line has three cells to go, not four.
    EXPECT_EQ(g.info(2).tailBlanks, 3);
}

TEST(LineGeometry, FindCharAlongSlopeTakesTheClosestRowAndRefusesEndsFarOff) {
    HorizontalBandList boxes;
    for (int i = 0; i < 5; ++i) boxes.append(levelBand(0, 29, 100 + 36 * i, 129 + 36 * i, 2));
    TraceCapture quiet;
    double slope = 0.0;
    // From x = 65 on the row of box 2 (centre y 186), level: box 2.
    EXPECT_EQ(findCharAlongSlope(boxes, {65, 186}, kHeight, slope, true), 2);
    EXPECT_NEAR(slope, 0.0, 1e-9);
    // A point between rows 0 and 1 misses both by more than 0.27 per pixel: an inner box refuses
    // with -2, the first box with -1; slope stays as given.
    slope = 0.0;
    EXPECT_EQ(findCharAlongSlope(boxes, {65, 132}, kHeight, slope, true), -1);
    slope = 0.0;
    EXPECT_EQ(findCharAlongSlope(boxes, {65, 240}, kHeight, slope, true), -2);
    EXPECT_EQ(slope, 0.0);
    HorizontalBandList none;
    EXPECT_EQ(findCharAlongSlope(none, {65, 186}, kHeight, slope, false), -1);
}

TEST(LineGeometry, SlopesOfVerticalPairsAndFitsOfFewPoints) {
    EXPECT_EQ(slopeBetween({5, 5}, {5, 9}), 2147483647.0);
    EXPECT_DOUBLE_EQ(slopeBetween({0, 0}, {-10, 2}), -0.2);
    double b = 1, a = 1;
    fitSlopeLine({}, {}, b, a);
    EXPECT_EQ(std::pair(b, a), std::pair(0.0, 0.0));
    fitSlopeLine({10}, {0.3}, b, a);
    EXPECT_EQ(std::pair(b, a), std::pair(0.0, 0.3));
    fitSlopeLine({0, 10, 20}, {0.1, 0.2, 0.3}, b, a);
    EXPECT_NEAR(b, 0.01, 1e-12);
    EXPECT_NEAR(a, 0.1, 1e-12);
}
