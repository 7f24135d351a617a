#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "lines/line_lean.h"
#include "lines/line_placement.h"
#include "test_support.h"

namespace {

// A tier 800 rows high over columns 0 .. 199.
HorizontalBand tier() { return levelBand(0, 199, 0, 799, 1); }

// A line of twenty 30 x 30 glyphs (a frame with a bar down the middle) at pitch 38 whose middle
// lies at column middle + lean * (y - 400): a line leaning by lean columns per row.
GreyImage leaningLine(double middle, double lean) {
    GreyImage image;
    fillImage(image, 200, 800, [&](int x, int y) {
        const int top = 10 + 38 * ((y - 10) / 38);
        const int dy = y - top;
        if (y < 10 || dy >= 30) return static_cast<unsigned char>(255);
        const int left = static_cast<int>(std::lround(middle + lean * (y - 400))) - 15;
        const int dx = x - left;
        const bool ink = dx >= 0 && dx < 30 && (dy < 3 || dy >= 27 || dx < 3 || dx >= 27 || (dx >= 14 && dx < 16));
        return static_cast<unsigned char>(ink ? 0 : 255);
    });
    return image;
}

// Three lines leaning by lean with their middles at columns 40, 100 and 160; the middle one
// has no ink from row middleEnd on.
GreyImage threeLines(double lean, int middleEnd) {
    const GreyImage left = leaningLine(40, lean), right = leaningLine(160, lean);
    GreyImage image = leaningLine(100, lean);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            unsigned char& p = image.pixels[static_cast<size_t>(y) * image.width + x];
            if (y >= middleEnd) p = 255;
            p = std::min({p, left.at(x, y), right.at(x, y)});
        }
    return image;
}

// threeLines whose middle line holds only its first eight glyphs (rows 10 .. 295), too few for
// a slope of its own.
GreyImage shortLineBetweenTwo(double lean) { return threeLines(lean, 300); }

// Expects the band's middle within a column of top at its top row and of bottom at its foot.
void expectMiddles(const VerticalBand& band, double top, double bottom) {
    const std::vector<int> edges = xEdges(band);
    EXPECT_NEAR((edges[0] + edges[1]) / 2.0, top, 1.0);
    EXPECT_NEAR((edges[2] + edges[3]) / 2.0, bottom, 1.0);
}

// Upright bands over the three lines of threeLines.
VerticalBandList threeUprightBands() {
    return verticalList({uprightBand(23, 56, 0, 799, 4), uprightBand(83, 116, 0, 799, 4), uprightBand(143, 176, 0, 799, 4)});
}

}  // namespace

TEST(LineLean, TheLeanIsMeasuredAgainstTheBandsOwnSlant) {
    // 8 columns per 1000 rows, measured first against upright edges, then against edges that
    // already follow it, then against edges that lean the other way.
    const GreyImage image = leaningLine(100, 0.008);
    EXPECT_NEAR(measureLineLean(image, uprightBand(83, 116, 0, 799, 4), tier()).slope, 0.008, 0.0015);
    VerticalBand following = uprightBand(83, 116, 0, 799, 4);
    following.xLeftTop = 83 - 3;
    following.xRightTop = 116 - 3;
    following.xLeftBottom = 83 + 3;
    following.xRightBottom = 116 + 3;
    EXPECT_NEAR(measureLineLean(image, following, tier()).slope, 0.0, 0.0015);
    // Edges 6 columns left of the ink at the middle row: the ink lies 6 right of the band's middle.
    following.xLeftTop -= 6, following.xRightTop -= 6, following.xLeftBottom -= 6, following.xRightBottom -= 6;
    EXPECT_NEAR(measureLineLean(image, following, tier()).shift, 6.0, 1.0);
    // A line too short for four slabs of ink has no measurable lean, only a place: its middle
    // runs from 96 to 100 over the rows 0 .. 400.
    const LineLean shortLine = measureLineLean(image, uprightBand(83, 116, 0, 799, 4), levelBand(0, 199, 0, 400, 1));
    EXPECT_TRUE(shortLine.measured);
    EXPECT_FALSE(shortLine.sloped);
    EXPECT_NEAR(shortLine.shift, -2.0, 1.0);
}

