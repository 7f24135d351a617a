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
    EXPECT_EQ(std::tuple(r1.xLeft, r1.xRight, r2.xLeft, r2.xRight), std::tuple(10, 1010, 1011, 2009));
    EXPECT_EQ(r2.yBottomLeft, 1399);
    outputBands(band(0, 1999, 0, 1399), 2000, -4, false, r1, r2);
    EXPECT_EQ(std::pair(r1.xLeft, r1.xRight), std::pair(-4, 1995));
}

TEST(HorizontalShift, FollowsThePageThatStraddlesTheMiddle) {
    bool divide = true;
    EXPECT_EQ(shift(verticalList({page(100, 600), page(700, 1050)}), -1, false, divide), 75);
    EXPECT_TRUE(divide);
    EXPECT_EQ(shift(verticalList({page(100, 800), page(950, 1600)}), -1, false, divide), -225);
    EXPECT_TRUE(divide);
    // No page across the middle: the narrower of the outer and inner gaps on each side.
    EXPECT_EQ(shift(verticalList({page(150, 950), page(1100, 1900)}), -1, false, divide), 50);
    EXPECT_EQ(shift(verticalList({page(1100, 1900)}), -1, false, divide), 0);
    EXPECT_TRUE(divide);
}

TEST(HorizontalShift, TextWiderThanHalfTheSheetIsWrittenWhole) {
    bool divide = true;
    EXPECT_EQ(shift(verticalList({page(100, 1200)}), -1, false, divide), 0);
    EXPECT_FALSE(divide);
    divide = true;
    EXPECT_EQ(shift(verticalList({page(900, 1950)}), -1, false, divide), 0);
    EXPECT_FALSE(divide);
    divide = false;
    EXPECT_EQ(shift(verticalList({page(100, 600)}), 1200, true, divide), 0) << "single sheets stay put";
    EXPECT_EQ(shift(VerticalBandList(), -1, false, divide), 0);
}

TEST(FitToPages, TheTextBoxSetsTheFactorSymmetricallyAboutTheCentre) {
    VerticalBandList pages = verticalList({page(100, 900), page(1200, 1900)});
    pages[0].rows().append(band(100, 900, 300, 800, 1));
    pages[0].rows().append(band(100, 900, 900, 1700, 1));
    pages[1].rows().append(band(1200, 1900, 0, 1999, 1));  // outside the band: ignored
    HorizontalBand b = band(0, 999, 0, 1999);
    fitBandToPages(b, pages, 0.6f);
    EXPECT_EQ(std::tuple(b.xLeft, b.xRight, b.yTopLeft, b.yBottomLeft), std::tuple(99, 900, 198, 1801));
}

TEST(Compose, CutsTheBandAndPaintsWhatLiesOutsideTheSheetWhite) {
    const GreyImage sheet = filled(4, 3, [](int x, int y) { return 10 * y + x; });
    GreyImage out;
    ASSERT_TRUE(compose(sheet, band(-1, 4, 1, 3), out));
    ASSERT_EQ(std::pair(out.width, out.height), std::pair(6, 3));
    const std::vector<int> expected = {255, 10,  11,  12,  13,  255,   // sheet row 1, white on either side
                                       255, 20,  21,  22,  23,  255,   // sheet row 2
                                       255, 255, 255, 255, 255, 255};  // row 3 lies below the sheet
    EXPECT_EQ(std::vector<int>(out.pixels.begin(), out.pixels.end()), expected);

    ASSERT_TRUE(compose(sheet, band(10, 12, -5, -1), out));
    EXPECT_EQ(out.at(1, 1), 255);
    EXPECT_FALSE(compose(sheet, band(5, 4, 0, 2), out)) << "an empty band gives no image";
    EXPECT_FALSE(compose(sheet, band(0, 99999, 0, 99999), out)) << "nor does a huge one";
}

