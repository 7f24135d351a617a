#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chars/rows.h"
#include "test_support.h"

namespace {

struct Rect {
    int x0, x1, y0, y1;
    unsigned char grey = 0;
};

GreyImage drawn(int w, int h, const std::vector<Rect>& rects) {
    return filled(w, h, [&](int x, int y) {
        for (const Rect& r : rects)
            if (x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1) return r.grey;
        return static_cast<unsigned char>(255);
    });
}

// A tier of vertical text lines: strokes 4 pixels wide every 12 columns from x0 to x1.
void tier(std::vector<Rect>& rects, int x0, int x1, int y0, int y1) {
    for (int x = x0; x + 3 <= x1; x += 12) rects.push_back({x, x + 3, y0, y1});
}

struct Found {
    HorizontalBandList rows;
    bool horizontalLines = true;
    std::string trace;
};

Found rowsOf(const GreyImage& image, double waveX, double waveY, int depth = 0) {
    Found f;
    TraceCapture capture;
    findRows(f.rows, waveX, waveY, uprightBand(0, image.width - 1, 0, image.height - 1, 2), image,
             f.horizontalLines, depth);
    f.trace = capture.text();
    return f;
}

// The number of band dump lines right after heading; -1 when heading was not traced.
int dumpedLines(const std::string& trace, const std::string& heading) {
    size_t p = trace.find(heading);
    if (p == std::string::npos) return -1;
    int n = 0;
    for (p += heading.size(); p < trace.size() && trace[p] == '('; ++n) p = trace.find('\n', p) + 1;
    return n;
}

}  // namespace

TEST(Rows, HeaderTiersAndPageNumberAreTypedAndFittedToTheInk) {
    std::vector<Rect> rects = {{40, 160, 20, 27}, {95, 105, 378, 384}};
    tier(rects, 20, 180, 50, 190);
    tier(rects, 20, 180, 210, 360);
    const Found f = rowsOf(drawn(200, 400, rects), 16, 14);
    ASSERT_EQ(typesOf(f.rows), (std::vector<int>{4, 1, 1, 4})) << f.trace;
    // The finder leaves each edge on the ink's first or last row; fitting answers the first
    // blocked line past it, one row further in.
    const std::vector<int> edges[] = {{21, 21, 26, 26}, {51, 51, 189, 189}, {211, 211, 359, 359}, {379, 379, 383, 383}};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(yEdges(f.rows[i]), edges[i]);
    EXPECT_FALSE(f.horizontalLines);
    EXPECT_EQ(dumpedLines(f.trace, "Rows found:\n"), 4);
    EXPECT_EQ(f.trace.find("Rows are horizontal lines."), std::string::npos);
}

TEST(Rows, ABlankPageHasNoRow) {
    const Found f = rowsOf(drawn(100, 100, {}), 16, 14);
    EXPECT_EQ(f.rows.count(), 0u);
    EXPECT_FALSE(f.horizontalLines);
    EXPECT_TRUE(f.trace.ends_with("Rows before fusion:\nNo row found.")) << f.trace;
}

TEST(Rows, TallRowsInTheTopOrBottomTwoPercentAreNotTiers) {
    // 2 % of 400 rows is 8: the centres 6 and 393 lie outside [8, 392], 106 inside.
    std::vector<Rect> rects;
    tier(rects, 20, 180, 0, 12);
    tier(rects, 20, 180, 100, 112);
    tier(rects, 20, 180, 387, 399);
    const Found f = rowsOf(drawn(200, 400, rects), 10, 4);
    EXPECT_EQ(typesOf(f.rows), (std::vector<int>{4, 1, 4})) << f.trace;
}

TEST(Rows, SpecksBelowTheCleaningHeightGoBeforeFusion) {
    // waveY 60: rows lower than 4 are removed before fusion; kept, the speck 20 rows below the
    // tier would fuse with it (gaps up to 28) and drag its bottom edge down. The speck of 8
    // rows above the tier is found only in a region (depth 1, first rows above 4 kept), not on
    // a page (above 12).
    std::vector<Rect> rects = {{90, 110, 190, 191}, {90, 110, 5, 12}};
    tier(rects, 20, 180, 30, 169);
    const GreyImage image = drawn(200, 300, rects);
    const Found f = rowsOf(image, 50, 60, 1);
    EXPECT_EQ(dumpedLines(f.trace, "Rows before cleaning:\n"), 3) << f.trace;
    EXPECT_EQ(dumpedLines(f.trace, "Rows before fusion:\n"), 2);
    ASSERT_EQ(typesOf(f.rows), std::vector<int>{1});
    EXPECT_EQ(yEdges(f.rows[0]), (std::vector<int>{6, 6, 168, 168}));  // fitted one row inside the ink

    const Found g = rowsOf(image, 50, 60, 0);
    EXPECT_EQ(dumpedLines(g.trace, "Rows before cleaning:\n"), 2) << g.trace;
    ASSERT_EQ(g.rows.count(), 1u);
    EXPECT_EQ(g.rows[0].yTopLeft, 31);
}