TEST(LineLean, ALineAndItsRubyTurnTogetherUpToTheirNeighbours) {
    // The line leans 10 columns per 1000 rows: over the tier's 799 rows its edges turn by 4 at
    // each end about the middle row.
    const GreyImage image = leaningLine(100, 0.010);
    VerticalBandList columns = verticalList({uprightBand(40, 60, 0, 799, 4), uprightBand(83, 116, 0, 799, 4),
                                             uprightBand(118, 126, 0, 799, 5), uprightBand(129, 160, 0, 799, 4)});
    followLineLeans(image, columns, tier());
    EXPECT_EQ(xEdges(columns[1]), (std::vector<int>{79, 112, 87, 120}));
    // The ruby turns with its line but stops at the column before the line to its right.
    EXPECT_EQ(xEdges(columns[2]), (std::vector<int>{114, 122, 122, 128}));
    EXPECT_EQ(xEdges(columns[3]), (std::vector<int>{129, 160, 129, 160}));
    // Bands without ink keep their edges.
    EXPECT_EQ(xEdges(columns[0]), (std::vector<int>{40, 60, 40, 60}));

    // A band much wider at one end than at the other missed the line there: it is laid along
    // the line's ink (middle 96 at the top row, 104 at the bottom) with its mean width of 45.
    VerticalBandList broken = verticalList({uprightBand(83, 116, 0, 799, 4)});
    broken[0].xLeftTop = 60;
    followLineLeans(image, broken, tier());
    EXPECT_EQ(xEdges(broken[0]), (std::vector<int>{74, 118, 82, 126}));
}

TEST(LineLean, TheRubyOfABandLaidAnewIsFittedAlongItsNewEdge) {
    // The line of ALineAndItsRubyTurnTogether, with ruby 6 columns wide 4 right of its ink (the
    // ink ends at column 111 at the top row, 119 at the bottom). The band missed the line's left
    // part at the top and is laid anew; its middle moves by 10 at the top and not at the foot,
    // but the ruby, fitted along the band's right edge, was already on its ink and must stay there.
    GreyImage image = leaningLine(100, 0.010);
    for (int y = 10; y < 770; ++y) {
        if ((y - 10) % 38 >= 20) continue;
        const int right = static_cast<int>(std::lround(100 + 0.010 * (y - 400))) + 15;
        for (int x = right + 4; x < right + 10; ++x) image.at(x, y) = 0;
    }
    VerticalBandList columns = verticalList({uprightBand(60, 111, 0, 799, 4), uprightBand(113, 126, 0, 799, 5)});
    columns[0].xLeftBottom = 89;
    columns[0].xRightBottom = 119;
    fitNarrowBands(image, columns, tier());
    followLineLeans(image, columns, tier());
    const std::vector<int> ruby = xEdges(columns[1]);
    EXPECT_NEAR(ruby[0], 115, 1) << "left edge at the top";
    EXPECT_NEAR(ruby[2], 123, 1) << "left edge at the foot";
    EXPECT_EQ(ruby[1] - ruby[0], ruby[3] - ruby[2]);
    EXPECT_GE(ruby[0], xEdges(columns[0])[1] + 1);
}

TEST(LineLean, ALineWithInkOnlyAtItsHeadMovesWholeOntoItsInk) {
    // Eight glyphs at the head of an 800-row tier, their middle at column 94: the band's
    // middle (99.5) stands off it, and a slope over 300 rows of 800 would be guessed.
    GreyImage image = leaningLine(94, 0.0);
    for (int y = 300; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) image.pixels[static_cast<size_t>(y) * image.width + x] = 255;
    VerticalBandList columns = verticalList({uprightBand(83, 116, 0, 799, 4)});
    const LineLean lean = measureLineLean(image, columns[0], tier());
    EXPECT_FALSE(lean.sloped);
    EXPECT_NEAR(lean.shift, -5.5, 1.0);
    followLineLeans(image, columns, tier());
    const std::vector<int> edges = xEdges(columns[0]);
    EXPECT_EQ(edges[0], edges[2]);
    EXPECT_EQ(edges[1] - edges[0], 33);
    EXPECT_NEAR(edges[0], 77.5, 1.0);
}

