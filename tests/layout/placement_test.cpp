#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "layout/page_placement.h"
#include "layout/resampling.h"
#include "layout/row_placement.h"
#include "test_support.h"

namespace {

// A band whose edges both run shift columns to the right from its top to its bottom.
VerticalBand slantedBand(int left, int right, int shift, int top, int bottom, int type) {
    VerticalBand b = uprightBand(left, right, top, bottom, type);
    b.xLeftBottom += shift;
    b.xRightBottom += shift;
    return b;
}

VerticalBand withDest(VerticalBand b, int destLeft, int destRight) {
    b.destLeft = destLeft;
    b.destRight = destRight;
    return b;
}

HorizontalBand tier(int top, int bottom) { return levelBand(0, 9, top, bottom, 1); }

std::vector<int> destRows(const HorizontalBand& b) { return {b.destTop, b.destBottom}; }

}  // namespace

TEST(PagePlacement, FillersCoverEveryColumnOfTheArea) {
    const HorizontalBand area = levelBand(0, 59, 0, 9, 0);
    VerticalBandList pages = verticalList({
        withDest(uprightBand(2, 20, 0, 9, 2), 0, 18),    // starts at the area's edge
        withDest(uprightBand(25, 40, 0, 9, 2), 19, 34),  // abuts the first destination
        withDest(uprightBand(45, 50, 0, 9, 2), 40, 45),
    });
    insertPageFillers(pages, area);
    EXPECT_EQ(typesOf(pages), (std::vector<int>{2, 2, 1, 2, 1}));
    int next = area.xLeft;
    for (const VerticalBand& b : pages) {
        EXPECT_EQ(b.destLeft, next);
        next = b.destRight + 1;
    }
    EXPECT_EQ(next, area.xRight + 1);
    EXPECT_EQ(xEdges(pages[2]), (std::vector<int>{41, 44, 41, 44}));
    EXPECT_EQ(xEdges(pages[4]), (std::vector<int>{51, 59, 51, 59}));
}

TEST(PagePlacement, ReadsPastTheBorderAreMirrored) {
    // Dark scan edge at the right; a page reaching 4 columns past the left border must mirror
    // its own first columns, not pick up the previous row's dark end.
    const auto grey = [](int x) { return 100 + 5 * x; };
    GreyImage image = filled(24, 6, [&](int x, int) { return x >= 20 ? 0 : grey(x); });
    const HorizontalBand area = levelBand(0, 23, 0, 5, 0);
    VerticalBandList bands = verticalList({withDest(uprightBand(-4, 9, 0, 5, 2), 0, 13),
                                           withDest(uprightBand(10, 23, 0, 5, 1), 14, 23)});  // squeezed 14 -> 10
    rectifyVerticalBands(image, bands, area);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x <= 13; ++x) ASSERT_EQ(image.at(x, y), grey(x < 4 ? 4 - x : x - 4)) << x << "," << y;
    EXPECT_EQ(image.at(23, 3), 0);
}

TEST(PagePlacement, DegenerateSpansStayInsideTheArea) {
    GreyImage image = filled(20, 5, [](int x, int) { return x * 10; });
    // One row high, an empty source span stretched over three columns, and a destination
    // running past the area and the image.
    const HorizontalBand area = levelBand(0, 19, 2, 2, 0);
    VerticalBandList bands = verticalList({withDest(uprightBand(6, 5, 0, 4, 2), 0, 2),
                                           withDest(uprightBand(10, 14, 0, 4, 2), 15, 40)});
    rectifyVerticalBands(image, bands, area);
    EXPECT_EQ(image.at(1, 2), 60);  // the single pixel under the empty span
    EXPECT_EQ(image.at(3, 2), 0);   // columns no band covers
    EXPECT_EQ(image.at(15, 2), 100);
    EXPECT_EQ(image.at(1, 1), 10);  // rows outside the area are untouched
}

TEST(PagePlacement, OverlappingDestinationsKeepTheirInk) {
    // Two bands sent onto overlapping columns: where both land, the pixel is the mean of what
    // they bring rather than a sum that saturates to white.
    GreyImage image = filled(20, 4, [](int x, int) { return x < 10 ? 0 : 200; });
    VerticalBandList bands = verticalList({withDest(uprightBand(0, 9, 0, 3, 2), 0, 11),
                                           withDest(uprightBand(10, 19, 0, 3, 2), 8, 19)});
    rectifyVerticalBands(image, bands, levelBand(0, 19, 0, 3, 0));
    EXPECT_EQ(image.at(2, 1), 0);
    EXPECT_LT(image.at(9, 1), 160) << "black and 200 meet: their mean, not white";
    EXPECT_GT(image.at(9, 1), 40);
    EXPECT_EQ(image.at(17, 1), 200);
}

