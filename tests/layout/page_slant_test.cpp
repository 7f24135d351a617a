#include <gtest/gtest.h>

#include <cmath>

#include "layout/page_slant.h"
#include "test_support.h"

namespace {

// A page 600 columns by 1200 rows holding ten lines of 30 x 30 glyphs at pitch 40, every 50
// columns from column 100, whose middles move right by slant columns from the top row to the
// bottom; with a header, a short upright run of ink above the right end of the lines.
GreyImage slantedLines(int slant, bool header) {
    GreyImage image;
    fillImage(image, 600, 1200, [&](int x, int y) {
        if (header && y >= 20 && y < 50 && x >= 520 && x < 560) return static_cast<unsigned char>(0);
        if (y < 100 || y >= 1100 || (y - 100) % 40 >= 30) return static_cast<unsigned char>(255);
        const double shift = slant * y / 1199.0;
        for (int k = 0; k < 10; ++k) {
            const double left = 100 + 50 * k + shift - 15;
            if (x >= left && x < left + 30) return static_cast<unsigned char>(0);
        }
        return static_cast<unsigned char>(255);
    });
    return image;
}

}  // namespace

TEST(PageSlant, TheSlantOfTheLinesIsMeasuredOnTheirInkWhateverStandsBesideThem) {
    for (int slant : {-36, 0, 23}) {
        const GreyImage image = slantedLines(slant, true);
        EXPECT_NEAR(measurePageSlant(image, 40, 590, 0, 1199, 60), slant, 1) << slant;
    }
    // A page without ink has no slant to tell.
    GreyImage blank;
    fillImage(blank, 600, 1200, [](int, int) { return static_cast<unsigned char>(255); });
    EXPECT_EQ(measurePageSlant(blank, 0, 599, 0, 1199, 60), 0);
}

TEST(PageSlant, APageWhoseEdgesWouldFanItsLinesIsLaidAlongItsText) {
    // Lines slanting 24 columns down the page; the page's left edge came upright from a sliver
    // (column 60), its right edge from a header and a page number (560 at the top, 540 at the
    // foot): both take the text's slant, each moved out at one end so that the page still holds
    // every column it held.
    const GreyImage image = slantedLines(24, false);
    VerticalBandList pages = verticalList({uprightBand(60, 560, 0, 1199, 2)});
    pages[0].xRightBottom = 540;
    slantPageEdgesAsText(pages, image);
    const std::vector<int> edges = xEdges(pages[0]);
    const int slant = edges[2] - edges[0];
    EXPECT_NEAR(slant, 24, 1);
    EXPECT_EQ(edges[3] - edges[1], slant);
    // The left edge keeps its foot and the right edge its head, each the end that lay farther out.
    EXPECT_EQ(edges[2], 60);
    EXPECT_EQ(edges[1], 560);

    // Edges that run alike are left alone, even off the text's slant: they do not fan the page.
    VerticalBandList alike = verticalList({uprightBand(60, 580, 0, 1199, 2)});
    alike[0].xLeftBottom = 65;
    alike[0].xRightBottom = 586;
    slantPageEdgesAsText(alike, image);
    EXPECT_EQ(xEdges(alike[0]), (std::vector<int>{60, 580, 65, 586}));

    // An edge that would pass the neighbouring page keeps its own slant.
    VerticalBandList spread = verticalList({uprightBand(0, 30, 0, 1199, 2), uprightBand(40, 580, 0, 1199, 2)});
    spread[1].xRightBottom = 560;
    slantPageEdgesAsText(spread, image);
    EXPECT_EQ(xEdges(spread[1])[0], 40);
    EXPECT_EQ(xEdges(spread[1])[2], 40);
}