TEST(LineLean, ABandThatMissedPartOfItsLineFindsTheRestBesideIt) {
    // A line whose middle runs from column 102 at the top to 98 at the bottom (glyphs 87 .. 116
    // at the top) and whose band missed its left edge there (95 .. 139 at the top, 82 .. 114 at
    // the bottom): the band is laid on the whole line, with its mean width 39.
    const GreyImage image = leaningLine(100, -0.005);
    VerticalBandList columns = verticalList({uprightBand(82, 114, 0, 799, 4)});
    columns[0].xLeftTop = 95;
    columns[0].xRightTop = 139;
    followLineLeans(image, columns, tier());
    const std::vector<int> edges = xEdges(columns[0]);
    expectMiddles(columns[0], 102, 98);
    EXPECT_EQ(edges[1] - edges[0] + 1, 39);
}

TEST(LineLean, AShortLineTakesTheSlantOfTheMeasuredLinesBesideIt) {
    // Three lines leaning 10 columns per 1000 rows; the middle one holds only eight glyphs, too
    // few for a slope of its own. Its upright band is turned like its neighbours' and laid on its
    // ink: its middle runs from 96 at the top row to 104 at the bottom, as the glyphs' does.
    const GreyImage image = shortLineBetweenTwo(0.010);
    VerticalBandList columns = threeUprightBands();
    followLineLeans(image, columns, tier());
    const std::vector<int> edges = xEdges(columns[1]);
    expectMiddles(columns[1], 96, 104);
    EXPECT_EQ(edges[1] - edges[0], 33);
}

TEST(LineLean, AShortLineWhoseBandCrossedItselfTakesTheSlantOfTheLinesBesideIt) {
    // Three upright lines; the middle one holds eight glyphs (middle 100), too few for a slant
    // of its own, and its band was found steep and all but closed at its foot (83 .. 116 at the
    // top, 60 .. 66 at the bottom). That slant is the band finder's, not the ink's: the band is
    // laid on the ink along its neighbours' slant, at their width, where left alone its upper
    // half would miss the glyphs.
    const GreyImage image = shortLineBetweenTwo(0.0);
    VerticalBandList columns = threeUprightBands();
    columns[1].xLeftBottom = 60;
    columns[1].xRightBottom = 66;
    followLineLeans(image, columns, tier());
    const std::vector<int> edges = xEdges(columns[1]);
    expectMiddles(columns[1], 99.5, 99.5);
    EXPECT_EQ(edges[1] - edges[0], 33);
}

TEST(LineLean, ABandWidenedByASpeckBesideItsLineIsLaidOnTheLineAtTheLinesWidth) {
    // Three upright lines of glyphs 30 wide; the middle band (83 .. 130) took in a speck 12
    // columns right of its glyphs. Its ink's envelope is the others', its band 14 columns wider:
    // it is laid on the glyphs (middle 99.5) at the others' width, not kept that wide (its line
    // would then be given a group and a scale of its own).
    GreyImage image = threeLines(0.0, 800);
    for (int y = 400; y <= 403; ++y)
        for (int x = 126; x <= 128; ++x) image.pixels[static_cast<size_t>(y) * image.width + x] = 0;
    VerticalBandList columns = threeUprightBands();
    columns[1].xRightTop = columns[1].xRightBottom = 130;
    followLineLeans(image, columns, tier());
    EXPECT_EQ(xEdges(columns[1]), (std::vector<int>{83, 116, 83, 116}));
    // A band as wide whose ink is as wide (a line in larger type) keeps its width.
    VerticalBandList wideLine = verticalList({uprightBand(23, 56, 0, 799, 4), uprightBand(71, 118, 0, 799, 4),
                                              uprightBand(143, 176, 0, 799, 4)});
    GreyImage wide = image;
    for (int y = 0; y < wide.height; ++y)
        for (int x = 73; x <= 116; ++x)
            if (wide.at(x, y) == 0 || (x < 85 && image.at(x + 12, y) == 0)) wide.pixels[static_cast<size_t>(y) * wide.width + x] = 0;
    followLineLeans(wide, wideLine, tier());
    const std::vector<int> edges = xEdges(wideLine[1]);
    EXPECT_EQ(edges[1] - edges[0], 47);
}

