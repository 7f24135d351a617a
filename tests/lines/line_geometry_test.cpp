#include <gtest/gtest.h>

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
    // A line at centre x whose boxes stand in cells first .. first + count - 1 of the grid, set at
    // the given pitch, the first offset rows below its cell's top.
    void line(int x, int first, int count, int pitch = kPitch, int offset = 0) {
        VerticalBand& c = columns_.emplace_back(uprightBand(x - 15, x + 14, 100, 100 + 40 * kPitch, 4));
        LineInfo& info = getLineInfo(c);
        info.typicalCharHeight = kHeight;
        info.typicalCharSpace = kPitch;
        HorizontalBandList& boxes = lists_.emplace_back();
        for (int i = 0; i < count; ++i) {
            const int top = 100 + first * kPitch + offset + i * pitch;
            boxes.append(levelBand(x - 15, x + 14, top, top + kHeight - 1, 2));
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

TEST(LineGeometry, ARunOfThreeOverlongLinesAtTheEndLosesAHeadBlank) {
    // The last lines are set tighter (pitch 33) and start one cell down: the alignment gives
    // them a cell more than the others. Three such lines are corrected, two are not.
    for (int odd : {3, 2}) {
        DrawnGroup g;
        for (int k = 0; k < 7 - odd; ++k) g.line(50 + 50 * k, 0, 10);
        for (int k = 7 - odd; k < 7; ++k) g.line(50 + 50 * k, 1, 11, 33);
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

TEST(LineGeometry, ALineOfAFewCharactersIsTheLastToServeAsANeighboursReference) {
    // Four lines from the first cell, then a line of five marks crowded at a pitch of 24 from
    // almost a cell down (three characters and two specks, say), then four more lines from the
    // first cell. Matched against the crowded line, the line after it would be counted a cell
    // off; matched against a full line, it starts at the first cell as they all do.
    DrawnGroup g;
    for (int k = 0; k < 4; ++k) g.line(50 + 50 * k, 0, 10);
    g.line(250, 0, 5, 24, 30);
    for (int k = 5; k < 9; ++k) g.line(50 + 50 * k, 0, 10);
    std::string traced;
    g.measure(&traced);
    for (size_t k : {0u, 1u, 2u, 3u, 5u, 6u, 7u, 8u}) EXPECT_EQ(g.info(k).headBlanks, 0) << "line " << k << "\n" << traced;
}
