#include "bands/line_probes.h"

#include <gtest/gtest.h>

#include "bands/probe_frame.h"
#include "test_support.h"

namespace {

// Specks on white, 150 x 400: about density pixels in every 256 dark, from the noise seed.
GreyImage speckled(uint32_t seed, uint32_t density) {
    return filled(150, 400, [&seed, density](int, int) {
        nextNoise(seed);
        return (seed >> 24) < density ? (seed >> 8) & 0x7F : 255;
    });
}

// A frame over a work copy of region, with its ink counted into counts.
probes::Frame countedWorkFrame(const HorizontalBand& region, const GreyImage& image, GreyImage& work,
                               std::vector<int>& counts) {
    probes::Frame f = probes::columnWorkFrame(region, image, work);
    probes::countInkedPositions(f, counts);
    return f;
}

}  // namespace

TEST(LineProbes, SkippingBlankStretchesChangesNothing) {
    // Sparse specks on white: walks that step over blank positions and blocks, or sum a copy's
    // columns many pixels at a time, must give the same answers as walks that read every pixel.
    const GreyImage image = speckled(99, 3);
    const HorizontalBand region = levelBand(10, 140, -5, 390, 0);
    const probes::Frame plain = probes::columnFrame(region, image);
    probes::Frame counted = plain;
    std::vector<int> counts;
    probes::countInkedPositions(counted, counts);
    GreyImage work;
    std::vector<int> storedCounts;
    const probes::Frame stored = countedWorkFrame(region, image, work, storedCounts);
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
                for (int cap : {255, 200, 150}) {
                    const bool clear = probes::isClear(plain, l, percent, cap);
                    ASSERT_EQ(clear, probes::isClear(counted, l, percent, cap)) << a << "," << b;
                    ASSERT_EQ(clear, probes::isClear(stored, l, percent, cap)) << a << "," << b;
                }
        }
}

TEST(LineProbes, AWorkCopyFromAColumnOnReadsAsACopyWhitenedBeforeIt) {
    // A copy of the region's columns from 60 on must answer every walk, slanted lines crossing
    // column 60 included, as a whole copy whose columns before 60 were whitened.
    const GreyImage image = speckled(7, 6);
    const HorizontalBand region = levelBand(10, 140, -5, 390, 0);
    GreyImage whole, part;
    const probes::Frame wholeFrame = probes::columnWorkFrame(region, image, whole);
    probes::whitenBetween(wholeFrame, whole, probes::Line{10, 10}, probes::Line{59, 59});
    probes::Frame a = wholeFrame, b = probes::columnWorkFrame(region, image, part, 60);
    std::vector<int> countsA, countsB;
    probes::countInkedPositions(a, countsA);
    probes::countInkedPositions(b, countsB);
    EXPECT_EQ(countsA, countsB);
    for (int top = 30; top < 100; top += 2)
        for (int bottom = top - 30; bottom <= top + 30; bottom += 5) {
            const probes::Line l{top, bottom};
            double wa = 0, wb = 0;
            ASSERT_EQ(probes::ink(a, l, wa), probes::ink(b, l, wb)) << top << "," << bottom;
            ASSERT_EQ(wa, wb);
            for (int percent : {0, 5, 40})
                ASSERT_EQ(probes::isClear(a, l, percent), probes::isClear(b, l, percent)) << top << "," << bottom;
        }
}

TEST(LineProbes, SweepsTakingBlankLinesOnTheCountsStopWhereWalksDo) {
    // Two columns of specks with wide white between them: a sweep whose line passes no ink by the
    // counts moves on without walking, and must stop at the same line as one that walks every
    // step, also when the counts are stale (ink whitened after they were made) and when the
    // limit lets lines through light ink.
    GreyImage image = filled(150, 400, [seed = uint32_t{5}](int x, int) mutable {
        nextNoise(seed);
        const bool column = (x >= 40 && x < 55) || (x >= 110 && x < 125);
        return column && (seed >> 24) < 40 ? 90 + static_cast<int>((seed >> 8) % 120) : 255;
    });
    const HorizontalBand region = levelBand(0, 149, 0, 399, 0);
    const probes::Frame plain = probes::columnFrame(region, image);
    GreyImage work, staleWork;
    std::vector<int> counts, staleCounts;
    const probes::Frame counted = countedWorkFrame(region, image, work, counts);
    const probes::Frame stale = countedWorkFrame(region, image, staleWork, staleCounts);
    probes::whitenBetween(stale, staleWork, probes::Line{40, 40}, probes::Line{54, 54});
    GreyImage whitened = image;
    for (int y = 0; y < 400; ++y)
        for (int x = 40; x < 55; ++x) whitened.at(x, y) = 255;
    const probes::Frame whitenedPlain = probes::columnFrame(region, whitened);
    for (int start = 0; start < 130; start += 7)
        for (int slant : {0, 3, -3, 40, -40, 150})
            for (int percent : {0, 2, 10})
                for (int cap : {255, 120}) {
                    probes::SweepRequest r;
                    r.percent = percent;
                    r.cap = cap;
                    r.variants = 1;
                    r.tiltLimit = 0;
                    const probes::Line from{start, start - slant};
                    const probes::Line walked = probes::sweepToInk(plain, from, r);
                    ASSERT_EQ(walked, probes::sweepToInk(counted, from, r)) << start << ", " << slant;
                    ASSERT_EQ(probes::sweepToInk(whitenedPlain, from, r), probes::sweepToInk(stale, from, r))
                        << start << ", " << slant << " on stale counts";
                }
}

TEST(LineProbes, WhiteningRecountsTheInkOfThePositionsItEmptied) {
    // After whitening between two lines, slanted or not, at the start, in the middle or at the
    // end of the region, the counts must be those of a frame counted afresh.
    const GreyImage image = speckled(11, 8);
    const HorizontalBand region = levelBand(10, 140, -5, 390, 0);
    const std::pair<probes::Line, probes::Line> strips[] = {
        {{10, 10}, {30, 30}}, {{60, 70}, {75, 90}}, {{100, 90}, {101, 91}}, {{130, 135}, {160, 170}}, {{50, 50}, {40, 40}}};
    GreyImage work;
    std::vector<int> counts;
    const probes::Frame f = countedWorkFrame(region, image, work, counts);
    for (const auto& [lo, hi] : strips) {
        probes::whitenAndRecount(f, work, lo, hi, counts);
        probes::Frame fresh = f;
        std::vector<int> freshCounts;
        probes::countInkedPositions(fresh, freshCounts);
        ASSERT_EQ(counts, freshCounts) << "after whitening from " << lo.a << " to " << hi.b;
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
        pull(top, bottom, 0, 0, levelBand(0, 99, 0, 59, 0), white, 30, 0, 0, 10);
        EXPECT_EQ(std::pair(top, bottom), std::pair(-1, 29));
    }
}