TEST(RowPlacement, NegativeWidthPageChangesNothing) {
    GreyImage image = filled(10, 10, [](int x, int y) { return x + 10 * y; });
    const GreyImage before = image;
    HorizontalBand t = tier(2, 5);
    t.destTop = 0;
    HorizontalBandList rows = horizontalList({t});
    TraceCapture capture;
    EXPECT_EQ(rectifyHorizontalBands2(image, rows, uprightBand(8, 2, 0, 9, 2)), 1);
    EXPECT_EQ(capture.text(), "rectifyHorizontalBands2: Width of the bounding box should not be less than 0.\n");
    EXPECT_EQ(rows[0].yTopLeft, 2);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(image.at(x, y), before.at(x, y)) << x << "," << y;
}

TEST(PagePlacement, ExpansionSharesNarrowGapsAndStopsAtTheAreaEdges) {
    const HorizontalBand area = levelBand(0, 99, 0, 9, 0);
    VerticalBandList pages = verticalList({
        uprightBand(1, 10, 0, 9, 2),   // one column from the area's left edge
        uprightBand(14, 30, 0, 9, 2),  // 4 columns apart: a gap of 3
        uprightBand(51, 97, 0, 9, 2),  // 20 columns apart; 2 from the right edge
    });
    expandVerticalBands(pages, area, 3);
    EXPECT_EQ(xEdges(pages[0]), (std::vector<int>{0, 11, 0, 11}));
    EXPECT_EQ(xEdges(pages[1]), (std::vector<int>{12, 33, 12, 33}));
    EXPECT_EQ(xEdges(pages[2]), (std::vector<int>{48, 99, 48, 99}));

    // A slanted edge: the narrower of the two gaps decides.
    VerticalBandList slanted = verticalList({slantedBand(10, 20, 2, 0, 9, 2),  // right edge 20 -> 22
                                             uprightBand(40, 60, 0, 9, 2)});   // gaps 19 and 17
    expandVerticalBands(slanted, area, 10);
    // 10 columns of margin on the left, then the edge shifted by 2.
    EXPECT_EQ(xEdges(slanted[0]), (std::vector<int>{0, 28, 2, 30}));
    EXPECT_EQ(slanted[1].xLeftTop, 31);
}

TEST(PagePlacement, EqualWidthDestinationCopiesPixels) {
    const auto pattern = [](int x, int y) { return static_cast<unsigned char>((x * 37 + y * 11) % 256); };
    GreyImage image = filled(30, 10, pattern);
    const HorizontalBand area = levelBand(0, 29, 0, 9, 0);
    VerticalBandList bands = verticalList({withDest(uprightBand(5, 14, 0, 9, 2), 12, 21)});
    insertPageFillers(bands, area);
    rectifyVerticalBands(image, bands, area);
    for (int y = 0; y < 10; ++y)
        for (int x = 12; x <= 21; ++x) ASSERT_EQ(image.at(x, y), pattern(x - 7, y)) << x << "," << y;
    ASSERT_EQ(bands.count(), 3u);
    EXPECT_EQ(xEdges(bands[1]), (std::vector<int>{12, 21, 12, 21}));
}

TEST(RowPlacement, ExpansionSharesGapsWithoutAnAreaLimit) {
    HorizontalBandList rows = horizontalList({tier(1, 10), tier(14, 30), tier(51, 60)});
    expandHorizontalBands(rows, 3);
    EXPECT_EQ(yEdges(rows[0]), (std::vector<int>{-2, -2, 11, 11}));
    EXPECT_EQ(yEdges(rows[1]), (std::vector<int>{12, 12, 33, 33}));
    EXPECT_EQ(yEdges(rows[2]), (std::vector<int>{48, 48, 63, 63}));
}

