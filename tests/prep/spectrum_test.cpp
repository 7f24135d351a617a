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
