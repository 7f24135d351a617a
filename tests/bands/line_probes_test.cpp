#include "bands/line_probes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "bands/band_geometry.h"
#include "bands/probe_frame.h"
#include "test_support.h"

namespace {

HorizontalBand wholeRows(const GreyImage& image) { return levelBand(0, image.width - 1, 0, image.height - 1, 0); }

}  // namespace

TEST(LineProbes, LinesFollowTheEdgeFormulaRowByRow) {
    // The probes step along a line without dividing per row; their sums must equal a walk that
    // evaluates the edge formula at every row, for lines of every slant, partly outside.
    uint32_t seed = 7;
    const GreyImage image = filled(90, 70, [&seed](int, int) { return nextNoise(seed); });
    const HorizontalBand columns = levelBand(5, 80, -3, 75, 0);
    const VerticalBand rows = uprightBand(-4, 88, 6, 60, 0);
    for (int a = -30; a <= 110; a += 7)
        for (int b = -30; b <= 110; b += 11) {
            long long expected = 0;
            for (int y = 0; y < image.height; ++y) {
                const int x = edgeAt(y, columns.yTopLeft, a, columns.yBottomLeft, b);
                if (x >= columns.xLeft && x <= columns.xRight && x >= 0 && x < image.width) expected += 255 - image.at(x, y);
            }
            double weighted = 0;
            ASSERT_EQ(inkAlongLine(columns, a, b, image, weighted), expected) << a << "," << b;

            long long across = 0, moments = 0;
            for (int x = std::max(rows.xLeftTop, 0); x <= std::min(rows.xRightTop, image.width - 1); ++x) {
                const int y = edgeAt(x, rows.xLeftTop, a, rows.xRightTop, b);
                if (y >= rows.yTop && y <= rows.yBottom && y >= 0 && y < image.height) {
                    across += 255 - image.at(x, y);
                    moments += static_cast<long long>(255 - image.at(x, y)) * x;
                }
            }
            double weightedX = 0;
            int darkest = 0;
            ASSERT_EQ(inkAlongLine(rows, a, b, image, weightedX, darkest), across) << a << "," << b;
            ASSERT_EQ(weightedX, static_cast<double>(moments));
        }
}

TEST(LineProbes, ClearnessLimitsAndCaps) {
    GreyImage image = filled(20, 11, [](int x, int) { return x == 10 ? 250 : 255; });
    const HorizontalBand region = wholeRows(image);
    EXPECT_TRUE(isLineClear(region, 3, 3, image, 0));
    EXPECT_FALSE(isLineClear(region, 10, 10, image, 0)) << "with percent 0 only pure white is clear";
    EXPECT_TRUE(isLineClear(region, 10, 10, image, 600)) << "11 rows of darkness 5 stay within 10 * 600 / 100";
    EXPECT_FALSE(isLineClear(region, 10, 10, image, 500));
    const HorizontalBand below = levelBand(0, 19, 20, 30, 0);
    EXPECT_TRUE(isLineClear(below, 10, 10, image, 0)) << "rows outside the image count nothing";

    const VerticalBand rows = uprightBand(0, 19, 0, 10, 0);
    image.at(4, 5) = 100;  // darkness 155
    EXPECT_TRUE(isLineClear(rows, 5, 5, image, 1000));
    EXPECT_FALSE(isLineClear(rows, 5, 5, image, 1000, 150)) << "one pixel beyond the cap blocks";
    double weighted = 0;
    int darkest = 0;
    inkAlongLine(rows, 5, 5, image, weighted, darkest);
    EXPECT_EQ(darkest, 155);
}

TEST(LineProbes, SweepsStopAtInkAndCrossingsMeasureIt) {
    const GreyImage image = inked(60, 40, [](int x, int) { return x >= 20 && x < 26; });
    const HorizontalBand region = wholeRows(image);
    int top = 0, bottom = 0;
    sweepToInk(region, top, bottom, 0, 0, image, 20, 0, 10, 0, 1, true);
    EXPECT_EQ(std::pair(top, bottom), std::pair(20, 20));
    int maxInk = 0, bary = 0, steps = 0;
    sweepThroughInk(region, top, bottom, image, maxInk, bary, steps, 10);
    EXPECT_EQ(top, 26) << "the first clear line after the ink";
    EXPECT_EQ(std::tuple(steps, maxInk, bary), std::tuple(6, 40 * 255, 19));

    top = 70, bottom = 75;
    sweepToInk(region, top, bottom, 0, 0, image, 20, 0, 10, 0, 1, true);
    EXPECT_EQ(std::pair(top, bottom), std::pair(71, 76)) << "a line past the region comes back one further at once";

    // Pulled back from the right, the line lands on the stroke's last column.
    top = bottom = 40;
    retreatFromInk(top, bottom, 0, 0, region, image, 20, 0, 2, 10);
    EXPECT_EQ(std::pair(top, bottom), std::pair(25, 25));
    top = bottom = 40;
    alignToSlant(top, bottom, 0, 0, region, image, 20, 0, 2, 10);
    EXPECT_EQ(top, 25);
}

