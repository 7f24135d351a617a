#include "prep/spectrum.h"

#include <gtest/gtest.h>

#include <cmath>

#include "prep/wave_lengths.h"
#include "test_support.h"

namespace {

// A white sheet with single black pixels every dx columns and every dy rows.
GreyImage dotLattice(int w, int h, int dx, int dy) {
    return inked(w, h, [=](int x, int y) { return x % dx == 0 && y % dy == 0; });
}

}  // namespace

TEST(Spectrum, ADotLatticeGivesItsTwoPeaksAndItsPitches) {
    const GreyImage lattice = dotLattice(1024, 1024, 32, 16);
    int fx1 = 12, fy1 = 12, fx2 = 73, fy2 = 73, NX = 0, NY = 0;
    ASSERT_TRUE(analyseSpectrum(lattice, fx1, fy1, fx2, fy2, NX, NY));
    EXPECT_EQ(std::pair(NX, NY), std::pair(1024, 1024));
    // (64, 64) is as strong as (32, 64); the smaller frequency wins.
    EXPECT_EQ(std::tuple(fx1, fy1, fx2, fy2), std::tuple(32, 64, 32, 64));
    double theta = 1, shear = 1;
    estimateSkewAndShear(fx1, fy1, fx2, fy2, theta, shear);
    EXPECT_EQ(std::pair(theta, shear), std::pair(0.0, 0.0));

    double waveX = 0, waveY = 0;
    TraceCapture capture;
    EXPECT_TRUE(measureWaveLengths(lattice, waveX, waveY));
    EXPECT_EQ(std::pair(waveX, waveY), std::pair(32.0, 16.0));
    EXPECT_EQ(capture.text(),
              "2-dim DFT. freq limit: 12～73, 12～73.\n"
              "frequency: (32, 64), (32, 64). theta=0.000000, shear=0.000000.\n"
              "frequency: (32.000000, 64.000000)\n"
              "wave length: (32.000000, 16.000000)\n");
}

TEST(Spectrum, AWhiteSheetHasNoPeakAndStillGivesFiniteWaves) {
    const GreyImage blank = flat(1500, 700);
    int fx1 = 20, fy1 = 10, fx2 = 120, fy2 = 60, NX = 0, NY = 0;
    ASSERT_TRUE(analyseSpectrum(blank, fx1, fy1, fx2, fy2, NX, NY));
    EXPECT_EQ(std::pair(NX, NY), std::pair(1024, 512));
    EXPECT_EQ(std::tuple(fx1, fy1, fx2, fy2), std::tuple(19, 9, 19, 9));

    double waveX = 0, waveY = 0;
    TraceCapture capture;
    EXPECT_TRUE(measureWaveLengths(blank, waveX, waveY));
    EXPECT_TRUE(std::isfinite(waveX) && waveX > 1);
}

TEST(Spectrum, TheCropIsTheCentredPowerOfTwo) {
    // Dots only in columns 238 .. 1261 of a 1500-pixel sheet: the crop sees a perfect lattice,
    // so the peak is exact; anything outside the crop cannot disturb it.
    const GreyImage sheet = filled(1500, 1024, [](int x, int y) {
        if (x < 238 || x > 1261) return (x * 7 + y * 3) % 256;
        return (x - 238) % 32 == 0 && y % 16 == 0 ? 0 : 255;
    });
    int fx1 = 12, fy1 = 12, fx2 = 73, fy2 = 73, NX = 0, NY = 0;
    ASSERT_TRUE(analyseSpectrum(sheet, fx1, fy1, fx2, fy2, NX, NY));
    EXPECT_EQ(std::pair(fx1, fy1), std::pair(32, 64));
}

TEST(Spectrum, ASecondHarmonicStrongerThanThePitchIsTracedBackToThePitch) {
    // Lines 10 wide at pitch 24; along them characters at pitch 32 whose ink fills rows 0-13
    // and 16-24 of the cell, so that the half pitch carries more power than the pitch.
    const GreyImage sheet = inked(1024, 1024, [](int x, int y) {
        const int r = y % 32;
        return x % 24 < 10 && (r <= 13 || (r >= 16 && r <= 24));
    });
    int fx1 = 12, fy1 = 12, fx2 = 73, fy2 = 73, NX = 0, NY = 0;
    ASSERT_TRUE(analyseSpectrum(sheet, fx1, fy1, fx2, fy2, NX, NY));
    EXPECT_EQ(std::pair(fy1, fy2), std::pair(32, 32)) << "1024 / 32: the character pitch, not half of it";
    EXPECT_NEAR(fx1, 1024 / 24.0, 1.0);
}

TEST(SkewAndShear, ASlantedPairOfPeaksIsShearAndATurnedPairIsTheta) {
    double theta = 0, shear = 0;
    estimateSkewAndShear(12, 100, 8, 100, theta, shear);  // peaks (12, 100) and (-8, 100)
    EXPECT_DOUBLE_EQ(theta, 0.0);
    EXPECT_DOUBLE_EQ(shear, 0.02);
    // (10, 100) and (-10, 100) turned by 0.05 rad: the foot of the perpendicular turns with them.
    const double c = std::cos(0.05), s = std::sin(0.05);
    const int ax = static_cast<int>(std::lround(10 * c + 100 * s)), ay = static_cast<int>(std::lround(-10 * s + 100 * c));
    const int bx = static_cast<int>(std::lround(-10 * c + 100 * s)), by = static_cast<int>(std::lround(10 * s + 100 * c));
    estimateSkewAndShear(ax, ay, -bx, by, theta, shear);
    EXPECT_NEAR(theta, 0.05, 0.01);
    EXPECT_NEAR(shear, 0.0, 0.01);

    estimateSkewAndShear(0, 5, 0, 5, theta, shear);  // both peaks on one bin
    EXPECT_FALSE(std::isfinite(theta));
}

TEST(SkewAndShear, OnlyFinitePitchesWithinTheSheetAreUsable) {
    EXPECT_TRUE(usableWaveLengths(30.5, 12.0, 1000, 1400));
    for (auto [x, y] : {std::pair{std::nan(""), 12.0}, {30.0, -4.0}, {0.5, 12.0}, {30.0, 1e9}})
        EXPECT_FALSE(usableWaveLengths(x, y, 1000, 1400)) << x << ", " << y;
    EXPECT_EQ(fallbackWaveLength(1000, 1400), 25.0);
}
