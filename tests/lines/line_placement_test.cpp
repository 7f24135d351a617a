#include <gtest/gtest.h>

#include <vector>

#include "bands/band_geometry.h"
#include "lines/line_groups.h"
#include "lines/line_placement.h"
#include "test_support.h"

namespace {

// A tier from column 0 to 299, rows 0 .. 199.
HorizontalBand tier() { return levelBand(0, 299, 0, 199, 1); }

// An upright text line at columns left .. right in line group g (or none for -1).
VerticalBand line(int left, int right, int g = 0) {
    VerticalBand b = uprightBand(left, right, 0, 199, 4);
    if (g >= 0) getLineInfo(b).lineGroup = g;
    return b;
}

LineEntry entry(int index, int measure, int centreX) { return LineEntry{index, measure, centreX}; }

}  // namespace

TEST(LineGroups, WidthsJoinWhileWithinTheRatioOfTheLatestMember) {
    std::vector<std::vector<int>> groups;
    // 40, 50, 60: each within 1.29 of the member before it.
    formLineGroups(groups, {entry(0, 40, 10), entry(1, 50, 60), entry(2, 60, 120)}, tier(), 1.29, 0.893);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0], (std::vector<int>{0, 1, 2}));
    // 70 after 50 is 1.4 apart: a new group.
    formLineGroups(groups, {entry(0, 50, 10), entry(1, 70, 60)}, tier(), 1.29, 0.893);
    EXPECT_EQ(groups.size(), 2u);
    // 36 after 50 (1.389) opens a group, except in the rightmost tenth of the tier.
    formLineGroups(groups, {entry(0, 50, 10), entry(1, 36, 100)}, tier(), 1.29, 0.893);
    EXPECT_EQ(groups.size(), 2u);
    formLineGroups(groups, {entry(0, 50, 10), entry(1, 36, 285)}, tier(), 1.29, 0.893);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0], (std::vector<int>{0, 1}));
    formLineGroups(groups, {}, tier(), 1.29, 0.893);
    EXPECT_TRUE(groups.empty());
}

// A pitch read off two or three characters (a paragraph's last line) joins a group without
// becoming its reference: the lines after it still join the group, where following it
// (33 after 26 is 1.31 apart) would have opened a new one for the rest of the tier.
TEST(LineGroups, APitchReadOffFewCharactersDoesNotMoveTheReference) {
    std::vector<std::vector<int>> groups;
    LineEntry few = entry(2, 26, 120);
    few.steady = false;
    formLineGroups(groups, {entry(0, 33, 10), entry(1, 33, 60), few, entry(3, 34, 180)}, tier(), 1.28, 1.0);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0], (std::vector<int>{0, 1, 2, 3}));
    formLineGroups(groups, {entry(0, 33, 10), entry(1, 33, 60), entry(2, 26, 120), entry(3, 34, 180)}, tier(), 1.28, 1.0);
    EXPECT_EQ(groups.size(), 2u);
    // Too far from every group, it opens its own, whose reference it is.
    few.measure = 14;
    formLineGroups(groups, {entry(0, 33, 10), few, entry(3, 15, 180)}, tier(), 1.28, 1.0);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[1], (std::vector<int>{2, 3}));
}

TEST(LineGroups, FindLineGroupTakesTheClosestAndKeepsTheEarlierOnATie) {
    EXPECT_EQ(findLineGroup({40, 60}, 50, 0.5, 1.29, 0.893), 1);  // 1.25 against 1.2: the closer wins
    EXPECT_EQ(findLineGroup({60, 40}, 50, 0.5, 1.29, 0.893), 0);  // 1.2 first
    EXPECT_EQ(findLineGroup({50, 50}, 50, 0.5, 1.29, 0.893), 0);
    EXPECT_EQ(findLineGroup({100}, 50, 0.5, 1.29, 0.893), -1);
}