TEST(LineLean, ABandThatMissedItsLineAroundDustOnlyIsNoLineAndLeavesTheList) {
    // Two lines (middles 40 and 160) and, between them, a band lopsided at its foot (83 .. 86 at
    // the top, 83 .. 116 at the bottom) around specks of dust 3 columns wide. Laid anew at the
    // lines' width it would be given a grid and its specks drawn out into bars: it leaves the
    // list, and the lines keep their bands.
    GreyImage image = threeLines(0.0, 0);
    for (int y0 : {150, 420, 610, 700})
        for (int y = y0; y < y0 + 3; ++y)
            for (int x = 95; x < 98; ++x) image.pixels[static_cast<size_t>(y) * image.width + x] = 0;
    VerticalBandList columns = threeUprightBands();
    columns[1].xRightTop = 86;
    followLineLeans(image, columns, tier());
    ASSERT_EQ(columns.count(), 2u);
    EXPECT_EQ(xEdges(columns[0]), (std::vector<int>{23, 56, 23, 56}));
    EXPECT_EQ(xEdges(columns[1]), (std::vector<int>{143, 176, 143, 176}));
    // A paragraph's short last line in the same band is a line: it stays, laid on its glyphs.
    GreyImage shortLine = shortLineBetweenTwo(0.0);
    VerticalBandList withLine = threeUprightBands();
    withLine[1].xRightTop = 86;
    followLineLeans(shortLine, withLine, tier());
    ASSERT_EQ(withLine.count(), 3u);
    EXPECT_EQ(xEdges(withLine[1]), (std::vector<int>{83, 116, 83, 116}));
}

TEST(LineLean, ABandAtTheEndOfATierStaysALineWhateverItsInk) {
    // The same dust, but the lopsided band is the last of the tier: there is no gap between
    // neighbours for its room to join, and dropped, its ink (a colophon in small type beside the
    // last line) would be drawn out with the margin. It stays in the list.
    GreyImage image = threeLines(0.0, 0);
    for (int y = 0; y < image.height; ++y)
        for (int x = 130; x < image.width; ++x) image.pixels[static_cast<size_t>(y) * image.width + x] = 255;
    for (int y0 : {150, 420, 610, 700})
        for (int y = y0; y < y0 + 3; ++y)
            for (int x = 95; x < 98; ++x) image.pixels[static_cast<size_t>(y) * image.width + x] = 0;
    VerticalBandList columns = threeUprightBands();
    columns.removeAt(2);
    columns[1].xRightTop = 86;
    followLineLeans(image, columns, tier());
    ASSERT_EQ(columns.count(), 2u);
    EXPECT_EQ(xEdges(columns[0]), (std::vector<int>{23, 56, 23, 56}));
    EXPECT_GE(columns[1].xRightTop, 97) << "the band still holds its ink";
}

TEST(LineLean, AMisreadBandNarrowsRatherThanLeaveItsInkWhereItsNeighbourStands) {
    // Upright glyphs over columns 89 .. 118 (middle 103.5) and a band that missed their left
    // edge at the top (99 .. 143) and took part of its left neighbour (ending at 86) at the
    // bottom. Laid at the lines' width of 33 it would cross that neighbour; it keeps its middle
    // on the ink's and is narrowed on both sides instead.
    const GreyImage image = leaningLine(104, 0.0);
    VerticalBandList columns = verticalList(
        {uprightBand(50, 86, 0, 799, 5), uprightBand(86, 118, 0, 799, 4), uprightBand(150, 182, 0, 799, 4)});
    columns[1].xLeftTop = 99;
    columns[1].xRightTop = 143;
    followLineLeans(image, columns, tier());
    const std::vector<int> edges = xEdges(columns[1]);
    EXPECT_GE(std::min(edges[0], edges[2]), 87);
    expectMiddles(columns[1], 103.5, 103.5);
    EXPECT_EQ(edges[1] - edges[0], edges[3] - edges[2]);
}

