// The page finder on generated sheets: pages, seams, tiers and columns against the truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/progress.h"
#include "pipeline/image_io.h"
#include "pipeline/layo.h"
#include "sheet_synth.h"
#include "test_support.h"

namespace {

// What the page finder left for the output, seen through LAYO's inspection hook.
struct Seen {
    int pages = 0;
    int seamX = -1;
    int tiers = 0, thinRows = 0;
    int textColumns = 0;
    int width = 0, height = 0;
};

void look(void* context, const char*, const GreyImage& analysed, const VerticalBandList& pages, int seamX, double) {
    Seen& s = *static_cast<Seen*>(context);
    s = Seen();
    s.width = analysed.width;
    s.height = analysed.height;
    s.seamX = seamX;
    for (const VerticalBand& p : pages) {
        ++s.pages;
        if (!p.rowsIfAny()) continue;
        for (const HorizontalBand& r : *p.rowsIfAny()) {
            s.tiers += r.type == 1;
            s.thinRows += r.type == 4;
            if (!r.columnsIfAny()) continue;
            for (const VerticalBand& c : *r.columnsIfAny()) s.textColumns += c.type == 4;
        }
    }
}

int sheetCount(int fallback) {
    const char* n = std::getenv("TOVEL_LAYOUT_SHEETS");
    return n ? std::max(1, std::atoi(n)) : fallback;
}

// Renders the sheet, runs LAYO on it and reports what the page finder saw.
Seen analyse(const SynthOptions& o, SheetTruth& truth, const TempDir& dir, LayoOptions options = LayoOptions()) {
    GreyImage sheet;
    std::string error;
    EXPECT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
    const std::string in = dir / "sheet.png", out = dir / "out.png";
    EXPECT_EQ(saveGreyImage(in.c_str(), sheet), 0);
    Seen seen;
    LayoStages stages = defaultLayoStages();
    stages.inspect = look;
    stages.inspectContext = &seen;
    TraceCapture quiet;
    EXPECT_EQ(runLayo(in.c_str(), out.c_str(), options, stages), 0);
    return seen;
}

int truthLines(const SheetTruth& t) {
    int n = 0;
    for (const PageTruth& p : t.pages)
        for (const TierTruth& tier : p.tiers) n += static_cast<int>(tier.lines.size());
    return n;
}

}  // namespace

TEST(LayoutOnSheets, PagesSeamsTiersAndColumnsOfNovelPagesAndSpreads) {
    TempDir dir;
    const int n = sheetCount(4);
    int pagesRight = 0, seams = 0, spreads = 0, strips = 0, stripSeams = 0, lines = 0, columns = 0;
    for (int i = 0; i < n; ++i) {
        SynthOptions o;
        o.seed = 3000 + static_cast<uint64_t>(i);
        ASSERT_TRUE(applyPreset(i % 2 ? "novel-spread" : "novel-page", o));
        SheetTruth truth;
        const Seen s = analyse(o, truth, dir);
        const int expected = static_cast<int>(truth.pages.size());
        pagesRight += s.pages == expected;
        if (truth.hasSeam) {
            ++spreads;
            const double seamTruth = (truth.seam.p[0].x + truth.seam.p[2].x) / 2;
            const bool found = s.seamX >= 0 && std::fabs(s.seamX - seamTruth) <= truth.linePitch;
            seams += found;
            if (o.bindingMm > 0) {
                ++strips;
                stripSeams += found;
            }
        }
        lines += truthLines(truth);
        columns += s.textColumns;
        std::printf("%s seed %llu: pages %d/%d seam %d (binding %.1f mm) tiers %d thin rows %d text columns %d/%d\n",
                    i % 2 ? "spread" : "page  ", static_cast<unsigned long long>(o.seed), s.pages, expected,
                    s.seamX, o.bindingMm, s.tiers, s.thinRows, s.textColumns, truthLines(truth));
    }
    std::printf("pages right on %d of %d sheets; seams found on %d of %d spreads (%d of %d with a binding strip); "
                "%d text columns for %d lines\n",
                pagesRight, n, seams, spreads, stripSeams, strips, columns, lines);
    EXPECT_GE(pagesRight * 10, n * 9);
    EXPECT_GE(seams * 10, spreads * 9);
    EXPECT_GE(columns * 10, lines * 9);
    EXPECT_LE(columns * 10, lines * 12) << "ruby should not count as text lines";
}