TEST(LinePlacement, ThreeLinesOfOneGroupFillTheRowAtEqualWidths) {
    VerticalBandList columns = verticalList({line(10, 49), line(100, 149), line(200, 259)});  // 40, 50, 60
    calcColumnsDestX(columns, tier());
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(columns[i].destRight - columns[i].destLeft + 1, 100) << i;
    EXPECT_EQ(columns[0].destLeft, 0);
    EXPECT_EQ(columns[1].destLeft, columns[0].destRight + 1);
    EXPECT_EQ(columns[2].destRight, 299);
}

TEST(LinePlacement, LinesOfAGroupComeOutExactlyAsWideAsEachOtherWhateverTheScale) {
    // Three lines of mean width 50 with gaps of 13 and 16 between them: the row's 300 columns
    // over 179 give 83.8 columns a line, which rounding at cumulative ends makes 84 or 83.
    VerticalBandList columns = verticalList({line(0, 49), uprightBand(50, 62, 0, 199, 6), line(63, 112),
                                             uprightBand(113, 128, 0, 199, 6), line(129, 178)});
    calcColumnsDestX(columns, tier());
    for (uint32_t i : {0u, 2u, 4u}) EXPECT_EQ(columns[i].destRight - columns[i].destLeft + 1, 84) << i;
    for (uint32_t i = 1; i < columns.count(); ++i) EXPECT_EQ(columns[i].destLeft, columns[i - 1].destRight + 1) << i;
    EXPECT_EQ(columns[0].destLeft, 0);
    EXPECT_EQ(columns[4].destRight, 299);
}

TEST(LinePlacement, BandsWithoutAGroupScaleWithTheLinesOrKeepTheirPlace) {
    // A filler 30 wide between two lines 50 wide whose group mean is 50: the filler keeps its
    // width in proportion and everything fills the row.
    VerticalBandList columns = verticalList({line(0, 49), uprightBand(50, 79, 0, 199, 6), line(80, 129)});
    HorizontalBand row = levelBand(0, 129, 0, 199, 1);
    calcColumnsDestX(columns, row);
    EXPECT_EQ(std::pair(columns[0].destLeft, columns[0].destRight), std::pair(0, 49));
    EXPECT_EQ(columns[1].destRight - columns[1].destLeft + 1, 30);
    EXPECT_EQ(columns[2].destRight, 129);
    // Without any line of a group every band stays where it is.
    VerticalBandList loose = verticalList({line(20, 40, -1)});
    calcColumnsDestX(loose, tier());
    EXPECT_EQ(std::pair(loose[0].destLeft, loose[0].destRight), std::pair(20, 40));
}

TEST(LinePlacement, LinesOfAGroupTakeItsMeanWidthAboutTheirMiddleUpToTheirNeighbours) {
    // Three lines of one group, bandWidths 34, 34 and 30 (mean 32): the first wider at the top
    // than at the bottom, the last pressed against a ruby band on its right.
    VerticalBand slanted = line(10, 45);
    slanted.xLeftBottom = 12;
    slanted.xRightBottom = 43;
    VerticalBandList columns =
        verticalList({slanted, line(60, 93), line(110, 139), uprightBand(140, 150, 0, 199, 5)});
    equalizeLineWidths(columns, tier());
    // Each end of a line takes the mean width about its own middle, so the line is stretched
    // across by one scale from top to bottom.
    EXPECT_EQ(xEdges(columns[0]), (std::vector<int>{12, 43, 12, 43}));
    EXPECT_EQ(xEdges(columns[1]), (std::vector<int>{61, 92, 61, 92}));
    // Widening stops at the column before the ruby band; the band itself does not move.
    EXPECT_EQ(xEdges(columns[2]), (std::vector<int>{109, 139, 109, 139}));
    EXPECT_EQ(xEdges(columns[3]), (std::vector<int>{140, 150, 140, 150}));
}

