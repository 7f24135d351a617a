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
    dropSeamsAndSlivers(pages, 50, seamX, 1000);
    EXPECT_EQ(seamX, (480 + 484 + 520 + 520) / 4);
    ASSERT_EQ(pages.count(), 2u) << "25 columns (0.5 waveX) is too narrow for a page, 26 is not";
    EXPECT_EQ(pages[1].xLeftTop, 700);
}

TEST(PageDecisions, ABookEdgeNearASideIsNoSeamAndTakesTheFacingPageStripWithIt) {
    // A sliver of the facing page, the dark edge of the book, then the page itself.
    VerticalBandList left = listOf({band(10, 60, 2), band(100, 130, 3), band(200, 980, 2)});
    int seamX = -1;
    dropSeamsAndSlivers(left, 50, seamX, 1000);
    EXPECT_EQ(seamX, -1) << "a seam at a tenth of the width would move the page by 40 % of it";
    ASSERT_EQ(left.count(), 1u);
    EXPECT_EQ(left[0].xLeftTop, 200);

    VerticalBandList right = listOf({band(20, 800, 2), band(880, 900, 3), band(930, 990, 2)});
    seamX = -1;
    dropSeamsAndSlivers(right, 50, seamX, 1000);
    EXPECT_EQ(seamX, -1);
    ASSERT_EQ(right.count(), 1u);
    EXPECT_EQ(right[0].xRightTop, 800);

    VerticalBandList spread = listOf({band(20, 300, 2), band(260, 280, 3), band(300, 980, 2)});
    seamX = -1;
    dropSeamsAndSlivers(spread, 50, seamX, 1000);
    EXPECT_EQ(seamX, 270) << "at a quarter of the width a seam still parts a spread";
    EXPECT_EQ(spread.count(), 2u);
}

// A sheet of 1000 x 300: a facing-page strip, a dark rule at 100-110 found as a seam, text lines
// at 120-200 that the seam took in, then the page. With darkRemains, 120-200 holds the broken,
// mostly black remains of a book's edge instead.
TEST(PageDecisions, WhatABookEdgeTookInGoesBackToThePageWhenItIsNoDarkerThanText) {
    const auto sheet = [](bool darkRemains) {
        return inked(1000, 300, [darkRemains](int x, int y) {
            const bool textLine = (x / 40) % 2 == 1 && (x * 7 + y * 13) % 11 == 0;
            if (x >= 100 && x < 110) return true;
            if (x >= 120 && x <= 200) return darkRemains ? (x + y) % 5 != 0 : textLine;
            return x >= 210 && textLine;
        });
    };
    for (const bool darkRemains : {false, true}) {
        SCOPED_TRACE(darkRemains ? "dark remains" : "text lines");
        const GreyImage image = sheet(darkRemains);
        const VerticalBandList seamCores = listOf({uprightBand(100, 110, 0, 299, 3)});
        VerticalBandList pages = listOf({uprightBand(10, 60, 0, 299, 2), uprightBand(100, 200, 0, 299, 3),
                                         uprightBand(210, 980, 0, 299, 2)});
        int seamX = -1;
        VerticalBandList bookEdges;
        dropSeamsAndSlivers(pages, 50, seamX, 1000, &bookEdges);
        ASSERT_EQ(bookEdges.count(), 1u);
        EXPECT_EQ(bookEdges[0].xRightTop, 200);
        giveBackWhatBookEdgesTookIn(pages, bookEdges, seamCores, image);
        ASSERT_EQ(pages.count(), 1u);
        const int left = darkRemains ? 210 : 111;
        EXPECT_EQ(xEdges(pages[0]), (std::vector<int>{left, 980, left, 980}));
    }

    // Mirrored: an edge at the right side made of two seams gives the page back what it took in
    // on the page's side of the nearer one.
    const GreyImage image = inked(1000, 300, [](int x, int y) {
        return (x >= 890 && x <= 900) || (x >= 960 && x <= 970) ||
               (((x / 40) % 2 == 1 && x < 880) && (x * 7 + y * 13) % 11 == 0);
    });
    VerticalBandList pages = listOf({uprightBand(20, 790, 0, 299, 2), uprightBand(800, 970, 0, 299, 3)});
    int seamX = -1;
    VerticalBandList bookEdges;
    dropSeamsAndSlivers(pages, 50, seamX, 1000, &bookEdges);
    giveBackWhatBookEdgesTookIn(pages, bookEdges,
                                listOf({uprightBand(890, 900, 0, 299, 3), uprightBand(960, 970, 0, 299, 3)}), image);
    ASSERT_EQ(pages.count(), 1u);
    EXPECT_EQ(xEdges(pages[0]), (std::vector<int>{20, 889, 20, 889}));
    EXPECT_EQ(seamX, -1);
}

TEST(PageDecisions, ANarrowStripAtASideNextToAWidePageIsTheFacingPage) {
    int seamX = -1;
    VerticalBandList strip = listOf({band(100, 900, 2), band(930, 990, 2)});
    dropSeamsAndSlivers(strip, 50, seamX, 1000);
    ASSERT_EQ(strip.count(), 1u);
    EXPECT_EQ(strip[0].xLeftTop, 100);

    VerticalBandList leftStrip = listOf({band(5, 90, 2), band(150, 900, 2)});
    dropSeamsAndSlivers(leftStrip, 50, seamX, 1000);
    ASSERT_EQ(leftStrip.count(), 1u);
    EXPECT_EQ(leftStrip[0].xLeftTop, 150);

    VerticalBandList inside = listOf({band(100, 700, 2), band(800, 880, 2)});
    dropSeamsAndSlivers(inside, 50, seamX, 1000);
    EXPECT_EQ(inside.count(), 2u) << "a band away from the side is a page's own";

    VerticalBandList peers = listOf({band(650, 880, 2), band(910, 995, 2)});
    dropSeamsAndSlivers(peers, 50, seamX, 1000);
    EXPECT_EQ(peers.count(), 2u) << "next to a page less than three times as wide";
    EXPECT_EQ(seamX, -1);
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
