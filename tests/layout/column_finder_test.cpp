#include "layout/column_finder.h"

#include <gtest/gtest.h>

#include "layout/column_measures.h"
#include "test_support.h"

namespace {

VerticalBandList widths(std::initializer_list<int> list) {
    VerticalBandList columns;
    int x = 0;
    for (int w : list) {
        columns.append(uprightBand(x, x + w - 1, 0, 99, 0));
        x += w + 10;
    }
    return columns;
}

// A tier of vertical text lines: strokes w wide at the given left edges, with short gaps between
// characters so that each line is a column of ink.
GreyImage tier(std::initializer_list<std::pair<int, int>> lines, int width, int height) {
    return inked(width, height, [&](int x, int y) {
        for (const auto& [left, w] : lines)
            if (x >= left && x < left + w && y >= 10 && y < height - 10 && y % 24 < 20) return true;
        return false;
    });
}

int runColumns(GreyImage& image, HorizontalBand& row, std::string& traced) {
    TraceCapture capture;
    const int r = findColumns(image, 30, 24, row, 0, 0.1f, LayoOptions());
    traced = capture.text();
    return r;
}

}  // namespace

TEST(ColumnMeasures, TheMedianLineWidthComesFromTheBestGroupNearThePitch) {
    TraceCapture capture;
    EXPECT_EQ(medianLineWidth(widths({30, 10, 32, 70, 33}), 50), 33);
    EXPECT_EQ(capture.text(), "幅によるコラムのグループ分け: (10,) (30,32,33,) (70,) \n");
    EXPECT_EQ(medianLineWidth(VerticalBandList(), 50), 0);
    EXPECT_EQ(medianLineWidth(widths({20, 20, 23, 20}), 30), 23) << "23 is exactly 1.15 times 20: one group";
}

TEST(ColumnMeasures, LocalMediansLookAtUpToFourNeighbours) {
    const std::vector<int> lm = localMedianWidths(widths({30, 10, 34, 32, 36}), 33);
    EXPECT_EQ(lm, (std::vector<int>{34, 34, 32, 34, 32}));
    EXPECT_EQ(localMedianWidths(widths({44}), 33), std::vector<int>{44});
    EXPECT_EQ(localMedianWidths(widths({30, 5}), 33), (std::vector<int>{33, 30})) << "too narrow neighbours give M";
}

TEST(ColumnFinder, ThreeLinesFillingTheirSpanBecomeOneBlock) {
    // Three lines touching each other, then one apart.
    GreyImage image = tier({{20, 10}, {31, 10}, {42, 10}, {100, 10}}, 160, 200);
    HorizontalBand row = levelBand(0, 159, 0, 199, 1);
    std::string traced;
    runColumns(image, row, traced);
    const VerticalBandList& columns = row.columns();
    ASSERT_GE(columns.count(), 2u) << traced;
    EXPECT_EQ(columns[0].type, 2) << traced;
    EXPECT_EQ(columns[columns.count() - 1].type, 4);
}

TEST(ColumnFinder, ThreeLinesMakeABlockOnlyWhenTheyFillTheirSpanAtBothEnds) {
    auto line = [](int leftTop, int rightTop, int leftBottom, int rightBottom) {
        VerticalBand b = uprightBand(leftTop, rightTop, 0, 99, 4);
        b.xLeftBottom = leftBottom;
        b.xRightBottom = rightBottom;
        return b;
    };
    TraceCapture quiet;
    // Lines 10 wide at pitch 30 (M = 10): three touching ones fill 30 of their 32 columns.
    VerticalBandList solid = verticalList({line(0, 9, 0, 9), line(11, 20, 11, 20), line(22, 31, 22, 31)});
    joinThreeLineBlocks(solid, 30, 10);
    ASSERT_EQ(typesOf(solid), std::vector<int>{2});
    EXPECT_EQ(xEdges(solid[0]), (std::vector<int>{0, 31, 0, 31}));
    // The same lines at the bottom, but the third one's left edge strayed at the top: there the
    // three fill only 26 of their 32 columns.
    VerticalBandList strayed = verticalList({line(0, 9, 0, 9), line(11, 20, 11, 20), line(26, 31, 22, 31)});
    joinThreeLineBlocks(strayed, 30, 10);
    EXPECT_EQ(typesOf(strayed), (std::vector<int>{4, 4, 4}));
    // Two lines 10 wide with a band 7 wide between them fill 27 of 29 columns: that is a line,
    // its ruby taken for a line and the next line, not a block.
    VerticalBandList ruby = verticalList({line(0, 9, 0, 9), line(10, 16, 10, 16), line(19, 28, 19, 28)});
    joinThreeLineBlocks(ruby, 30, 10);
    EXPECT_EQ(typesOf(ruby), (std::vector<int>{4, 4, 4}));
    // A middle band as wide as the outer ones does make a block.
    VerticalBandList even = verticalList({line(0, 8, 0, 8), line(10, 18, 10, 18), line(20, 28, 20, 28)});
    joinThreeLineBlocks(even, 30, 10);
    EXPECT_EQ(typesOf(even), std::vector<int>{2});
    // A band whose edges cross at its top (a misreading of the band finder at a tier's end) seems
    // to leave no gap there: the three are no block.
    VerticalBandList crossed = verticalList({line(0, 9, 0, 9), line(10, 20, 10, 20), line(21, 20, 21, 31)});
    joinThreeLineBlocks(crossed, 30, 10);
    EXPECT_EQ(typesOf(crossed), (std::vector<int>{4, 4, 4}));
}