TEST(LinePlacement, ALinePressedNarrowDoesNotDrawItsWholeGroupNarrower) {
    // Two groups of one type size: three lines 100 wide and one pressed to 70 by its ruby, and
    // three lines 120 wide. The lines that took their group's width come out at one scale in
    // both groups (a mean of 92 would draw the first group 8 % narrower than the second).
    VerticalBandList columns = verticalList({line(0, 99), line(110, 209), line(220, 319), line(330, 399),
                                             line(410, 529, 1), line(540, 659, 1), line(670, 789, 1)});
    calcColumnsDestX(columns, levelBand(0, 789, 0, 199, 1));
    auto scaleOf = [&](uint32_t i) {
        return (columns[i].destRight - columns[i].destLeft + 1) / static_cast<double>(bandWidth(columns[i]));
    };
    EXPECT_NEAR(scaleOf(0), scaleOf(4), 0.01);
    EXPECT_NEAR(scaleOf(2), scaleOf(6), 0.01);
}

TEST(LinePlacement, ANarrowBandIsLaidAlongItsLineAtTheSpanOfItsInk) {
    // Ruby right of an upright line, its kana at columns 55 .. 69 near the top and 57 .. 66 near
    // the foot; the band was found 50 .. 64 at the top and drawn out to 52 .. 79 at the bottom:
    // it comes out 55 .. 69 at both ends, holding all its ink. Right of a slanted line (120 ..
    // 149 at the top, 130 .. 159 at the foot) the ruby follows the slant. A band without ink
    // keeps its edges; so does one that follows no text line. No band passes its neighbour.
    GreyImage image = filled(300, 200, [](int x, int y) {
        const bool topKana = y >= 20 && y < 40 && x >= 55 && x <= 69;
        const bool footKana = y >= 150 && y < 170 && x >= 57 && x <= 66;
        const int slanted = edgeAt(y, 0, 149, 199, 159);  // the slanted line's right edge
        const bool slantedKana = y >= 60 && y < 80 && x >= slanted + 4 && x <= slanted + 12;
        const bool squeezedKana = y >= 100 && y < 110 && x >= 243 && x <= 260;
        return topKana || footKana || slantedKana || squeezedKana ? 0 : 255;
    });
    VerticalBand ruby = uprightBand(50, 64, 0, 199, 5);
    ruby.xLeftBottom = 52;
    ruby.xRightBottom = 79;
    VerticalBand slanted = uprightBand(120, 149, 0, 199, 4);
    slanted.xLeftBottom = 130;
    slanted.xRightBottom = 159;
    getLineInfo(slanted).lineGroup = 0;
    VerticalBand slantedRuby = uprightBand(151, 170, 0, 199, 5);
    slantedRuby.xLeftBottom = 161;
    slantedRuby.xRightBottom = 180;
    VerticalBandList columns = verticalList({uprightBand(2, 11, 0, 199, 5), line(20, 45), ruby, line(100, 110), slanted,
                                             slantedRuby, line(200, 230), uprightBand(240, 250, 0, 199, 5),
                                             uprightBand(255, 270, 0, 199, 5)});
    fitNarrowBands(image, columns, tier());
    EXPECT_EQ(xEdges(columns[0]), (std::vector<int>{2, 11, 2, 11}));
    EXPECT_EQ(xEdges(columns[2]), (std::vector<int>{55, 69, 55, 69}));
    EXPECT_EQ(xEdges(columns[5]), (std::vector<int>{153, 161, 163, 171}));
    // The kana reach 260, but the next band starts at 255.
    EXPECT_EQ(xEdges(columns[7]), (std::vector<int>{243, 250, 243, 250}));
    EXPECT_EQ(xEdges(columns[8]), (std::vector<int>{255, 270, 255, 270}));
    // Text lines are left to the line stage's own measures.
    EXPECT_EQ(xEdges(columns[1]), (std::vector<int>{20, 45, 20, 45}));
    EXPECT_EQ(xEdges(columns[4]), (std::vector<int>{120, 149, 130, 159}));
}