TEST(LineProbes, TiltingSweepsFollowASlantedEdge) {
    // A stroke whose left edge runs from x = 30 at the top to x = 20 at the bottom.
    const GreyImage image = inked(80, 101, [](int x, int y) { return x >= 30 - y / 10 && x < 38 - y / 10; });
    const HorizontalBand region = wholeRows(image);
    int top = 0, bottom = 0;
    sweepToInk(region, top, bottom, 0, 0, image, 50, 0, 5, 0, 1, false);
    EXPECT_EQ(top, 20) << "without tilting the bottom of the stroke stops the line";
    top = bottom = 0;
    sweepToInk(region, top, bottom, -50, 0, image, 50, 40, 5, 0, 1, false);
    EXPECT_GE(top, 27);
    EXPECT_LE(bottom, 21) << "tilting lets the line lie along the edge";

    float pivotX = -1.0f;
    int tilt = 0, xTop = 10, xBottom = 10;
    ASSERT_TRUE(pivotLine(region, xTop, xBottom, image, 50, pivotX, tilt, 5, false));
    EXPECT_EQ(pivotX, 10.0f);
    EXPECT_LT(xTop, 10) << "the first form leans the top to the left";
    EXPECT_GT(xBottom, 10);
    EXPECT_EQ(tilt, 2);
    int counter = 0;
    xTop = xBottom = 10;
    ASSERT_TRUE(shiftEnds(region, xTop, xBottom, image, 25, 5, counter, false));
    EXPECT_EQ(xTop, 9);
    EXPECT_EQ(xBottom, 13) << "the far end moves (1 - r) / r = 3 pixels";
    EXPECT_EQ(counter, 3);
}

TEST(LineProbes, BarycentreAndInkWidth) {
    const GreyImage image = inked(40, 30, [](int x, int y) { return (x == 10 || x == 30) && y > 5; });
    EXPECT_EQ(barycenterX(levelBand(0, 39, 0, 29, 0), image), 20);
    EXPECT_EQ(barycenterX(levelBand(10, 10, 0, 29, 0), image), 10) << "one column wide";
    EXPECT_EQ(barycenterX(levelBand(15, 25, 0, 29, 0), image), 20) << "no ink: the middle column";

    VerticalBand band = uprightBand(5, 34, 0, 29, 0);
    band.xRightBottom = 38;  // wider at the bottom
    EXPECT_EQ(bandWidthAt(band, 0), 30);
    EXPECT_EQ(bandWidthAt(band, 29), 34);
    EXPECT_EQ(inkWidth(image, band), 34) << "the last inked row is the wider";
}

TEST(LineProbes, SkippingBlankStretchesChangesNothing) {
    // Sparse specks on white: walks that step over blank positions and blocks must give the
    // same answers as walks that read every pixel.
    uint32_t seed = 99;
    const GreyImage image = filled(150, 400, [&seed](int, int) {
        nextNoise(seed);
        return (seed >> 24) < 3 ? (seed >> 8) & 0x7F : 255;
    });
    const HorizontalBand region = levelBand(10, 140, -5, 390, 0);
    const probes::Frame plain = probes::columnFrame(region, image);
    probes::Frame counted = plain;
    std::vector<int> counts;
    probes::countInkedPositions(counted, counts);
    GreyImage work;
    probes::Frame stored = probes::columnWorkFrame(region, image, work);
    std::vector<int> storedCounts;
    probes::countInkedPositions(stored, storedCounts);
    for (int a = -20; a < 170; a += 3)
        for (int b = a - 40; b <= a + 40; b += 9) {
            const probes::Line l{a, b};
            double w1 = 0, w2 = 0, w3 = 0;
            const int s1 = probes::ink(plain, l, w1), s2 = probes::ink(counted, l, w2), s3 = probes::ink(stored, l, w3);
            ASSERT_EQ(s1, s2) << a << "," << b;
            ASSERT_EQ(s1, s3) << a << "," << b;
            ASSERT_EQ(w1, w2);
            ASSERT_EQ(w1, w3);
            for (int percent : {0, 5, 40})
                ASSERT_EQ(probes::isClear(plain, l, percent), probes::isClear(counted, l, percent)) << a << "," << b;
        }
}

TEST(LineProbes, PullingBackALineFromPastTheRegionEnds) {
    // Past the region a line counts no pixel and is always clear: straightening it must stop
    // there rather than walk it right for ever.
    const GreyImage white = flat(100, 60);
    // It cannot be turned there either, so it is pulled back as it is, over the white, to the
    // lower bound: the last clear position (0, 30), minus one.
    for (auto pull : {alignToSlant, retreatFromInk}) {
        int top = 150, bottom = 180;
        pull(top, bottom, 0, 0, wholeRows(white), white, 30, 0, 0, 10);
        EXPECT_EQ(std::pair(top, bottom), std::pair(-1, 29));
    }
}
