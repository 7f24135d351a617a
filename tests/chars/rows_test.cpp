#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chars/rows.h"
#include "test_support.h"

namespace {

struct Rect {
    int x0, x1, y0, y1;
};

// Black rectangles on white, both corners included.
GreyImage drawn(int w, int h, const std::vector<Rect>& rects) {
    return inked(w, h, [&](int x, int y) {
        for (const Rect& r : rects)
            if (x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1) return true;
        return false;
    });
}

struct Found {
    HorizontalBandList rows;
    bool horizontalLines = true;
    std::string trace;
};

Found rowsOf(const GreyImage& image, double waveX, double waveY) {
    Found f;
    TraceCapture capture;
    findRows(f.rows, waveX, waveY, uprightBand(0, image.width - 1, 0, image.height - 1, 2), image,
             f.horizontalLines, 0);
    f.trace = capture.text();
    return f;
}

}  // namespace

TEST(Rows, ABlankPageHasNoRow) {
    const Found f = rowsOf(drawn(100, 100, {}), 16, 14);
    EXPECT_EQ(f.rows.count(), 0u);
    EXPECT_FALSE(f.horizontalLines);
    EXPECT_TRUE(f.trace.ends_with("Rows before fusion:\nNo row found.")) << f.trace;
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

TEST(Rows, SpecksInTheGapBetweenTwoTiersDoNotJoinThem) {
    // Two tiers of eight lines (characters 16 rows tall every 20), 30 rows apart, with three
    // specks in the gap, each within the fusion distance of the next: they would chain the
    // tiers into one. The specks nearer the upper tier stay with it.
    std::vector<Rect> rects = {{100, 103, 199, 202}, {250, 253, 208, 211}, {150, 153, 217, 220}};
    for (int x = 20; x < 400; x += 48) {
        for (int y = 20; y <= 180; y += 20) rects.push_back({x, x + 15, y, y + 15});
        for (int y = 225; y <= 405; y += 20) rects.push_back({x, x + 15, y, y + 15});
    }
    const Found f = rowsOf(drawn(400, 440, rects), 48, 20);
    ASSERT_EQ(typesOf(f.rows), (std::vector<int>{1, 1})) << f.trace;
    EXPECT_GE(f.rows[0].yBottomLeft, 199);
    EXPECT_LE(f.rows[0].yBottomLeft, 212);
    EXPECT_LE(f.rows[1].yTopLeft, 225);
}
