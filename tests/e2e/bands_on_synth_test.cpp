// The band finders on generated pages, cleaned as the pipeline cleans them: one band per text
// line across a tier, and pieces that cover the characters down a line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "bands/horizontal_bands.h"
#include "bands/vertical_bands.h"
#include "prep/sheet_cleaning.h"
#include "prep/wave_lengths.h"
#include "sheet_synth.h"
#include "test_support.h"

namespace {

struct Page {
    GreyImage sheet;
    SheetTruth truth;
};

// A novel page turned slightly, cleaned for analysis.
void makePage(uint64_t seed, double degrees, Page& page) {
    SynthOptions o;
    o.seed = seed;
    ASSERT_TRUE(applyPreset("novel-page", o));
    o.rotateDegrees = degrees;
    std::string error;
    ASSERT_TRUE(synthesizeSheet(o, page.sheet, page.truth, error)) << error;
    TraceCapture quiet;
    double waveX = 0, waveY = 0;
    measureWaveLengths(page.sheet, waveX, waveY);
    cleanForAnalysis(page.sheet, waveX, waveY);
}

double minOf(const Quad& q, bool y) {
    double m = 1e9;
    for (const Point& p : q.p) m = std::min(m, y ? p.y : p.x);
    return m;
}
double maxOf(const Quad& q, bool y) {
    double m = -1e9;
    for (const Point& p : q.p) m = std::max(m, y ? p.y : p.x);
    return m;
}
Point centre(const Quad& q) {
    return {(q.p[0].x + q.p[1].x + q.p[2].x + q.p[3].x) / 4, (q.p[0].y + q.p[1].y + q.p[2].y + q.p[3].y) / 4};
}

// x of band b's middle at row y.
double middleAt(const VerticalBand& b, double y) {
    const double r = (y - b.yTop) / std::max(1, b.yBottom - b.yTop);
    return ((b.xLeftTop + b.xRightTop) * (1 - r) + (b.xLeftBottom + b.xRightBottom) * r) / 2;
}

}  // namespace

TEST(BandsOnSheets, EveryTextLineOfATierIsOneColumn) {
    for (double degrees : {0.0, 0.8, -1.2}) {
        Page page;
        makePage(77, degrees, page);
        const TierTruth& tier = page.truth.pages[0].tiers[0];
        const int cell = static_cast<int>(page.truth.charPitch);
        HorizontalBand region;
        region.xLeft = static_cast<int>(minOf(tier.box, false)) - cell;
        region.xRight = static_cast<int>(maxOf(tier.box, false)) + cell;
        region.yTopLeft = region.yTopRight = static_cast<int>(minOf(tier.box, true)) - 4;
        region.yBottomLeft = region.yBottomRight = static_cast<int>(maxOf(tier.box, true)) + cell;
        VerticalBandList columns;
        {
            TraceCapture quiet;
            findVerticalBands4(columns, region, page.sheet, 60, 0.05, 0.00013333333333333334, 2, 15, 8);
        }
        // Every line's middle lies in exactly one band at least half a cell wide; the narrower
        // bands hold ruby.
        int wide = 0;
        for (const VerticalBand& b : columns) wide += bandWidth(b) >= cell / 2;
        EXPECT_EQ(wide, static_cast<int>(tier.lines.size())) << "rotation " << degrees;
        for (const LineTruth& line : tier.lines) {
            const Point c = centre(line.box);
            int holding = 0;
            for (const VerticalBand& b : columns) {
                const double mid = middleAt(b, c.y), half = bandWidth(b) / 2.0;
                holding += bandWidth(b) >= cell / 2 && std::fabs(mid - c.x) < half;
            }
            EXPECT_EQ(holding, 1) << "line at x " << c.x << ", rotation " << degrees;
        }
    }
}

TEST(BandsOnSheets, TheCharacterCutCoversTheCharactersOfALine) {
    Page page;
    makePage(78, 0.5, page);
    const TierTruth& tier = page.truth.pages[0].tiers[0];
    int cells = 0, covered = 0;
    for (size_t i = 0; i < tier.lines.size(); i += 3) {
        const LineTruth& line = tier.lines[i];
        VerticalBand region;
        region.xLeftTop = static_cast<int>(line.box.p[0].x) - 2;
        region.xRightTop = static_cast<int>(line.box.p[1].x) + 2;
        region.xLeftBottom = static_cast<int>(line.box.p[3].x) - 2;
        region.xRightBottom = static_cast<int>(line.box.p[2].x) + 2;
        region.yTop = static_cast<int>(minOf(line.box, true)) - 2;
        region.yBottom = static_cast<int>(maxOf(line.box, true)) + 2;
        HorizontalBandList pieces;
        {
            TraceCapture quiet;
            findHorizontalBands2(pieces, region, page.sheet, 10, 0.1, 1.0 / 600, 233);
        }
        // A piece must overlap every character's cell (small marks sit in a corner of it).
        for (const CellTruth& cell : line.cells) {
            if (cell.kind != "char") continue;
            ++cells;
            const double top = minOf(cell.box, true) + 2, bottom = maxOf(cell.box, true) - 2;
            for (const HorizontalBand& p : pieces) {
                if (std::min(p.yTopLeft, p.yTopRight) <= bottom && std::max(p.yBottomLeft, p.yBottomRight) >= top) {
                    ++covered;
                    break;
                }
            }
        }
    }
    EXPECT_GT(cells, 100);
    EXPECT_GE(covered * 100, cells * 98) << covered << " of " << cells;
}