TEST(LineLean, ALineIsCentredOnItsInkAndTakesItsNeighboursSlantWhenItsOwnStrays) {
    // Five lines 70 columns apart, the middle one upright and the others leaning 10 columns per
    // 1000 rows. The middle one's own slant strays from its neighbours' by more than 5 per 1000:
    // it is taken for a misreading and the line is given theirs. Its band, 5 columns right
    // of its ink, is laid onto the ink's middle (column 180 at the ink's mean row).
    const int middles[] = {40, 110, 180, 250, 320};
    GreyImage image;
    fillImage(image, 400, 800, [&](int x, int y) {
        const int top = 10 + 38 * ((y - 10) / 38);
        const int dy = y - top;
        if (y < 10 || dy >= 30) return static_cast<unsigned char>(255);
        for (int m : middles) {
            const double lean = m == 180 ? 0.0 : 0.010;
            const int dx = x - (static_cast<int>(std::lround(m + lean * (y - 400))) - 15);
            if (dx >= 0 && dx < 30 && (dy < 3 || dy >= 27 || dx < 3 || dx >= 27 || (dx >= 14 && dx < 16)))
                return static_cast<unsigned char>(0);
        }
        return static_cast<unsigned char>(255);
    });
    VerticalBandList columns = verticalList({uprightBand(23, 56, 0, 799, 4), uprightBand(93, 126, 0, 799, 4),
                                             uprightBand(168, 201, 0, 799, 4), uprightBand(233, 266, 0, 799, 4),
                                             uprightBand(303, 336, 0, 799, 4)});
    followLineLeans(image, columns, levelBand(0, 399, 0, 799, 1));
    const std::vector<int> edges = xEdges(columns[2]);
    // The neighbours' slant: 8 columns over the tier, about the ink's middle.
    EXPECT_NEAR((edges[2] + edges[3]) / 2.0 - (edges[0] + edges[1]) / 2.0, 8.0, 1.0);
    EXPECT_NEAR((edges[0] + edges[1] + edges[2] + edges[3]) / 4.0, 180.0, 1.0);
    EXPECT_EQ(edges[1] - edges[0], 33);
}

namespace {

// Lines of twenty 30 x 30 glyphs at pitch 38, each given by its middle at row 400 and its lean.
GreyImage linesImage(int width, const std::vector<std::pair<double, double>>& lines) {
    GreyImage image;
    fillImage(image, width, 800, [&](int x, int y) {
        const int top = 10 + 38 * ((y - 10) / 38);
        const int dy = y - top;
        if (y < 10 || dy >= 30) return static_cast<unsigned char>(255);
        for (const auto& [middle, lean] : lines) {
            const int dx = x - (static_cast<int>(std::lround(middle + lean * (y - 400))) - 15);
            if (dx >= 0 && dx < 30 && (dy < 3 || dy >= 27 || dx < 3 || dx >= 27 || (dx >= 14 && dx < 16)))
                return static_cast<unsigned char>(0);
        }
        return static_cast<unsigned char>(255);
    });
    return image;
}

// The turn of a band's middle from its top row to its bottom row.
double turnOf(const VerticalBand& b) {
    return (b.xLeftBottom + b.xRightBottom) / 2.0 - (b.xLeftTop + b.xRightTop) / 2.0;
}

}  // namespace

TEST(LineLean, SlantsThatChangeEvenlyAcrossTheTierAreFollowedUpToItsLastMeasuredLine) {
    // A page placed from edges of different slants fans its lines: here their slants grow by 2
    // per 1000 rows from line to line, and line 3 follows them (6 per 1000). The last line's
    // ink is upright, a misreading against the others; past the lines the trend was fitted
    // to, it takes the trend's slant at the nearest of them (10 per 1000), not theirs drawn out.
    std::vector<std::pair<double, double>> lines;
    VerticalBandList columns;
    for (int k = 0; k < 7; ++k) {
        const double middle = 30 + 60 * k;
        lines.emplace_back(middle, k == 6 ? 0.0 : 0.002 * k);
        columns.append(uprightBand(static_cast<int>(middle) - 16, static_cast<int>(middle) + 16, 0, 799, 4));
    }
    followLineLeans(linesImage(440, lines), columns, levelBand(0, 439, 0, 799, 1));
    EXPECT_NEAR(turnOf(columns[3]), 0.006 * 799, 1.0);
    EXPECT_NEAR(turnOf(columns[6]), 0.010 * 799, 1.0);
}

