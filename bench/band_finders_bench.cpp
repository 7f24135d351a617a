// Microbenchmarks of the band finders on a generated A4 page at 300 dpi, cleaned as the
// pipeline cleans it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <clocale>

#include "bands/horizontal_bands.h"
#include "bands/vertical_bands.h"
#include "core/trace.h"
#include "prep/sheet_cleaning.h"
#include "prep/wave_lengths.h"
#include "sheet_synth.h"

namespace {

struct A4Page {
    GreyImage sheet;
    SheetTruth truth;
    HorizontalBand tier;  // the first tier of the page, as a region
    VerticalBand line;    // its first text line, as a region

    A4Page() {
        std::setlocale(LC_ALL, "C.UTF-8");
        silenceTrace();
        SynthOptions o;
        o.seed = 5;
        applyPreset("novel-page", o);
        o.paper = "A4";
        std::string error;
        synthesizeSheet(o, sheet, truth, error);
        double waveX = 0, waveY = 0;
        measureWaveLengths(sheet, waveX, waveY);
        cleanForAnalysis(sheet, waveX, waveY);
        const TierTruth& t = truth.pages[0].tiers[0];
        const int cell = static_cast<int>(truth.charPitch);
        tier.xLeft = static_cast<int>(t.box.p[0].x) - cell;
        tier.xRight = static_cast<int>(t.box.p[1].x) + cell;
        tier.yTopLeft = tier.yTopRight = static_cast<int>(t.box.p[0].y) - 4;
        tier.yBottomLeft = tier.yBottomRight = static_cast<int>(t.box.p[3].y) + cell;
        const LineTruth& l = t.lines[0];
        line.xLeftTop = line.xLeftBottom = static_cast<int>(l.box.p[0].x) - 2;
        line.xRightTop = line.xRightBottom = static_cast<int>(l.box.p[1].x) + 2;
        line.yTop = static_cast<int>(l.box.p[0].y) - 2;
        line.yBottom = static_cast<int>(l.box.p[3].y) + 2;
    }
};

const A4Page& page() {
    static const A4Page p;
    return p;
}

void ColumnsOfAnA4Tier(benchmark::State& state) {
    const A4Page& p = page();
    VerticalBandList columns;
    for (auto _ : state) {
        findVerticalBands4(columns, p.tier, p.sheet, 60, 0.05, 0.00013333333333333334, 2, 15, 8);
        benchmark::DoNotOptimize(columns.count());
    }
    state.counters["columns"] = columns.count();
    state.counters["tier rows"] = p.tier.yBottomLeft - p.tier.yTopLeft + 1;
}
BENCHMARK(ColumnsOfAnA4Tier)->Unit(benchmark::kMillisecond);

void CharactersOfALine(benchmark::State& state) {
    const A4Page& p = page();
    HorizontalBandList pieces;
    for (auto _ : state) {
        findHorizontalBands2(pieces, p.line, p.sheet, 10, 0.1, 1.0 / 600, 233);
        benchmark::DoNotOptimize(pieces.count());
    }
    state.counters["pieces"] = pieces.count();
}
BENCHMARK(CharactersOfALine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