TEST(RowPlacement, TiersWithinSixPercentShareATrack) {
    const auto spread = [](int offset) {
        VerticalBandList pages = verticalList({uprightBand(0, 9, 0, 99, 2), uprightBand(20, 29, 0, 99, 2)});
        pages[0].rows() = horizontalList({tier(10, 30), tier(50, 90)});
        pages[1].rows() = horizontalList({tier(10 + offset, 30 + offset), tier(50 + offset, 90 + offset),
                                          tier(95, 99)});  // no partner: a track of its own
        TraceCapture quiet;
        calcRowsDestY(pages);
        return pages;
    };
    VerticalBandList close = spread(5);  // 5 % of the page height
    for (uint32_t p = 0; p < 2; ++p) {
        EXPECT_EQ(destRows(close[p].rows()[0]), (std::vector<int>{12, 32}));
        EXPECT_EQ(destRows(close[p].rows()[1]), (std::vector<int>{52, 92}));
    }
    EXPECT_EQ(close[1].rows()[2].destTop, 95);

    VerticalBandList apart = spread(7);  // 7 %: every tier keeps its own rows
    EXPECT_EQ(apart[0].rows()[0].destTop, 10);
    EXPECT_EQ(apart[1].rows()[0].destTop, 17);
    EXPECT_EQ(apart[1].rows()[1].destBottom, 97);
}

TEST(PagePlacement, APageStraightenedAtTheSheetsSideIsMovedInsideIt) {
    // Ink from x 0 to 79 on a slanted page whose mean x lies 20 columns from the left side: a
    // strip 80 wide centred there would start 20 columns before the sheet.
    GreyImage image = inked(200, 100, [](int x, int) { return x < 80 && x % 4 == 0; });
    VerticalBandList pages;
    VerticalBand page = uprightBand(0, 79, 0, 99, 2);
    page.xLeftTop = -40;
    page.xRightTop = 39;
    pages.append(page);
    calcPagesDestX(pages, image);
    EXPECT_EQ(pages[0].destLeft, 0);
    EXPECT_GE(pages[0].destRight, 76);
    EXPECT_LE(pages[0].destRight, 79);

    VerticalBand right = uprightBand(160, 199, 0, 99, 2);
    right.xRightTop = 239;
    right.xLeftTop = 200;
    image = inked(200, 100, [](int x, int) { return x >= 160 && x % 4 == 0; });
    pages.setCount(0);
    pages.append(right);
    calcPagesDestX(pages, image);
    EXPECT_EQ(pages[0].destRight, 199);
}

namespace {

// spreadSpan one source pixel at a time, as the kernel is defined: each pixel ends where
// (dr (i + 1 - sl) + dl (sr - i - 1)) / (sr - sl) puts it (the last at dr) and adds its overlap
// with every cell it covers.
void spreadOneByOne(const std::vector<unsigned char>& line, float sl, float sr, int dl, int dr, int lo, int hi,
                    std::vector<float>& cells, std::vector<float>& weights) {
    const int length = static_cast<int>(line.size());
    auto mirrored = [length](int i) {
        if (i < 0) i = -i;
        if (i >= length) i = 2 * length - 2 - i;
        return std::clamp(i, 0, length - 1);
    };
    const int i1 = static_cast<int>(sr);
    float a = static_cast<float>(dl);
    for (int i = static_cast<int>(sl); i <= i1; ++i) {
        const float fi = static_cast<float>(i);
        const float b = i == i1 ? static_cast<float>(dr)
                                : (static_cast<float>(dr) * (fi + 1.0f - sl) + static_cast<float>(dl) * (sr - fi - 1.0f)) /
                                      (sr - sl);
        const float v = line[static_cast<size_t>(mirrored(i))];
        const int ja = static_cast<int>(a), jb = static_cast<int>(b);
        for (int j = std::max(ja, lo); j <= std::min(jb, hi); ++j) {
            const float overlap = j == ja && j == jb ? b - a
                                  : j == ja         ? static_cast<float>(j + 1) - a
                                  : j == jb         ? b - static_cast<float>(j)
                                                    : 1.0f;
            cells[static_cast<size_t>(j - lo)] += v * overlap;
            weights[static_cast<size_t>(j - lo)] += overlap;
        }
        a = b;
    }
}

}  // namespace