TEST(Rows, RowsFuseAcrossGapsUpToAHalfPitch) {
    // waveY 14: gaps of at most trunc(0.476 * 14) = 6 rows fuse, 7 do not.
    std::vector<Rect> rects;
    tier(rects, 20, 180, 40, 120);
    tier(rects, 20, 180, 126, 200);
    tier(rects, 20, 180, 207, 300);
    const Found f = rowsOf(drawn(200, 400, rects), 16, 14);
    EXPECT_EQ(dumpedLines(f.trace, "Rows before fusion:\n"), 3) << f.trace;
    EXPECT_EQ(dumpedLines(f.trace, "Rows after fusion:\n"), 2);
    ASSERT_EQ(f.rows.count(), 2u);
    EXPECT_EQ(yEdges(f.rows[0]), (std::vector<int>{41, 41, 199, 199}));  // fitted one row inside the ink
    EXPECT_EQ(f.rows[1].yTopLeft, 208);
}

TEST(Rows, ALineWithItsRubiesIsOneUnfittedTier) {
    // One vertical line in a band 60 wide: characters 16 rows tall every 20, phrases apart,
    // ruby fragments beside some characters and in a gap between phrases.
    std::vector<Rect> rects = {{44, 48, 30, 34}, {44, 48, 100, 103}, {44, 48, 250, 252}};
    for (int y = 20; y < 280; y += 20)
        if (y != 100 && y != 200) rects.push_back({20, 39, y, y + 15});
    const Found f = rowsOf(drawn(60, 300, rects), 30, 20);
    ASSERT_EQ(typesOf(f.rows), std::vector<int>{1}) << f.trace;
    EXPECT_EQ(yEdges(f.rows[0]), (std::vector<int>{20, 20, 275, 275}));
    EXPECT_FALSE(f.horizontalLines);
    EXPECT_TRUE(f.trace.ends_with("This page is a line (and possibly its rubies).\n")) << f.trace;
    EXPECT_EQ(f.trace.find("barycenterX"), std::string::npos);
}

TEST(RowShapes, IsPageOneLineFusesCloseRowsThenRowsOfLikeHeight) {
    // waveX 10: gaps above 5 part rows; neighbours fuse when the upper is below 30 rows and
    // the lower within 10/14 .. 14/10 of it. Heights after the first fusion: 25 21 35 36.
    HorizontalBandList rows = horizontalList({levelBand(0, 99, 0, 9, 0), levelBand(0, 99, 14, 24, 0),
        levelBand(0, 99, 30, 50, 0), levelBand(0, 99, 70, 104, 0), levelBand(0, 99, 120, 155, 0)});
    ASSERT_TRUE(isPageOneLine(rows, 10));
    ASSERT_EQ(rows.count(), 3u);
    const std::vector<int> expected[] = {{0, 0, 50, 50}, {70, 70, 104, 104}, {120, 120, 155, 155}};
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(yEdges(rows[i]), expected[i]);

    // Heights 20 10 20 10 leave four rows: the answer is false and the rows stay.
    HorizontalBandList four = horizontalList({levelBand(0, 99, 0, 19, 0), levelBand(0, 99, 30, 39, 0),
                                              levelBand(0, 99, 50, 69, 0), levelBand(0, 99, 80, 89, 0)});
    EXPECT_FALSE(isPageOneLine(four, 10));
    ASSERT_EQ(four.count(), 4u);
    EXPECT_EQ(yEdges(four[1]), (std::vector<int>{30, 30, 39, 39}));

    HorizontalBandList none;
    EXPECT_FALSE(isPageOneLine(none, 10));
}