TEST(LinePlacement, FillersCoverTheGapsAndNoColumnIsLeftBetweenTouchingColumns) {
    VerticalBandList empty;
    insertColumnFillers(0, empty, tier());
    ASSERT_EQ(typesOf(empty), std::vector<int>{6});
    EXPECT_EQ(xEdges(empty[0]), (std::vector<int>{0, 299, 0, 299}));

    VerticalBandList columns = verticalList({line(10, 49), line(50, 99), line(150, 199)});  // the first two touch
    insertColumnFillers(0, columns, tier());
    EXPECT_EQ(typesOf(columns), (std::vector<int>{6, 4, 4, 6, 4, 6}));
    EXPECT_EQ(xEdges(columns[3]), (std::vector<int>{100, 149, 100, 149}));
    removeColumnFillers(columns);
    ASSERT_EQ(columns.count(), 3u);
    EXPECT_EQ(columns[2].xLeftTop, 150);

    // A line and its ruby 7 columns apart at the top but touching at the foot: no filler, and
    // the ruby takes the gap at the top, so that no column of it is left out of the resampling
    // and the line keeps its slant. Two lines share such a gap.
    VerticalBandList besideRuby =
        verticalList({line(10, 49), uprightBand(57, 70, 0, 199, 5), line(71, 100), line(107, 130)});
    besideRuby[1].xLeftBottom = 50;
    besideRuby[3].xLeftBottom = 101;
    insertColumnFillers(0, besideRuby, tier());
    EXPECT_EQ(typesOf(besideRuby), (std::vector<int>{6, 4, 5, 4, 4, 6}));
    EXPECT_EQ(xEdges(besideRuby[1]), (std::vector<int>{10, 49, 10, 49}));
    EXPECT_EQ(xEdges(besideRuby[2]), (std::vector<int>{50, 70, 50, 70}));
    EXPECT_EQ(xEdges(besideRuby[3]), (std::vector<int>{71, 103, 71, 100}));
    EXPECT_EQ(xEdges(besideRuby[4]), (std::vector<int>{104, 130, 101, 130}));
}

namespace {

// A text line of 30-row characters at pitch 36 from row 20, drawn as solid boxes 40 wide, placed
// on the grid 20 .. gridBottom; answers whether placeLine succeeded.
struct PlacedLine {
    HorizontalBandList chars;
    GreyImage image;
    VerticalBand band = uprightBand(0, 39, 0, 479, 4);

    // count characters; the last is replaced by a small mark (rows markTop .. markTop + 7) when
    // markTop is set.
    PlacedLine(int count, int markTop = 0, int smallLastChar = 0) {
        for (int i = 0; i < count; ++i) chars.append(levelBand(0, 39, 20 + 36 * i, 49 + 36 * i, 2));
        if (markTop > 0) chars[static_cast<uint32_t>(count - 1)] = levelBand(0, 39, markTop, markTop + 7, 2);
        image = inked(40, 480, [&](int, int y) {
            for (const HorizontalBand& c : chars)
                if (y >= c.yTopLeft && y <= c.yBottomLeft) return true;
            return false;
        });
        LineInfo& info = getLineInfo(band);
        info.typicalCharHeight = 30;
        info.typicalCharSpace = 36;
        info.lineGroup = 0;
        info.smallLastChar = smallLastChar;
    }

    // groupPitch 0: the line's own count of cells sets the pitch; sourcePitch 0: a line of
    // fewer than three characters is placed by its first and last ones.
    int place(int gridBottom, float groupPitch = 0.0f, double sourcePitch = 0.0) {
        GroupGrids grids;
        grids.top = {20};
        grids.bottom = {gridBottom};
        grids.pitch = {groupPitch};
        grids.sourcePitch = {sourcePitch};
        return placeLine(chars, image, grids, band, 0, 39);
    }

