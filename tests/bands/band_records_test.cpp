#include "bands/band_records.h"

#include <gtest/gtest.h>

#include "bands/band_geometry.h"
#include "test_support.h"

namespace {

HorizontalBand row(int top, int bottom, int type = 1) { return levelBand(0, 99, top, bottom, type); }

}  // namespace

TEST(BandRecords, CopiesAreDeepDownTheNesting) {
    VerticalBand page;
    page.xRightTop = 50;
    page.rows().append(row(10, 20));
    page.rows()[0].columns().append(VerticalBand());
    page.line().typicalCharHeight = 30;

    VerticalBand copy(page);
    copy.rows()[0].yTopLeft = 99;
    copy.rows()[0].columns()[0].type = 4;
    copy.line().typicalCharHeight = 1;
    EXPECT_EQ(page.rows()[0].yTopLeft, 10);
    EXPECT_EQ(page.rows()[0].columns()[0].type, 0);
    EXPECT_EQ(page.line().typicalCharHeight, 30);
    EXPECT_EQ(copy.rows().count(), 1u);
    EXPECT_EQ(copy.xRightTop, 50);

    VerticalBand bare;
    copy = bare;  // a source without rows or line record removes the target's
    EXPECT_FALSE(copy.hasRows());
    EXPECT_FALSE(copy.hasLine());

    VerticalBand fresh;
    EXPECT_EQ(fresh.line().lineGroup, -1);
    EXPECT_EQ(fresh.line().headBlanks, 0);
}

TEST(BandRecords, ListEditsMoveBandsAndKeepTheOrder) {
    HorizontalBandList rows = horizontalList({row(0, 1), row(10, 11)});
    rows.insertAt(1, row(5, 6));
    ASSERT_EQ(rows.count(), 3u);
    EXPECT_EQ(rows[1].yTopLeft, 5);
    EXPECT_EQ(rows[2].yTopLeft, 10);
    rows.insertAt(0, rows[2]);  // inserting an element of the list itself
    EXPECT_EQ(rows[0].yTopLeft, 10);
    EXPECT_EQ(rows[3].yTopLeft, 10);

    rows.removeAt(3);  // the last index only lowers the count
    EXPECT_EQ(rows.count(), 3u);
    EXPECT_EQ(rows[3].yTopLeft, 10);
    rows.removeAt(0);
    EXPECT_EQ(rows.count(), 2u);
    EXPECT_EQ(rows[0].yTopLeft, 0);
    EXPECT_EQ(rows[1].yTopLeft, 5);

    VerticalBandList pages;
    pages.append(VerticalBand());
    pages[0].rows().append(row(1, 2));
    pages.setCount(0);  // the slot keeps its nested list until it is reused
    ASSERT_TRUE(pages[0].hasRows());
    EXPECT_EQ(pages[0].rows().count(), 1u);

    VerticalBandList a = verticalList({VerticalBand()});
    a.appendAll(verticalList({uprightBand(0, 1, 0, 1, 3)}));
    EXPECT_EQ(typesOf(a), (std::vector<int>{0, 3}));
}

TEST(BandGeometry, EdgesRoundHalfUpAndWhiteningStaysInsideTheClip) {
    EXPECT_EQ(edgeAt(50, 0, 10, 100, 20), 15);
    EXPECT_EQ(edgeAt(5, 0, 10, 100, 20), 11);  // 10.5 rounds up
    EXPECT_EQ(edgeAt(7, 7, 3, 7, 9), 3);      // a one-row edge sits at its top x

    GreyImage image = flat(10, 4, 0), companion = image;
    image.companion = &companion;
    const HorizontalBand clip = levelBand(0, 7, 0, 3, 0);
    VerticalBand slanted = uprightBand(2, 4, 0, 0, 0);
    slanted.xLeftBottom = 5;
    slanted.xRightBottom = 9;  // past the clip's right edge
    whitenVerticalBand(clip, slanted, image, true);
    std::string rows;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 10; ++x) rows += image.at(x, y) ? 'w' : '.';
        rows += '/';
    }
    EXPECT_EQ(rows, "..www...../...wwww.../....wwww../.....www../");
    EXPECT_EQ(companion.at(5, 3), 255);
    EXPECT_EQ(companion.at(8, 3), 0);
}