TEST(LineLean, ALineFarPastTheMeasuredLinesIsNotLeanedByTheirNoise) {
    // Three lines whose slants scatter by a few per 1000 (-1, +1, +3), as glyph shapes make
    // them, and four pitches to their left a line too short for a slope of its own. Drawn out
    // that far, the trend through the three would lean it by 9 per 1000; it is held at the
    // trend's value at the nearest of them (-1 per 1000, within a pixel of upright).
    const std::vector<std::pair<double, double>> lines = {{280, -0.001}, {340, 0.001}, {400, 0.003}};
    GreyImage image = linesImage(440, lines);
    const GreyImage shortLine = linesImage(440, {{40, 0.0}});
    for (int y = 10; y < 295; ++y)
        for (int x = 0; x < 80; ++x) image.pixels[static_cast<size_t>(y) * image.width + x] = shortLine.at(x, y);
    VerticalBandList columns = verticalList({uprightBand(24, 56, 0, 799, 4), uprightBand(264, 296, 0, 799, 4),
                                             uprightBand(324, 356, 0, 799, 4), uprightBand(384, 416, 0, 799, 4)});
    followLineLeans(image, columns, levelBand(0, 439, 0, 799, 1));
    EXPECT_NEAR(turnOf(columns[0]), 0.0, 1.5);
}

TEST(LineLean, ABandSteepAgainstItsInkIsTurnedWhenTheInkRunsAsItsNeighboursDo) {
    // Five upright lines; the middle one's band leans 25 per 1000 across its ink, steeper than
    // any lean of a line against its band. Its ink runs upright as the others' does, so the
    // band missed the line, not the other way round: it is turned upright onto the ink.
    const GreyImage image = linesImage(400, {{40, 0}, {110, 0}, {180, 0}, {250, 0}, {320, 0}});
    VerticalBandList columns = verticalList({uprightBand(23, 56, 0, 799, 4), uprightBand(93, 126, 0, 799, 4),
                                             uprightBand(163, 196, 0, 799, 4), uprightBand(233, 266, 0, 799, 4),
                                             uprightBand(303, 336, 0, 799, 4)});
    columns[2].xLeftTop -= 10, columns[2].xRightTop -= 10;
    columns[2].xLeftBottom += 10, columns[2].xRightBottom += 10;
    followLineLeans(image, columns, levelBand(0, 399, 0, 799, 1));
    EXPECT_NEAR(turnOf(columns[2]), 0.0, 1.0);
    EXPECT_NEAR((columns[2].xLeftTop + columns[2].xRightTop) / 2.0, 180.0, 1.5);
}

TEST(LineLean, ALinePressedAgainstANeighbourAtOneEndIsNarrowedAlongItsWholeLength) {
    // Upright ink about column 110 in a band 6 columns right of it at the top; on the left
    // there the neighbouring band leaves room only from column 97. Moved by 6 at the top alone,
    // the band's left edge would stop at 97 and its middle turn off the ink; it keeps its middle
    // on the ink and is narrowed on both sides, along its whole length.
    const GreyImage image = linesImage(400, {{40, 0}, {110, 0}, {180, 0}, {250, 0}, {320, 0}});
    VerticalBandList columns = verticalList({uprightBand(23, 56, 0, 799, 4), uprightBand(93, 126, 0, 799, 4),
                                             uprightBand(163, 196, 0, 799, 4), uprightBand(233, 266, 0, 799, 4),
                                             uprightBand(303, 336, 0, 799, 4)});
    columns[0].xRightTop = 96;
    columns[1].xLeftTop += 6, columns[1].xRightTop += 6;
    followLineLeans(image, columns, levelBand(0, 399, 0, 799, 1));
    const std::vector<int> edges = xEdges(columns[1]);
    EXPECT_GE(edges[0], 97);
    expectMiddles(columns[1], 109.5, 109.5);
    EXPECT_EQ(edges[1] - edges[0], edges[3] - edges[2]);
}