TEST(EraseOutsideText, OnlyTheColumnsOfTheTiersKeepTheirInk) {
    GreyImage image = flat(20, 10, 0);
    VerticalBandList pages = verticalList({page(5, 14, 0, 9)});
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
    GreyImage leaning = inked(40, 60, [](int x, int y) {
        return x >= edgeAt(y, 0, 10, 59, 15) && x <= edgeAt(y, 0, 10, 59, 15) + 5;
    });
    VerticalBandList leaningPages = verticalList({page(2, 37, 0, 59)});
    HorizontalBand wholeTier = band(2, 37, 0, 59, 1);
    VerticalBand column = uprightBand(10, 15, 0, 59, 4);
    column.xLeftBottom = 15;
    column.xRightBottom = 20;
    wholeTier.columns().append(column);
    leaningPages[0].rows().append(wholeTier);
    const int before = darkPixels(leaning, 0, 0, 40, 60);
    eraseOutsidePages(leaning, leaningPages, band(0, 39, 0, 59));
    EXPECT_EQ(darkPixels(leaning, 0, 0, 40, 60), before);
}

namespace {

// Whitens a 100 x 120 image outside one page holding one tier with two text columns, 20 wide at
// 10 .. 29 and 60 .. 79.
void whitenAroundTwoColumns(GreyImage& image) {
    VerticalBandList pages = verticalList({page(0, 99, 0, 119)});
    HorizontalBand tier = band(0, 99, 0, 119, 1);
    tier.columns().append(uprightBand(10, 29, 0, 119, 4));
    tier.columns().append(uprightBand(60, 79, 0, 119, 4));
    pages[0].rows().append(tier);
    eraseOutsidePages(image, pages, band(0, 99, 0, 119));
}

}  // namespace

TEST(EraseOutsideText, AMarkOfACharactersSizeBetweenTheColumnsOfATierStays) {
    // Columns 20 wide at 10 .. 29 and 60 .. 79. Between them a bracket 10 x 10 whose column was
    // lost, a speck 3 x 3 and, lower down, a smudge 28 x 40: the bracket is text and stays, the
    // speck and the smudge go.
    GreyImage image = inked(100, 120, [](int x, int y) {
        const bool bracket = (y >= 10 && y <= 12 && x >= 40 && x <= 49) || (x >= 40 && x <= 42 && y >= 10 && y <= 19);
        const bool speck = x >= 45 && x <= 47 && y >= 40 && y <= 42;
        const bool smudge = x >= 31 && x <= 58 && y >= 60 && y <= 99;
        return bracket || speck || smudge;
    });
    whitenAroundTwoColumns(image);
    EXPECT_EQ(darkPixels(image, 40, 10, 50, 20), 30 + 30 - 9);
    EXPECT_EQ(darkPixels(image, 45, 40, 48, 43), 0);
    EXPECT_EQ(darkPixels(image, 31, 60, 59, 100), 0);
}

TEST(EraseOutsideText, StrokesTooSmallForAMarkStayNearOneThatStays) {
    // Columns 20 wide at 10 .. 29 and 60 .. 79: marks are 6 to 30 pixels, patches within 6 of a
    // mark join it. Between the columns a kana of 8 x 8, below it two short strokes (gaps of 4 and
    // 3 rows), each too small alone; far below a speck, and two strokes near only each other.
    // A piece of a broken rule, 2 wide and 8 tall, stays as a mark but holds nothing near it:
    // the short dash under it goes.
    GreyImage image = inked(100, 120, [](int x, int y) {
        const bool kana = x >= 40 && x <= 47 && y >= 10 && y <= 17;
        const bool stroke = x >= 41 && x <= 44 && ((y >= 22 && y <= 23) || (y >= 27 && y <= 28));
        const bool speck = x >= 45 && x <= 47 && y >= 60 && y <= 62;
        const bool pair = x >= 41 && x <= 43 && (y == 90 || y == 94);
        const bool rule = x >= 52 && x <= 53 && ((y >= 40 && y <= 47) || (y >= 51 && y <= 53));
        return kana || stroke || speck || pair || rule;
    });
    whitenAroundTwoColumns(image);
    EXPECT_EQ(darkPixels(image, 40, 10, 48, 18), 64);
    EXPECT_EQ(darkPixels(image, 41, 22, 45, 29), 16) << "both strokes, the second through the first";
    EXPECT_EQ(darkPixels(image, 45, 60, 48, 63), 0);
    EXPECT_EQ(darkPixels(image, 41, 90, 44, 95), 0);
    EXPECT_EQ(darkPixels(image, 52, 40, 54, 48), 16) << "the piece of the rule";
    EXPECT_EQ(darkPixels(image, 52, 51, 54, 54), 0) << "the dash under it";
}

