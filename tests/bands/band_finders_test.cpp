#include <gtest/gtest.h>

#include "bands/band_geometry.h"
#include "bands/horizontal_bands.h"
#include "bands/vertical_bands.h"
#include "test_support.h"

namespace {

// A white image with black parallelograms: each from x0 at the top row to x1 at the bottom row,
// width pixels wide, on rows top .. bottom.
struct Stroke {
    int x0, x1, width, top, bottom;
};

GreyImage strokes(int w, int h, std::initializer_list<Stroke> list) {
    return inked(w, h, [&](int x, int y) {
        for (const Stroke& s : list) {
            const int left = edgeAt(y, 0, s.x0, h - 1, s.x1);
            if (y >= s.top && y <= s.bottom && x >= left && x < left + s.width) return true;
        }
        return false;
    });
}

void columns4(VerticalBandList& out, const GreyImage& image, std::string* traced = nullptr) {
    TraceCapture capture;
    findVerticalBands4(out, levelBand(0, image.width - 1, 0, image.height - 1, 0), image, 60, 0.05,
                       0.00013333333333333334, 2, 15, 8);
    if (traced) *traced = capture.text();
}

}  // namespace

TEST(BandFinders, ABlankRegionGivesNoBandAndOnlyTheHeading) {
    const GreyImage blank = flat(120, 80);
    VerticalBandList v;
    v.append(VerticalBand());  // the finders empty their list first
    std::string traced;
    columns4(v, blank, &traced);
    EXPECT_EQ(v.count(), 0u);
    EXPECT_EQ(traced, "findVerticalBands4(0,0,119,79;dxStep=1): \n");
}

TEST(BandFinders, SpecksBeforeTheFirstColumnAreErasedButNotLaterOnes) {
    // A 2-pixel speck left of the first stroke, another between the strokes.
    GreyImage image = strokes(200, 121, {{60, 60, 8, 0, 120}, {140, 140, 8, 0, 120}});
    for (int y = 50; y < 52; ++y) image.at(20, y) = image.at(21, y) = image.at(100, y) = image.at(101, y) = 0;
    VerticalBandList v;
    columns4(v, image);
    ASSERT_EQ(v.count(), 3u);
    EXPECT_NEAR(v[0].xLeftTop, 60, 1);
    EXPECT_NEAR(v[1].xLeftTop, 100, 1) << "after the first column even a speck is reported";
    EXPECT_NEAR(v[2].xLeftTop, 140, 1);

    // Above the first tier, rows not taller than minHeight go.
    const GreyImage page = inked(120, 200, [](int x, int y) {
        const bool speck = y >= 10 && y < 12 && x >= 50 && x < 55;
        return speck || (y >= 40 && y < 90 && x >= 10 && x < 110 && x % 6 < 4);
    });
    HorizontalBandList h;
    TraceCapture quiet;
    findHorizontalBands4(h, uprightBand(0, 119, 0, 199, 0), page, 50, 7.0 / 136, 0.06 / 136, 3, 2);
    ASSERT_EQ(h.count(), 1u);
    EXPECT_NEAR(h[0].yTopLeft, 40, 1);
    EXPECT_NEAR(h[0].yBottomLeft, 89, 1);
    EXPECT_NEAR(h[0].baryX, 59, 3);
}

TEST(BandFinders, SubdivisionStaysInsideTheBandAndEndsAtItsRightEdge) {
    // Three strokes; the band covers the last two, the ink of the last runs past its right edge.
    const GreyImage image = strokes(200, 121, {{20, 20, 8, 0, 120}, {80, 80, 8, 0, 120}, {130, 130, 30, 0, 120}});
    VerticalBand band = uprightBand(70, 150, 0, 120, 2);
    VerticalBandList parts;
    TraceCapture capture;
    subdivideVerticalBand(parts, band, levelBand(0, 199, 0, 120, 0), image, 60, 0.02, 0.00013333333333333334, 15);
    ASSERT_EQ(parts.count(), 2u) << capture.text();
    EXPECT_GE(parts[0].xLeftTop, 70) << "nothing left of the band";
    EXPECT_NEAR(parts[0].xLeftTop, 80, 1);
    EXPECT_EQ(std::pair(parts[1].xRightTop, parts[1].xRightBottom), std::pair(150, 150));
    EXPECT_EQ(capture.text(), "subdivideVerticalBand(70,0,150,120;threshold=60): **\n");
}

TEST(BandFinders, ACapKeepsTheCutInAThinDarkStrokeUntilItEnds) {
    // A stroke two pixels wide on rows 50..60 is too light in sum to block a line at 2000 percent,
    // but every pixel of it passes the cap: the cut holds it as one band of eleven rows.
    const GreyImage image = inked(40, 120, [](int x, int y) { return y >= 50 && y <= 60 && (x == 19 || x == 20); });
    HorizontalBandList capped, uncapped;
    TraceCapture quiet;
    findHorizontalBands2(capped, uprightBand(0, 39, 0, 119, 4), image, 2000, 0.1, 1.0 / 600, 233);
    ASSERT_EQ(capped.count(), 1u);
    EXPECT_EQ(yEdges(capped[0]), (std::vector<int>{50, 50, 60, 60}));
    findHorizontalBands2(uncapped, uprightBand(0, 39, 0, 119, 4), image, 2000, 0.1, 1.0 / 600, 255);
    EXPECT_EQ(uncapped.count(), 0u);
}
