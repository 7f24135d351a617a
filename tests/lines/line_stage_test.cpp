#include <gtest/gtest.h>

#include <vector>

#include "lines/line_stage.h"
#include "test_support.h"

namespace {

// A glyph-like mark in a 30 x 30 cell: three bars.
bool glyphAt(int x, int y, int left, int top) {
    if (x < left || x >= left + 30 || y < top || y >= top + 30) return false;
    const int dx = x - left, dy = y - top;
    return dy < 4 || dy >= 26 || (dx >= 13 && dx < 17);
}

// The mean row of the ink in columns x0 .. x1.
double meanInkRow(const GreyImage& image, int x0, int x1) {
    double sum = 0;
    int n = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = x0; x <= x1; ++x)
            if (image.at(x, y) < 128) {
                sum += y;
                ++n;
            }
    return n > 0 ? sum / n : -1;
}

}  // namespace

TEST(LineStage, ANarrowBandAfterALineMovesWithTheLine) {
    // Two lines of ten glyphs at pitch 36; the left one starts 10 rows lower than the right one,
    // so the grid's top lies between them and each line is moved 5 rows towards it. A small
    // mark in a narrow band right of the left line (ruby) must move with that line.
    GreyImage image;
    fillImage(image, 300, 520, [](int x, int y) {
        for (int i = 0; i < 10; ++i) {
            if (glyphAt(x, y, 45, 30 + 36 * i)) return static_cast<unsigned char>(0);
            if (glyphAt(x, y, 185, 20 + 36 * i)) return static_cast<unsigned char>(0);
        }
        const bool ruby = x >= 82 && x <= 88 && y >= 100 && y <= 110;
        return static_cast<unsigned char>(ruby ? 0 : 255);
    });
    const double rubyBefore = meanInkRow(image, 80, 90);
    HorizontalBand tier = levelBand(0, 299, 0, 519, 1);
    VerticalBandList columns;
    columns.append(uprightBand(40, 79, 0, 519, 4));
    columns.append(uprightBand(80, 90, 0, 519, 5));
    columns.append(uprightBand(180, 219, 0, 519, 4));
    TraceCapture quiet;
    ASSERT_EQ(analyzeLines(image, 70.0, 36.0, columns, tier, 0, 0.0f, LayoOptions()), 0);
    // The columns keep their widths (one group of equal lines), so the narrow band is still
    // where it was across the tier. The left line's top moves up to the grid, and the mark, near
    // that top, moves with it; placed apart from its line it would not move at all.
    const double rubyAfter = meanInkRow(image, columns[1].xLeftTop, columns[1].xRightTop);
    int topAfter = -1;
    for (int y = 0; y < image.height && topAfter < 0; ++y)
        for (int x = columns[0].xLeftTop; x <= columns[0].xRightTop; ++x)
            if (image.at(x, y) < 128) topAfter = y;
    EXPECT_LT(topAfter, 30) << quiet.text();
    EXPECT_NEAR(rubyAfter - rubyBefore, topAfter - 30, 2.5) << quiet.text();
}

TEST(LineStage, ABlockWithNoTextLineIsCarriedOverAsItIsAndNotWhitened) {
    // Two lines of glyphs and, between them, a picture wider than two line pitches: a frame 3
    // pixels thick round dots of ink, slanted by a pixel every 40 rows. No text line is found in
    // it, so it is put back as it stood and covered by one row that keeps the whitening away.
    auto picture = [](int x, int y) {
        const int left = 100 + y / 40, right = 240 + y / 40;
        if (y < 120 || y > 400 || x < left || x > right) return false;
        const bool frame = x < left + 3 || x > right - 3 || y < 123 || y > 397;
        const int u = x - left, v = y - 120;
        const bool dot = (u / 12 + v / 12) % 3 == 0 && u % 12 < 7 && v % 12 < 7;
        return frame || dot;
    };
    GreyImage image;
    fillImage(image, 340, 520, [&](int x, int y) {
        for (int i = 0; i < 12; ++i)
            if (glyphAt(x, y, 45, 30 + 36 * i) || glyphAt(x, y, 275, 30 + 36 * i)) return static_cast<unsigned char>(0);
        return static_cast<unsigned char>(picture(x, y) ? 0 : 255);
    });
    HorizontalBand tier = levelBand(0, 339, 0, 519, 1);
    VerticalBandList columns;
    columns.append(uprightBand(40, 79, 0, 519, 4));
    columns.append(uprightBand(95, 255, 0, 519, 2));
    columns.append(uprightBand(270, 309, 0, 519, 4));
    const GreyImage before = image;
    TraceCapture trace;
    ASSERT_EQ(analyzeLines(image, 70.0, 36.0, columns, tier, 0, 0.0f, LayoOptions()), 0);
    ASSERT_EQ(columns[1].type, 2);
    const VerticalBand& block = columns[1];
    ASSERT_EQ(block.xLeftTop, 95) << "the lines keep their widths and the block its place";
    int changed = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = block.xLeftTop; x <= block.xRightTop; ++x) changed += image.at(x, y) != before.at(x, y);
    EXPECT_EQ(changed, 0) << trace.text();
    ASSERT_TRUE(block.rowsIfAny());
    ASSERT_EQ(block.rowsIfAny()->count(), 1u);
    EXPECT_EQ((*block.rowsIfAny())[0].type, kRowKeptWhole);
}
