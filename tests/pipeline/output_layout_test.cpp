#include "pipeline/output_layout.h"

#include "bands/band_geometry.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

VerticalBand page(int left, int right, int top = 0, int bottom = 1399) {
    return uprightBand(left, right, top, bottom, 2);
}

HorizontalBand band(int left, int right, int top, int bottom, int type = 0) {
    return levelBand(left, right, top, bottom, type);
}

VerticalBandList pagesOf(std::initializer_list<VerticalBand> list) {
    VerticalBandList pages;
    for (const auto& p : list) pages.append(p);
    return pages;
}

int shift(const VerticalBandList& pages, int seamX, bool single, bool& divide) {
    return horizontalShift(pages, seamX, 2000, single, divide);
}

}  // namespace

TEST(HorizontalShift, ASeamCentresTheSpreadAndSplitsItThere) {
    bool divide = true;
    EXPECT_EQ(shift(VerticalBandList(), 1010, false, divide), 10);
    EXPECT_TRUE(divide);
    HorizontalBand r1, r2;
    outputBands(band(0, 1999, 0, 1399), 2000, 10, true, r1, r2);
    EXPECT_EQ(r1.xLeft, 10);
    EXPECT_EQ(r1.xRight, 1010);
    EXPECT_EQ(r2.xLeft, 1011);
    EXPECT_EQ(r2.xRight, 2009);
    EXPECT_EQ(r2.yBottomLeft, 1399);

    outputBands(band(0, 1999, 0, 1399), 2000, -4, false, r1, r2);
    EXPECT_EQ(r1.xLeft, -4);
    EXPECT_EQ(r1.xRight, 1995);
}

TEST(HorizontalShift, FollowsThePageThatStraddlesTheMiddle) {
    bool divide = true;
    EXPECT_EQ(shift(pagesOf({page(100, 600), page(700, 1050)}), -1, false, divide), 75);
    EXPECT_TRUE(divide);
    EXPECT_EQ(shift(pagesOf({page(100, 800), page(950, 1600)}), -1, false, divide), -225);
    EXPECT_TRUE(divide);
    // No page across the middle: the narrower of the outer and inner gaps on each side.
    EXPECT_EQ(shift(pagesOf({page(150, 950), page(1100, 1900)}), -1, false, divide), 50);
    EXPECT_EQ(shift(pagesOf({page(1100, 1900)}), -1, false, divide), 0);
    EXPECT_TRUE(divide);
}

TEST(HorizontalShift, TextWiderThanHalfTheSheetIsWrittenWhole) {
    bool divide = true;
    EXPECT_EQ(shift(pagesOf({page(100, 1200)}), -1, false, divide), 0);
    EXPECT_FALSE(divide);
    divide = true;
    EXPECT_EQ(shift(pagesOf({page(900, 1950)}), -1, false, divide), 0);
    EXPECT_FALSE(divide);
    divide = false;
    EXPECT_EQ(shift(pagesOf({page(100, 600)}), 1200, true, divide), 0) << "single sheets stay put";
    EXPECT_EQ(shift(VerticalBandList(), -1, false, divide), 0);
}

TEST(FitToPages, WithoutRowsTheBandShrinksToSixtyPercent) {
    HorizontalBand b = band(0, 999, 0, 1999);
    fitBandToPages(b, pagesOf({page(100, 900)}), 0.6f);
    EXPECT_EQ(b.xLeft, 200);
    EXPECT_EQ(b.xRight, 799);
    EXPECT_EQ(b.yTopLeft, 400);
    EXPECT_EQ(b.yTopRight, 400);
    EXPECT_EQ(b.yBottomLeft, 1599);
    EXPECT_EQ(b.yBottomRight, 1599);
}

TEST(FitToPages, TheTextBoxSetsTheFactorSymmetricallyAboutTheCentre) {
    VerticalBandList pages = pagesOf({page(100, 900), page(1200, 1900)});
    pages[0].rows().append(band(100, 900, 300, 800, 1));
    pages[0].rows().append(band(100, 900, 900, 1700, 1));
    pages[1].rows().append(band(1200, 1900, 0, 1999, 1));  // outside the band: ignored
    HorizontalBand b = band(0, 999, 0, 1999);
    fitBandToPages(b, pages, 0.6f);
    EXPECT_EQ(b.xLeft, 99);
    EXPECT_EQ(b.xRight, 900);
    EXPECT_EQ(b.yTopLeft, 198);
    EXPECT_EQ(b.yBottomLeft, 1801);
}