TEST(Rows, NarrowPagesThatAreNotOneLineGoOn) {
    // Characters 12 rows apart fuse as one line (up to 16) though not in the later fusion (up
    // to 9); the short block stays apart and the speck, kept until then, is dropped (below 7).
    std::vector<Rect> rects = {{20, 39, 150, 175}, {25, 30, 250, 252}};
    for (int y = 20; y < 100; y += 28) rects.push_back({20, 39, y, y + 15});
    const Found f = rowsOf(drawn(60, 300, rects), 30, 20);
    EXPECT_EQ(typesOf(f.rows), (std::vector<int>{1, 4})) << f.trace;
    EXPECT_EQ(dumpedLines(f.trace, "Rows after fusion:\n"), 3);
    EXPECT_EQ(dumpedLines(f.trace, "Rows found:\n"), 2);

    // Ink lower than one character pitch is no line, whatever the rows.
    const Found g = rowsOf(drawn(60, 300, {{20, 39, 100, 114}}), 30, 20);
    EXPECT_EQ(typesOf(g.rows), (std::vector<int>{4})) << g.trace;
    EXPECT_NE(g.trace.find("Rows found:\n"), std::string::npos);
}

TEST(Rows, HorizontalLinesAreNeitherFusedNorDropped) {
    // Horizontal lines 8 rows apart, one taller than waveY, one very low, four centred on
    // column 100 and a short last one: 4 of 5 within trunc(waveX) of the mean centre 88.
    const GreyImage image = drawn(200, 300, {{40, 160, 40, 51}, {50, 150, 60, 71}, {30, 170, 80, 105},
                                             {60, 140, 114, 118}, {20, 60, 127, 138}});
    const Found f = rowsOf(image, 15, 20);
    EXPECT_TRUE(f.horizontalLines);
    EXPECT_EQ(typesOf(f.rows), (std::vector<int>{4, 4, 5, 4, 4})) << f.trace;
    EXPECT_NE(f.trace.find("Rows are horizontal lines.\n"), std::string::npos);
    EXPECT_EQ(f.trace.find("Rows after fusion:"), std::string::npos);

    // With waveY no longer above waveX the test is not made: the rows fuse into one tier.
    const Found g = rowsOf(image, 20, 20);
    EXPECT_FALSE(g.horizontalLines);
    EXPECT_EQ(typesOf(g.rows), (std::vector<int>{1})) << g.trace;

    // Ragged lines, centres 100 40 70 100 40, mean 70: 1 of 5 aligned is too few.
    const Found r = rowsOf(drawn(200, 300, {{20, 180, 40, 51}, {20, 60, 60, 71}, {20, 120, 80, 105},
                                            {20, 180, 114, 118}, {20, 60, 127, 138}}), 15, 20);
    EXPECT_FALSE(r.horizontalLines);
    EXPECT_EQ(typesOf(r.rows), (std::vector<int>{1})) << r.trace;
}

TEST(RowShapes, InkExtentAndInkColumnsSeeOnlyDarkPixelsBetweenTheEdges) {
    const GreyImage image = drawn(60, 60, {{10, 10, 5, 5, 106}, {50, 50, 8, 8, 0}, {30, 30, 20, 20, 107},
                                           {25, 25, 40, 40, 20}, {40, 40, 44, 44, 21}});
    int a = 0, b = 0;
    inkExtentY(uprightBand(0, 59, 0, 59, 0), image, a, b);
    EXPECT_EQ(std::pair(a, b), std::pair(5, 44));
    // A slanted band whose right edge runs from x 40 at the top to 59 at the bottom: the dot at
    // (50, 8) lies outside it.
    VerticalBand slanted = uprightBand(20, 40, 0, 59, 0);
    slanted.xRightBottom = 59;
    inkExtentY(slanted, image, a, b);
    EXPECT_EQ(std::pair(a, b), std::pair(40, 44));
    inkExtentY(uprightBand(0, 59, 45, 59, 0), image, a, b);
    EXPECT_EQ(std::pair(a, b), std::pair(-1, -1));

    rowInkCentreX(levelBand(0, 59, 0, 59, 0), image, a, b);
    EXPECT_EQ(std::pair(a, b), std::pair(25, 50));
    HorizontalBand low = levelBand(0, 59, 30, 50, 0);
    rowInkCentreX(low, image, a, b);
    EXPECT_EQ(std::pair(a, b), std::pair(25, 25));
    low.yTopLeft = low.yBottomLeft = 55;  // the top edge climbs from 55 to 30 across the row
    rowInkCentreX(low, image, a, b);
    EXPECT_EQ(std::pair(a, b), std::pair(-1, -1));
}