    // The lowest inked row down the middle of the line.
    int lowestInk() const {
        int lowest = -1;
        for (int y = 0; y < image.height; ++y)
            if (image.at(20, y) < 128) lowest = y;
        return lowest;
    }
};

// Ten characters placed on the grid 20 .. 374; the lowest inked row afterwards.
int placedBottom(int markTop, int smallLastChar) {
    PlacedLine line(10, markTop, smallLastChar);
    EXPECT_EQ(line.place(20 + 36 * 10 - 6), 0);
    return line.lowestInk();
}

}  // namespace

TEST(LinePlacement, ALineWhoseTextWouldRunPastItsBandStaysWhereItIs) {
    // Twelve characters, rows 20 .. 445, on a grid of pitch 40 from row 20: stretched by 40 / 36
    // they would end near row 490, past the band's last row 479, and lose their last character.
    PlacedLine line(12);
    const GreyImage before = line.image;
    {
        TraceCapture trace;
        EXPECT_EQ(line.place(470, 40.0f, 36.0), 0);
        EXPECT_NE(trace.text().find("of its ink would fall past its band"), std::string::npos) << trace.text();
    }
    for (int y = 0; y < before.height; ++y) ASSERT_EQ(line.image.at(20, y), before.at(20, y)) << y;
    // On a grid that holds it the same line is moved and stretched.
    PlacedLine fitting(10);
    const GreyImage unmoved = fitting.image;
    EXPECT_EQ(fitting.place(470, 40.0f, 36.0), 0);
    int changed = 0;
    for (int y = 0; y < unmoved.height; ++y) changed += fitting.image.at(20, y) != unmoved.at(20, y);
    EXPECT_GT(changed, 20);
}

TEST(LinePlacement, ALineEndingInASmallMarkEndsHigherUnlessItHangs) {
    const int ordinary = placedBottom(0, 0);
    // A small mark well below the last character (gap over 0.3 H): the body ends 0.3 H higher.
    const int spaced = placedBottom(20 + 36 * 9 + 12, 0);
    // A small mark right below it: 0.6 H higher.
    const int close = placedBottom(20 + 36 * 9 + 2, 0);
    EXPECT_NEAR(ordinary - spaced, 9, 2);
    EXPECT_NEAR(ordinary - close, 18, 2);
    // A hanging mark (smallLastChar) goes below the grid instead.
    EXPECT_GT(placedBottom(20 + 36 * 9 + 2, 1), ordinary);
}

TEST(LinePlacement, AnEmptyLineChangesNothing) {
    GreyImage image = filled(40, 100, [](int x, int y) { return (x + y) % 256; });
    const GreyImage before = image;
    VerticalBand band = uprightBand(0, 39, 0, 99, 4);
    getLineInfo(band).lineGroup = 0;
    GroupGrids grids;
    grids.top = grids.bottom = {0};
    grids.pitch = {0.0f};
    grids.sourcePitch = {0.0};
    EXPECT_EQ(placeLine(HorizontalBandList(), image, grids, band, 0, 39), 0);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) ASSERT_EQ(image.at(x, y), before.at(x, y)) << x << "," << y;
}

TEST(LinePlacement, ALineWithCrossingEdgesStillLeavesEveryBandInsideTheRow) {
    // A sliver typed as a text line whose edges cross (width 0) forms a group of its own with
    // mean width 0: the layout must not divide by it.
    VerticalBand sliver = line(60, 62, 1);
    sliver.xRightTop = 59;
    sliver.xRightBottom = 61;
    sliver.xLeftBottom = 62;  // width ((61 - 62) + (59 - 60)) / 2 + 1 = 0
    VerticalBandList columns =
        verticalList({line(10, 49, 0), sliver, uprightBand(70, 80, 0, 199, 5), line(100, 139, 0)});
    equalizeLineWidths(columns, tier());
    calcColumnsDestX(columns, tier());
    for (const VerticalBand& c : columns) {
        EXPECT_GE(c.destLeft, 0);
        EXPECT_LE(c.destRight, 299);
        EXPECT_LE(c.destLeft, c.destRight + 1);
    }
}