TEST(Compose, CutsTheBandAndPaintsWhatLiesOutsideTheSheetWhite) {
    GreyImage sheet, out;
    fillImage(sheet, 4, 3, [](int x, int y) { return static_cast<unsigned char>(10 * y + x); });
    ASSERT_TRUE(compose(sheet, band(-1, 4, 1, 3), out));
    ASSERT_EQ(out.width, 6);
    ASSERT_EQ(out.height, 3);
    EXPECT_EQ(out.at(0, 0), 255);
    EXPECT_EQ(out.at(1, 0), 10);
    EXPECT_EQ(out.at(4, 1), 23);
    EXPECT_EQ(out.at(5, 1), 255);
    EXPECT_EQ(out.at(2, 2), 255);

    ASSERT_TRUE(compose(sheet, band(10, 12, -5, -1), out));
    EXPECT_EQ(out.at(1, 1), 255);
    EXPECT_FALSE(compose(sheet, band(5, 4, 0, 2), out)) << "an empty band gives no image";
    EXPECT_FALSE(compose(sheet, band(0, 99999, 0, 99999), out)) << "nor does a huge one";
}

TEST(EraseOutsideText, OnlyTheColumnsOfTheTiersKeepTheirInk) {
    GreyImage image;
    fillImage(image, 20, 10, [](int, int) { return 0; });
    VerticalBandList pages = pagesOf({page(5, 14, 0, 9)});
    HorizontalBand tier = band(5, 14, 2, 7, 1);
    tier.columns().append(uprightBand(8, 10, 2, 7, 4));
    pages[0].rows().append(tier);
    eraseOutsidePages(image, pages, band(0, 19, 0, 9));
    std::string ink;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            if (image.at(x, y) == 0) ink += std::to_string(x) + "," + std::to_string(y) + " ";
    // The column keeps all its ink, its edge pixels included; everything around it is white.
    std::string expected;
    for (int y = 2; y <= 7; ++y)
        for (int x = 8; x <= 10; ++x) expected += std::to_string(x) + "," + std::to_string(y) + " ";
    EXPECT_EQ(ink, expected);

    // A column that leans keeps the ink that leans past its top x.
    GreyImage leaning;
    fillImage(leaning, 40, 60, [](int x, int y) {
        const int left = edgeAt(y, 0, 10, 59, 15);
        return static_cast<unsigned char>(x >= left && x <= left + 5 ? 0 : 255);
    });
    VerticalBandList leaningPages = pagesOf({page(2, 37, 0, 59)});
    HorizontalBand wholeTier = band(2, 37, 0, 59, 1);
    VerticalBand column = uprightBand(10, 15, 0, 59, 4);
    column.xLeftBottom = 15;
    column.xRightBottom = 20;
    wholeTier.columns().append(column);
    leaningPages[0].rows().append(wholeTier);
    int before = 0, after = 0;
    for (uint32_t i = 0; i < leaning.size(); ++i) before += leaning.pixels[i] == 0;
    eraseOutsidePages(leaning, leaningPages, band(0, 39, 0, 59));
    for (uint32_t i = 0; i < leaning.size(); ++i) after += leaning.pixels[i] == 0;
    EXPECT_EQ(after, before);
}

TEST(EraseOutsideText, HeaderRowsAreDroppedInOrder) {
    VerticalBandList pages = pagesOf({page(0, 9)});
    for (int type : {4, 1, 4, 5, 1}) pages[0].rows().append(band(0, 9, 0, 1, type));
    VerticalBandList bare = pagesOf({page(0, 9)});
    removeHeaderRows(pages);
    removeHeaderRows(bare);
    ASSERT_EQ(pages[0].rows().count(), 3u);
    EXPECT_EQ(pages[0].rows()[0].type, 1);
    EXPECT_EQ(pages[0].rows()[1].type, 5);
    EXPECT_EQ(pages[0].rows()[2].type, 1);
    EXPECT_EQ(bare[0].rows().count(), 0u);
}
