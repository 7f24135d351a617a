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