TEST(LinePlacement, ALineThatWouldBeStretchedOutOfShapeStaysAsItIs) {
    // Three characters whose blank counts say they fill a grid four times their length.
    PlacedLine line(3);
    const GreyImage before = line.image;
    TraceCapture capture;
    EXPECT_EQ(line.place(20 + 36 * 12), 0);
    EXPECT_TRUE(contains(capture.text(), "line left in place"));
    for (int y = 0; y < before.height; ++y) ASSERT_EQ(line.image.at(20, y), before.at(20, y)) << y;
}

TEST(LinePlacement, CharactersLandOnTheGroupsRowsWhateverTheLinesLengthOrEndGlyphs) {
    // Lines of one group on one grid of ten cells: a full line, one whose first glyph's ink
    // covers only the middle 20 of its 30 rows, a short one ending six blank cells early, and
    // a full one whose count of tail blanks is one too many, a full one whose fourth and fifth
    // characters were taken for one, and one of two characters, the first narrow. Every
    // character must land on the rows of the full line's.
    const int gridBottom = 20 + 36 * 10 - 6;
    auto topsAfterPlacing = [&](int count, int firstTop, int firstBottom, int extraBlanks = 0, bool merged = false,
                                double sourcePitch = 0.0) {
        PlacedLine line(count);
        line.chars[0] = levelBand(0, 39, firstTop, firstBottom, 2);
        if (merged) {
            line.chars[3] = unionBand(line.chars[3], line.chars[4]);
            line.chars.removeAt(4);
        }
        line.image = inked(40, 480, [&](int, int y) {
            for (const HorizontalBand& c : line.chars)
                if (y >= c.yTopLeft && y <= c.yBottomLeft) return true;
            return false;
        });
        LineInfo& info = getLineInfo(line.band);
        info.tailBlanks = 10 - count;
        const float groupPitch = cellPitch(info, static_cast<uint32_t>(count), 20, gridBottom);
        if (merged) info.tailBlanks = 0;
        info.tailBlanks += extraBlanks;
        EXPECT_EQ(line.place(gridBottom, groupPitch, sourcePitch), 0);
        std::vector<int> tops;  // the first inked row of every run of ink down the middle
        for (int y = 1; y < line.image.height; ++y)
            if (line.image.at(20, y) < 128 && line.image.at(20, y - 1) >= 128) tops.push_back(y);
        return tops;
    };
    const std::vector<int> full = topsAfterPlacing(10, 20, 49);
    const std::vector<int> narrow = topsAfterPlacing(10, 25, 44), shortLine = topsAfterPlacing(4, 20, 49);
    const std::vector<int> miscounted = topsAfterPlacing(10, 20, 49, 1);
    const std::vector<int> merged = topsAfterPlacing(10, 20, 49, 0, true);
    ASSERT_EQ(merged.size(), full.size() - 1);
    // Two characters, the first a narrow glyph: too few to fit, they stand at the group's pitch.
    const std::vector<int> twoNarrow = topsAfterPlacing(2, 25, 44, 0, false, 36.0);
    ASSERT_EQ(twoNarrow.size(), 2u);
    EXPECT_NEAR(twoNarrow[1], full[1], 1);
    for (size_t i = 0; i < merged.size(); ++i) EXPECT_NEAR(merged[i], full[i < 4 ? i : i + 1], 1) << "character " << i;
    ASSERT_EQ(full.size(), narrow.size());
    ASSERT_EQ(full.size(), miscounted.size());
    ASSERT_EQ(shortLine.size(), 4u);
    for (size_t i = 0; i < full.size(); ++i) EXPECT_NEAR(miscounted[i], full[i], 1) << "character " << i;
    for (size_t i = 1; i < full.size(); ++i) EXPECT_NEAR(narrow[i], full[i], 1) << "character " << i;
    for (size_t i = 0; i < shortLine.size(); ++i) EXPECT_NEAR(shortLine[i], full[i], 1) << "character " << i;
}