TEST(EraseOutsideText, InkReachingOutOfAColumnStaysWhateverItsSize) {
    // Columns 20 wide at 10 .. 29 and 60 .. 79, a glyph in the first from row 30 to 49. Out of it
    // reach a stroke tip (x 30 .. 32 at rows 35 .. 36) and a two-pixel mark touching its edge
    // diagonally (x 30, rows 50 .. 51); a mark as small standing one column off (x 31) and a
    // speck in the middle of the gap are dust and go.
    GreyImage image = inked(100, 120, [](int x, int y) {
        const bool glyph = x >= 12 && x <= 29 && y >= 30 && y <= 49;
        const bool tip = x >= 30 && x <= 32 && y >= 35 && y <= 36;
        const bool touching = x == 30 && y >= 50 && y <= 51;
        const bool apart = x == 31 && y >= 70 && y <= 71;
        const bool speck = x == 45 && y == 90;
        return glyph || tip || touching || apart || speck;
    });
    whitenAroundTwoColumns(image);
    EXPECT_EQ(darkPixels(image, 30, 35, 33, 37), 6);
    EXPECT_EQ(darkPixels(image, 30, 50, 31, 52), 2);
    EXPECT_EQ(darkPixels(image, 31, 70, 32, 72), 0);
    EXPECT_EQ(darkPixels(image, 45, 90, 46, 91), 0);
    EXPECT_EQ(darkPixels(image, 12, 30, 30, 50), 18 * 20);
}

TEST(EraseOutsideText, AGlyphTouchingARuleBetweenColumnsStaysAndTheRuleGoes) {
    // Columns 20 wide at 10 .. 29 and 60 .. 79. Between them a rule from top to bottom at x 35
    // (a frame), a glyph 10 x 10 touching it, and a stroke 4 wide and 12 tall standing alone
    // (the narrow half of a character). Joined to the rule the glyph would be one patch as tall
    // as the tier, too large for a mark.
    GreyImage image = inked(100, 120, [](int x, int y) {
        const bool rule = x >= 35 && x <= 36;
        const bool glyph = x >= 37 && x <= 46 && y >= 30 && y <= 39;
        const bool stroke = x >= 50 && x <= 53 && y >= 70 && y <= 81;
        return rule || glyph || stroke;
    });
    whitenAroundTwoColumns(image);
    EXPECT_EQ(darkPixels(image, 37, 30, 47, 40), 100) << "the glyph";
    EXPECT_EQ(darkPixels(image, 50, 70, 54, 82), 48) << "the narrow stroke";
    EXPECT_EQ(darkPixels(image, 35, 0, 37, 20), 0) << "the rule, away from the glyph";
    EXPECT_EQ(darkPixels(image, 35, 60, 37, 120), 0);
}

TEST(EraseOutsideText, HeaderRowsAreDroppedInOrder) {
    VerticalBandList pages = verticalList({page(0, 9)});
    for (int type : {4, 1, 4, 5, 1}) pages[0].rows().append(band(0, 9, 0, 1, type));
    VerticalBandList bare = verticalList({page(0, 9)});
    removeHeaderRows(pages);
    removeHeaderRows(bare);
    EXPECT_EQ(typesOf(pages[0].rows()), (std::vector<int>{1, 5, 1}));
    EXPECT_EQ(bare[0].rows().count(), 0u);
}
