// The pitches measured from the spectrum against the generator's truth, on scanned-looking
// sheets: single pages and spreads, turned up to 2 degrees, with specks and uneven light.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "prep/wave_lengths.h"
#include "sheet_synth.h"
#include "test_support.h"

TEST(WaveLengths, MatchTheTruePitchesOnNineSheetsInTen) {
    const char* presets[] = {"novel-page", "novel-spread", "two-tier"};
    const int n = envCount("TOVEL_WAVE_SHEETS", 12);
    int good = 0;
    for (int i = 0; i < n; ++i) {
        SynthOptions o;
        o.seed = 1000 + static_cast<uint64_t>(i);
        ASSERT_TRUE(applyPreset(presets[i % 3], o));
        o.rotateDegrees = (i % 9 - 4) * 0.5;  // -2 .. +2 degrees
        o.speckles = 1.0;
        o.gradient = 0.15;
        o.vignette = 0.15;
        GreyImage sheet;
        SheetTruth truth;
        std::string error;
        ASSERT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
        double waveX = 0, waveY = 0;
        {
            TraceCapture quiet;
            measureWaveLengths(sheet, waveX, waveY);
        }
        const double ex = std::fabs(waveX / truth.linePitch - 1), ey = std::fabs(waveY / truth.charPitch - 1);
        const bool ok = ex <= 0.05 && ey <= 0.05;
        good += ok;
        std::printf("%-13s seed %4llu rot %+4.1f  waveX %7.2f / %5.1f  waveY %7.2f / %5.1f  %s\n",
                    presets[i % 3], static_cast<unsigned long long>(o.seed), o.rotateDegrees, waveX,
                    truth.linePitch, waveY, truth.charPitch, ok ? "ok" : "OFF");
    }
    std::printf("%d of %d sheets within 5 %%\n", good, n);
    EXPECT_GE(good * 10, n * 9);
}
