// Sheets scanned from old bound magazines: a strip of the facing page, the dark edge of the book,
// ruled frames and a library stamp. The page must keep its place and every line its text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "pipeline/image_io.h"
#include "pipeline/layo.h"
#include "sheet_synth.h"
#include "test_support.h"

namespace {

struct SheetRun {
    int result = -99;
    int notices = 0;
    GreyImage in, out;
};

void countNotice(void* context, const char*, const char*) { ++*static_cast<int*>(context); }

struct Box {
    int x0, y0, x1, y1;
};

Box boundsOf(const Quad& q) {
    const Quad b = q.bounds();
    return {static_cast<int>(b.p[0].x), static_cast<int>(b.p[0].y), static_cast<int>(b.p[2].x),
            static_cast<int>(b.p[2].y)};
}

// Draws the fold between the page and the strip of the facing page as a scanner sees it: a dark
// straight line a few pixels wide, broken where the paper lies flat (a third of its length).
void drawFold(GreyImage& sheet, const SheetTruth& truth) {
    const Box page = boundsOf(truth.pages[0].box), strip = boundsOf(truth.sliver);
    const int x = strip.x0 > page.x0 ? (page.x1 + strip.x0) / 2 : (strip.x1 + page.x0) / 2;
    for (int y = 0; y < sheet.height; ++y) {
        if (y / 40 % 3 == 0) continue;
        for (int dx = -3; dx <= 3; ++dx) sheet.at(std::clamp(x + dx, 0, sheet.width - 1), y) = 40;
    }
}

SheetRun runOnSheet(const SynthOptions& o, SheetTruth& truth, const TempDir& dir) {
    SheetRun run;
    std::string error;
    EXPECT_TRUE(synthesizeSheet(o, run.in, truth, error)) << error;
    if (truth.hasSliver) drawFold(run.in, truth);
    const std::string in = dir / "sheet.png", out = dir / "out.png";
    EXPECT_EQ(saveGreyImage(in.c_str(), run.in), 0);
    LayoStages stages = defaultLayoStages();
    stages.notice = countNotice;
    stages.noticeContext = &run.notices;
    TraceCapture quiet;
    run.result = runLayo(in.c_str(), out.c_str(), LayoOptions(), stages);
    if (run.result == 0) {
        EXPECT_EQ(loadGreyImage((dir / "out-tovel.png").c_str(), run.out), 0);
    }
    return run;
}

// The mean column of the dark pixels in box.
double meanInkX(const GreyImage& image, const Box& b) {
    double sum = 0;
    long long n = 0;
    for (int y = std::max(b.y0, 0); y <= std::min(b.y1, image.height - 1); ++y)
        for (int x = std::max(b.x0, 0); x <= std::min(b.x1, image.width - 1); ++x)
            if (image.at(x, y) < 128) {
                sum += x;
                ++n;
            }
    return n ? sum / static_cast<double>(n) : -1;
}

// What became of the page's text lines: how many keep at least half their ink in a strip a
// line pitch wide about where they stood, and how far the ink of a tier moved across the sheet.
struct Kept {
    int lines = 0, whole = 0;
    double shift = 0;
};

Kept keptLines(const SheetRun& run, const SheetTruth& truth) {
    Kept k;
    const int half = static_cast<int>(0.6 * truth.linePitch);
    for (const PageTruth& page : truth.pages) {
        for (const TierTruth& tier : page.tiers) {
            const Box t = boundsOf(tier.box);
            for (const LineTruth& line : tier.lines) {
                const Box l = boundsOf(line.box);
                const int mid = (l.x0 + l.x1) / 2;
                const int before = darkPixels(run.in, mid - half, t.y0, mid + half + 1, t.y1 + 1);
                const int after = darkPixels(run.out, mid - half, t.y0, mid + half + 1, t.y1 + 1);
                ++k.lines;
                k.whole += 2 * after >= before;
            }
        }
        for (const TierTruth& tier : page.tiers) {
            const Box t = boundsOf(tier.box);
            k.shift = std::max(k.shift, std::fabs(meanInkX(run.out, t) - meanInkX(run.in, t)));
        }
    }
    return k;
}

SynthOptions oldMagazine(uint64_t seed, const char* sliver, const char* bookEdge) {
    SynthOptions o;
    o.seed = seed;
    EXPECT_TRUE(applyPreset("two-tier", o));
    o.turn = 0;  // the input and the output are compared pixel for pixel
    o.sliver = sliver;
    o.bookEdge = bookEdge;
    o.frames = true;
    return o;
}

}  // namespace

TEST(OldScansOnSheets, AFacingPageStripAndABookEdgeLeaveThePageInPlaceAndWhole) {
    TempDir dir;
    struct Case {
        uint64_t seed;
        const char* sliver;
        const char* edge;
        double share;
    } cases[] = {{5101, "right", "left", 0.05}, {5102, "left", "right", 0.03}, {5103, "left", "", 0.08},
                 {5104, "", "right", 0.05}};
    for (const Case& c : cases) {
        SynthOptions o = oldMagazine(c.seed, c.sliver, c.edge);
        o.sliverShare = c.share;
        SheetTruth truth;
        const SheetRun run = runOnSheet(o, truth, dir);
        ASSERT_EQ(run.result, 0) << "seed " << c.seed;
        EXPECT_EQ(run.out.width, run.in.width);
        EXPECT_EQ(run.notices, 0) << "seed " << c.seed << ": the analysis should be trusted";
        const Kept k = keptLines(run, truth);
        EXPECT_EQ(k.whole, k.lines) << "seed " << c.seed << ": lines that lost their text";
        EXPECT_LT(k.shift, truth.linePitch) << "seed " << c.seed << ": the page moved across the sheet";
    }
}

TEST(OldScansOnSheets, AStampOverTheTextLosesNoLine) {
    TempDir dir;
    for (uint64_t seed : {5201u, 5202u}) {
        SynthOptions o = oldMagazine(seed, "right", "left");
        o.stamp = true;
        SheetTruth truth;
        const SheetRun run = runOnSheet(o, truth, dir);
        ASSERT_EQ(run.result, 0);
        const Kept k = keptLines(run, truth);
        EXPECT_EQ(k.whole, k.lines) << "seed " << seed;
        EXPECT_LT(k.shift, truth.linePitch) << "seed " << seed;
    }
}