TEST(LayoutOnSheets, ATwoTierPageHasTwoTiersAndAThinPageNumberRow) {
    TempDir dir;
    SynthOptions o;
    o.seed = 41;
    ASSERT_TRUE(applyPreset("two-tier", o));
    SheetTruth truth;
    const Seen s = analyse(o, truth, dir);
    EXPECT_EQ(s.pages, 1);
    EXPECT_EQ(s.tiers, 2);
    EXPECT_GE(s.thinRows, 1);
    EXPECT_EQ(s.width, truth.width) << "an upright page is not turned";
}

TEST(LayoutOnSheets, SheetsLyingOnTheirSideComeOutPortrait) {
    TempDir dir;
    for (int turn : {90, 270}) {
        SynthOptions o;
        o.seed = 5;
        ASSERT_TRUE(applyPreset("rotated", o));
        o.turn = turn;
        SheetTruth truth;
        const Seen s = analyse(o, truth, dir);
        EXPECT_GT(truth.width, truth.height) << "the scan lies on its side";
        EXPECT_LT(s.width, s.height) << "turned " << turn << ": analysed upright or upside down, portrait either way";
        GreyImage out;
        ASSERT_EQ(loadGreyImage((dir / "out-tovel.png").c_str(), out), 0);
        EXPECT_LT(out.width, out.height);
    }
}

TEST(LayoutOnSheets, ADividedSpreadWritesEachWholePageOnItsOwn) {
    TempDir dir;
    SynthOptions o;
    o.seed = 3003;
    ASSERT_TRUE(applyPreset("novel-spread", o));
    o.bindingMm = 3;
    SheetTruth truth;
    LayoOptions options;
    options.dividePage = 1;
    const Seen s = analyse(o, truth, dir, options);
    ASSERT_EQ(s.pages, 2);
    ASSERT_GE(s.seamX, 0);
    // Right page first; each file holds the ink of its page and none touches the cut.
    for (const char* name : {"out-tovel-1.png", "out-tovel-2.png"}) {
        GreyImage page;
        ASSERT_EQ(loadGreyImage((dir / name).c_str(), page), 0) << name;
        EXPECT_NEAR(page.width, truth.width / 2, truth.linePitch) << name;
        int ink = 0, atCut = 0;
        const bool right = std::string(name) == "out-tovel-1.png";
        for (int y = 0; y < page.height; ++y)
            for (int x = 0; x < page.width; ++x) {
                if (page.at(x, y) >= 128) continue;
                ++ink;
                if (right ? x < 5 : x >= page.width - 5) ++atCut;
            }
        EXPECT_GT(ink, 10000) << name;
        EXPECT_EQ(atCut, 0) << name << ": the page's text is whole, away from the cut";
    }
}

namespace {

// The top ink row of every text line of each tier, as placed, with the line's middle column.
struct TierTops {
    std::vector<double> x, top;
};

struct TopsSeen {
    std::vector<TierTops> tiers;
};

void lookAtTops(void* context, const char*, const GreyImage& image, const VerticalBandList& pages, int, double) {
    auto& seen = *static_cast<TopsSeen*>(context);
    for (const VerticalBand& p : pages) {
        if (!p.rowsIfAny()) continue;
        for (const HorizontalBand& r : *p.rowsIfAny()) {
            if (r.type != 1 || !r.columnsIfAny()) continue;
            TierTops t;
            for (const VerticalBand& c : *r.columnsIfAny()) {
                if (c.type != 4) continue;
                int top = -1;
                for (int y = std::max(r.yTopLeft - 5, 0); y < image.height && top < 0; ++y)
                    for (int x = c.xLeftTop; x <= c.xRightTop && top < 0; ++x)
                        if (image.at(x, y) < 128) top = y;
                if (top < 0) continue;
                t.x.push_back((c.xLeftTop + c.xRightTop) / 2.0);
                t.top.push_back(top);
            }
            seen.tiers.push_back(t);
        }
    }
}

// How far the tops of the lines that start in the first cell (within a third of a character
// of the highest) fall from the left of the tier to its right, by a least-squares line: the
// first glyphs' own shapes move single tops by a few pixels either way.
double fallOfTops(const TierTops& t, double em, double& distance) {
    const double highest = *std::min_element(t.top.begin(), t.top.end());
    std::vector<double> x, y;
    for (size_t i = 0; i < t.x.size(); ++i)
        if (t.top[i] <= highest + em / 3) {
            x.push_back(t.x[i]);
            y.push_back(t.top[i]);
        }
    distance = x.empty() ? 0 : *std::max_element(x.begin(), x.end()) - *std::min_element(x.begin(), x.end());
    return leastSquaresSlope(x, y) * distance;
}

}  // namespace