TEST(Resampling, SpreadingMatchesThePixelByPixelRuleAtEveryScale) {
    std::vector<unsigned char> line(300), partner(300);
    for (size_t i = 0; i < line.size(); ++i) {
        line[i] = static_cast<unsigned char>((i * 37) % 251);
        partner[i] = static_cast<unsigned char>(255 - line[i]);
    }
    struct Case {
        float sl, sr;
        int dl, dr;
    };
    // Near one, an exact shift, shrunk, stretched, mirrored at both ends, cut by the destination window, one
    // pixel wide, and spans of more than one batch of pixel ends; several spans into the same
    // cells, as a row of pages is placed.
    const std::vector<std::vector<Case>> rows = {
        {{10.3f, 110.7f, 12, 113}, {111.2f, 190.9f, 113, 190}},
        {{3.0f, 200.0f, 7, 204}, {150.6f, 290.2f, 150, 290}, {250.0f, 299.5f, 262, 312}},
        {{0.5f, 250.2f, 20, 90}},
        {{40.0f, 52.5f, 5, 280}},
        {{-7.4f, 30.1f, 0, 40}, {280.6f, 306.3f, 250, 299}},
        {{5.0f, 295.0f, -30, 340}},
        {{77.0f, 77.0f, 60, 61}, {78.4f, 78.9f, 62, 70}},
    };
    const int lo = 0, hi = 299;
    for (size_t r = 0; r < rows.size(); ++r) {
        // Cells past hi stand guard: nothing may be added to them.
        std::vector<float> cells(hi - lo + 1 + 8), weights(cells.size()), partnerCells(cells.size());
        std::vector<float> expectedCells(cells.size()), expectedWeights(cells.size()), unused(cells.size());
        std::vector<float> expectedPartner(cells.size());
        for (const Case& c : rows[r]) {
            spreadSpan(line.data(), 300, c.sl, c.sr, c.dl, c.dr, lo, hi, cells.data(), weights.data(), partner.data(),
                       partnerCells.data());
            spreadOneByOne(line, c.sl, c.sr, c.dl, c.dr, lo, hi, expectedCells, expectedWeights);
            spreadOneByOne(partner, c.sl, c.sr, c.dl, c.dr, lo, hi, expectedPartner, unused);
        }
        EXPECT_EQ(cells, expectedCells) << "row " << r;
        EXPECT_EQ(weights, expectedWeights) << "row " << r;
        EXPECT_EQ(partnerCells, expectedPartner) << "row " << r;
        // Alone, without a partner image, the same cells.
        std::vector<float> aloneCells(cells.size()), aloneWeights(cells.size());
        for (const Case& c : rows[r])
            spreadSpan(line.data(), 300, c.sl, c.sr, c.dl, c.dr, lo, hi, aloneCells.data(), aloneWeights.data());
        EXPECT_EQ(aloneCells, expectedCells) << "row " << r;
        EXPECT_EQ(aloneWeights, expectedWeights) << "row " << r;
    }
}

TEST(Resampling, TakingPixelsRoundsAsOneAtATimeAndClearsTheCells) {
    // Weights below, at and above the overlap threshold, sums past white, odd counts so that
    // both the four-at-a-time part and the rest are used; the partner on the same weights.
    for (int count : {1, 3, 4, 9, 37}) {
        std::vector<float> cells(static_cast<size_t>(count)), weights(cells.size()), partner(cells.size());
        for (int i = 0; i < count; ++i) {
            weights[static_cast<size_t>(i)] = i % 5 == 0 ? 1.0f : i % 5 == 1 ? 1.001f : 0.25f + 0.37f * static_cast<float>(i % 7);
            cells[static_cast<size_t>(i)] = weights[static_cast<size_t>(i)] * static_cast<float>((i * 53) % 300) + 0.49f;
            partner[static_cast<size_t>(i)] = static_cast<float>((i * 91) % 260) * 0.999f;
        }
        std::vector<unsigned char> expected(cells.size()), expectedPartner(cells.size());
        for (size_t i = 0; i < cells.size(); ++i) {
            expected[i] = toPixel(cells[i], weights[i]);
            expectedPartner[i] = toPixel(partner[i], weights[i]);
        }
        std::vector<unsigned char> out(cells.size()), partnerOut(cells.size()), alone(cells.size());
        std::vector<float> copyCells = cells, copyWeights = weights;
        takePixels(cells.data(), weights.data(), count, out.data(), partner.data(), partnerOut.data());
        EXPECT_EQ(out, expected) << count;
        EXPECT_EQ(partnerOut, expectedPartner) << count;
        for (size_t i = 0; i < cells.size(); ++i) EXPECT_TRUE(cells[i] == 0.0f && weights[i] == 0.0f && partner[i] == 0.0f);
        takePixels(copyCells.data(), copyWeights.data(), count, alone.data());
        EXPECT_EQ(alone, expected) << count;
    }
}
