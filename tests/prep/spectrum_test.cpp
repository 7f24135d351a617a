#include "prep/spectrum.h"

#include <gtest/gtest.h>

#include <cmath>

#include "prep/wave_lengths.h"
#include "test_support.h"

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

TEST(Spectrum, PeaksOfBothSignsAreFoundOnAnOffCentreCrop) {
    // Two plane waves on a 300 x 200 sheet, whose transform crop (256 x 128) starts off its
    // corner: one at (20, 15) with positive horizontal frequency, one at (-30, 9). Each must be
    // found in its own window; the second lies where the transform holds it mirrored, at
    // (30, 128 - 9).
    const GreyImage sheet = filled(300, 200, [](int x, int y) {
        const double first = std::cos(2 * M_PI * (20.0 * x / 256 + 15.0 * y / 128));
        const double second = std::cos(2 * M_PI * (-30.0 * x / 256 + 9.0 * y / 128));
        return static_cast<int>(std::lround(128 + 60 * first + 40 * second));
    });
    int fx1 = 10, fy1 = 5, fx2 = 40, fy2 = 25, NX = 0, NY = 0;
    ASSERT_TRUE(analyseSpectrum(sheet, fx1, fy1, fx2, fy2, NX, NY));
    EXPECT_EQ(std::pair(NX, NY), std::pair(256, 128));
    EXPECT_EQ(std::tuple(fx1, fy1, fx2, fy2), std::tuple(20, 15, 30, 9));
}

TEST(SkewAndShear, BothPeaksOnOneBinGiveNoAngle) {
    double theta = 0, shear = 0;
    estimateSkewAndShear(0, 5, 0, 5, theta, shear);
    EXPECT_FALSE(std::isfinite(theta));
}

TEST(SkewAndShear, OnlyFinitePitchesWithinTheSheetAreUsable) {
    EXPECT_TRUE(usableWaveLengths(30.5, 12.0, 1000, 1400));
    for (auto [x, y] : {std::pair{std::nan(""), 12.0}, {30.0, -4.0}, {0.5, 12.0}, {30.0, 1e9}})
        EXPECT_FALSE(usableWaveLengths(x, y, 1000, 1400)) << x << ", " << y;
    EXPECT_EQ(fallbackWaveLength(1000, 1400), 25.0);
}