TEST(LayoutOnSheets, TurnedPagesComeOutWithLevelTiers) {
    TempDir dir;
    for (double degrees : {1.5, -1.0}) {
        SynthOptions o;
        o.seed = 12;
        ASSERT_TRUE(applyPreset("novel-page", o));
        o.rotateDegrees = degrees;
        GreyImage sheet;
        SheetTruth truth;
        std::string error;
        ASSERT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
        const std::string in = dir / "turned.png", out = dir / "turned-out.png";
        ASSERT_EQ(saveGreyImage(in.c_str(), sheet), 0);
        TopsSeen seen;
        LayoStages stages = defaultLayoStages();
        stages.inspect = lookAtTops;
        stages.inspectContext = &seen;
        TraceCapture quiet;
        ASSERT_EQ(runLayo(in.c_str(), out.c_str(), LayoOptions(), stages), 0);
        ASSERT_FALSE(seen.tiers.empty());
        for (const TierTops& t : seen.tiers) {
            ASSERT_GE(t.x.size(), 3u);
            // Before straightening the tops fall by sin(angle) * distance: 26 pixels per 1000
            // at 1.5 degrees. Level means within a pixel per 1000, plus one for rounding.
            double distance = 0;
            const double fall = fallOfTops(t, truth.charPitch, distance);
            EXPECT_LE(std::fabs(fall), distance / 1000 + 1) << degrees << " degrees: tops fall " << fall << " over " << distance;
        }
    }
}

namespace {

// The number of dark pixels of the image inside the quad's bounds widened by margin.
int inkIn(const GreyImage& image, const Quad& q, int margin) {
    const Quad b = q.bounds();
    const double x0 = b.p[0].x, y0 = b.p[0].y, x1 = b.p[2].x, y1 = b.p[2].y;
    int ink = 0;
    for (int y = std::max(static_cast<int>(y0) - margin, 0); y <= std::min(static_cast<int>(y1) + margin, image.height - 1); ++y)
        for (int x = std::max(static_cast<int>(x0) - margin, 0); x <= std::min(static_cast<int>(x1) + margin, image.width - 1); ++x)
            ink += image.at(x, y) < 128;
    return ink;
}

}  // namespace

TEST(LayoutOnSheets, RemovedHeadersAndPageNumbersLeaveTheirPlaceWhite) {
    // Running headers cover only part of the width; a page number even less.
    TempDir dir;
    int rows = 0, white = 0;
    for (int i = 0; i < 12; ++i) {
        SynthOptions o;
        o.seed = 41 + static_cast<uint64_t>(i);
        ASSERT_TRUE(applyPreset(i % 2 ? "novel-page" : "two-tier", o));
        SheetTruth truth;
        LayoOptions options;
        options.removeHeader = 1;
        analyse(o, truth, dir, options);
        GreyImage out;
        ASSERT_EQ(loadGreyImage((dir / "out-tovel.png").c_str(), out), 0);
        for (const PageTruth& p : truth.pages) {
            for (auto [has, quad] : {std::pair{p.hasHeader, p.header}, std::pair{p.hasFooter, p.footer}}) {
                if (!has) continue;
                ++rows;
                // A speck of dust may stay; a character holds far more ink.
                const int ink = inkIn(out, quad, 4);
                white += ink <= 20;
                if (ink > 20) std::printf("seed %llu: %d dark pixels left at a header or page number\n", static_cast<unsigned long long>(o.seed), ink);
            }
        }
    }
    std::printf("%d of %d headers and page numbers white\n", white, rows);
    // A header whose row comes close to the first tier (within half a character pitch at either
    // end of its slanted edges) is fused into the tier and stays.
    EXPECT_GE(white * 10, rows * 9);
}