TEST(ColumnFinder, AWideBandWhoseEdgeMissedItsLineIsNoCompositeLine) {
    // A line 20 wide leaning 40 columns over 400 rows, and beside its head a second column of
    // marks: its ink leaves the middle of any band 30 wide that holds both. With parallel edges
    // (the band leaning as the line does) that is a composite line, a block; a band upright at
    // its head and 40 wider at its foot missed the line there and stays a line.
    GreyImage image = inked(160, 400, [](int x, int y) {
        const int left = 20 + y / 10;
        const bool line = x >= left && x < left + 20 && y % 40 < 30;
        const bool second = y < 200 && x >= left + 24 && x < left + 34 && y % 40 < 30;
        return line || second;
    });
    TraceCapture quiet;
    VerticalBand parallel = uprightBand(18, 56, 0, 399, 4);
    parallel.xLeftBottom = 58;
    parallel.xRightBottom = 96;
    VerticalBand lopsided = uprightBand(18, 56, 0, 399, 4);
    lopsided.xLeftBottom = 18;
    lopsided.xRightBottom = 96;
    for (const auto& [band, type] : {std::pair{parallel, 2}, std::pair{lopsided, 4}}) {
        VerticalBandList columns = verticalList({band});
        markCompositeLines(columns, image, 40.0, 24);
        EXPECT_EQ(columns[0].type, type);
    }
}

TEST(ColumnFinder, SubdivisionRoundsStopAfterARoundWithoutChange) {
    // Even lines: the first round finds no column wide enough to cut and is the only one. A
    // line twice as wide as the others is cut, which asks for another round.
    auto rounds = [](std::initializer_list<std::pair<int, int>> lines) {
        GreyImage image = tier(lines, 300, 200);
        HorizontalBand row = levelBand(0, 299, 0, 199, 1);
        std::string traced;
        runColumns(image, row, traced);
        int widthLines = 0;
        for (size_t at = traced.find(",localMedian="); at != std::string::npos; at = traced.find(",localMedian=", at + 1))
            ++widthLines;
        return widthLines;
    };
    EXPECT_EQ(rounds({{20, 20}, {80, 20}, {140, 20}, {200, 20}}), 4);
    EXPECT_GT(rounds({{20, 20}, {80, 20}, {140, 20}, {200, 42}}), 4);
}

TEST(ColumnFinder, ABlankTierHasNoColumnAndALoneBlockIsTypeSeven) {
    GreyImage blank = flat(100, 100);
    HorizontalBand row = levelBand(0, 99, 0, 99, 1);
    std::string traced;
    EXPECT_EQ(runColumns(blank, row, traced), 0);
    EXPECT_TRUE(contains(traced, "No column found.\n"));

    GreyImage picture =
        filled(200, 200, [](int x, int y) { return x >= 40 && x < 150 && y >= 20 && y < 180 ? 60 : 255; });
    HorizontalBand only = levelBand(0, 199, 0, 199, 1);
    runColumns(picture, only, traced);
    ASSERT_EQ(only.columns().count(), 1u) << traced;
    EXPECT_EQ(only.columns()[0].type, 7);
}
