#include "prep/frame_lines.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

int inkIn(const GreyImage& image, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += image.at(x, y) < 128;
    return n;
}

}  // namespace

TEST(FrameLines, LinesAlongTheSidesGoAndTheTextStays) {
    // A slanted line near the top (2 rows down over the sheet's width), a straight one near the
    // left side, a short rule near the bottom and text blocks close to the top.
    GreyImage image;
    fillImage(image, 800, 1000, [](int x, int y) {
        const int top = 40 + x / 400;
        const bool topLine = y >= top && y < top + 3;
        const bool leftLine = x >= 30 && x < 33 && y > 20 && y < 980;
        const bool shortRule = y >= 950 && y < 953 && x >= 100 && x < 400;
        const bool text = x >= 100 && x < 700 && y >= 60 && y < 900 && (x / 20) % 2 == 0 && (y / 25) % 2 == 0;
        return static_cast<unsigned char>(topLine || leftLine || shortRule || text ? 0 : 255);
    });
    const int text = inkIn(image, 100, 60, 699, 899);
    EXPECT_EQ(removeFrameLines(image), 2);
    EXPECT_EQ(inkIn(image, 0, 30, 799, 50), 0) << "the top line";
    EXPECT_EQ(inkIn(image, 25, 51, 40, 999), 0) << "the left line";
    EXPECT_EQ(inkIn(image, 100, 950, 399, 952), 900) << "a rule along a third of the side is no frame";
    EXPECT_EQ(inkIn(image, 100, 60, 699, 899), text);
}

TEST(FrameLines, ASheetWithoutLinesIsUntouched) {
    GreyImage image;
    fillImage(image, 300, 200, [](int x, int y) { return static_cast<unsigned char>((3 * x + 5 * y) % 7 ? 255 : 0); });
    const GreyImage before(image);
    EXPECT_EQ(removeFrameLines(image), 0);
    EXPECT_TRUE(std::equal(image.pixels.begin(), image.pixels.end(), before.pixels.begin()));
}
