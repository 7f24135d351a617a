#include "layout/page_finder.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

VerticalBand band(int left, int right, int type) { return uprightBand(left, right, 0, 499, type); }

VerticalBandList listOf(std::initializer_list<VerticalBand> bands) {
    VerticalBandList list;
    for (const VerticalBand& b : bands) list.append(b);
    return list;
}

}  // namespace

TEST(PageDecisions, AMediumGapSeparatesPagesOnlyNearTheMiddleOrTheEdges) {
    const double waveX = 50;
    auto merge = [waveX](int gapStart, int gap) {
        return shouldMergePages(band(0, gapStart - 1, 2), band(gapStart - 1 + gap, 999, 2), waveX, 1000);
    };
    EXPECT_FALSE(merge(450, 100)) << "2 waveX at half the width: two pages";
    EXPECT_TRUE(merge(200, 100)) << "the same gap at a quarter: one page";
    EXPECT_TRUE(merge(465, 70)) << "1.4 waveX joins anywhere";
    EXPECT_FALSE(merge(200, 113)) << "wider than 2.25 waveX never joins";
    EXPECT_FALSE(merge(20, 100)) << "near the left edge";
}

TEST(PageDecisions, SeamsSwallowTheirNeighboursOnlyWhenClose) {
    VerticalBandList seams = listOf({band(100, 110, 3), band(400, 410, 3)});
    fusePages(seams, 50, 1000);
    ASSERT_EQ(seams.count(), 1u) << "two seams merge whatever the gap";
    EXPECT_EQ(seams[0].xRightTop, 410);

    VerticalBandList close = listOf({band(100, 110, 3), band(125, 135, 2), band(150, 160, 3)});
    fusePages(close, 50, 1000);
    ASSERT_EQ(close.count(), 1u) << "a band within 0.3 waveX of a seam goes into it";
    EXPECT_EQ(close[0].type, 3);
    EXPECT_EQ(close[0].xLeftTop, 100);
    EXPECT_EQ(close[0].xRightTop, 160);

    VerticalBandList apart = listOf({band(100, 110, 3), band(131, 140, 2), band(161, 170, 3)});
    fusePages(apart, 50, 1000);
    EXPECT_EQ(apart.count(), 3u) << "20 columns away is more than 0.3 waveX";

    VerticalBandList wide = listOf({band(100, 110, 3), band(120, 300, 2)});
    fusePages(wide, 50, 1000);
    EXPECT_EQ(wide.count(), 2u) << "together wider than 3 waveX";
}

TEST(PageDecisions, CleaningKeepsTheSeamPositionAndDropsSlivers) {
    VerticalBandList pages = listOf({band(10, 400, 2), band(480, 520, 3), band(600, 624, 2), band(700, 725, 2)});
    pages[1].xLeftBottom = 484;  // a slanted seam
    int seamX = -1;
    dropSeamsAndSlivers(pages, 50, seamX);
    EXPECT_EQ(seamX, (480 + 484 + 520 + 520) / 4);
    ASSERT_EQ(pages.count(), 2u) << "25 columns (0.5 waveX) is too narrow for a page, 26 is not";
    EXPECT_EQ(pages[1].xLeftTop, 700);
}

TEST(PageDecisions, ASeamIsAStraightDarkEdge) {
    GreyImage image;
    fillImage(image, 200, 300, [](int x, int y) {
        const bool edge = x >= 50 + y / 60 && x < 56 + y / 60;
        const bool text = x >= 120 && x < 180 && (x * 7 + y * 13) % 23 == 0;
        return static_cast<unsigned char>(edge || text ? 0 : 255);
    });
    EXPECT_TRUE(isSeam(uprightBand(40, 70, 0, 299, 0), image, 50));
    EXPECT_FALSE(isSeam(uprightBand(110, 190, 0, 299, 0), image, 50)) << "scattered ink jumps about";
    EXPECT_FALSE(isSeam(uprightBand(0, 30, 0, 299, 0), image, 50)) << "no ink at all";
}

TEST(PageDecisions, TwoPagesOfALandscapeSheetMeetAtTheMiddleOfTheirGap) {
    VerticalBandList pages;
    pages.append(uprightBand(100, 900, 0, 1399, 2));
    pages.append(uprightBand(1100, 1900, 0, 1399, 2));
    EXPECT_EQ(seamFromGap(pages, 2000, 1400), 1000);
    // Not on a portrait sheet, not with a gap far from the middle, not with three pages.
    EXPECT_EQ(seamFromGap(pages, 2000, 2400), -1);
    pages[1].xLeftTop = pages[1].xLeftBottom = 1500;
    EXPECT_EQ(seamFromGap(pages, 2000, 1400), 1200);
    pages[0].xRightTop = pages[0].xRightBottom = 1300;
    pages[1].xLeftTop = pages[1].xLeftBottom = 1600;
    EXPECT_EQ(seamFromGap(pages, 2000, 1400), -1);
    pages.append(uprightBand(1950, 1990, 0, 1399, 2));
    EXPECT_EQ(seamFromGap(pages, 2000, 1400), -1);
}

TEST(PageDecisions, AShadowedBindingInTheMiddleOfASpreadIsASeam) {
    // A gutter shadow after cleaning: a grey grain whose leftmost dark pixel wanders by more than
    // a tenth of waveX from row to row, so the edge test alone rejects it.
    GreyImage image;
    fillImage(image, 1200, 600, [](int x, int y) {
        const bool grain = x >= 580 && x < 640 && (x * 31 + y * 17) % 5 != 0 && (y % 7 != 0 || x > 600);
        const bool text = x >= 300 && x < 340 && (y / 30) % 2 == 0 && (x + y) % 3 == 0;
        return static_cast<unsigned char>(grain ? 170 - (x + y) % 40 : text ? 0 : 255);
    });
    const VerticalBand shadow = uprightBand(575, 645, 0, 599, 0);
    EXPECT_TRUE(isDarkBinding(shadow, image, 50));
    EXPECT_TRUE(isSeam(shadow, image, 50));
    EXPECT_FALSE(isDarkBinding(uprightBand(295, 345, 0, 599, 0), image, 50)) << "a text column, off-centre";

    // The same grain is no seam on a portrait sheet, nor when it lies outside the middle third.
    GreyImage portrait;
    fillImage(portrait, 1200, 1300, [&](int x, int y) { return image.at(x, y % 600); });
    EXPECT_FALSE(isDarkBinding(uprightBand(575, 645, 0, 1299, 0), portrait, 50));
    EXPECT_FALSE(isDarkBinding(shadow, image, 30)) << "wider than 2 waveX";
}
