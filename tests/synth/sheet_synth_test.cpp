#include "sheet_synth.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace {

// The darkest pixel inside quad q shrunk towards its centre by the given share.
int darkestInside(const GreyImage& image, const Quad& q, double shrink) {
    double cx = 0, cy = 0;
    for (const Point& p : q.p) {
        cx += p.x / 4;
        cy += p.y / 4;
    }
    Point in[4];
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (int i = 0; i < 4; ++i) {
        in[i] = {cx + (q.p[i].x - cx) * (1 - shrink), cy + (q.p[i].y - cy) * (1 - shrink)};
        x0 = std::min(x0, in[i].x);
        y0 = std::min(y0, in[i].y);
        x1 = std::max(x1, in[i].x);
        y1 = std::max(y1, in[i].y);
    }
    // A point is inside when it lies on the same side of all four edges.
    auto inside = [&in](double x, double y) {
        int sign = 0;
        for (int i = 0; i < 4; ++i) {
            const Point& a = in[i];
            const Point& b = in[(i + 1) % 4];
            const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
            const int s = cross > 0 ? 1 : (cross < 0 ? -1 : 0);
            if (s != 0 && sign != 0 && s != sign) return false;
            if (s != 0) sign = s;
        }
        return true;
    };
    int darkest = 255;
    for (int y = std::max(0, static_cast<int>(y0)); y <= std::min(image.height - 1, static_cast<int>(y1)); ++y)
        for (int x = std::max(0, static_cast<int>(x0)); x <= std::min(image.width - 1, static_cast<int>(x1)); ++x)
            if (inside(x + 0.5, y + 0.5)) darkest = std::min<int>(darkest, image.at(x, y));
    return darkest;
}

// Every character cell holds ink and every blank cell is blank, in the sheet as written.
void expectTruthMatchesPixels(const GreyImage& sheet, const SheetTruth& truth) {
    int chars = 0, blanks = 0;
    for (const PageTruth& page : truth.pages)
        for (const TierTruth& tier : page.tiers)
            for (const LineTruth& line : tier.lines)
                for (const CellTruth& cell : line.cells) {
                    if (cell.kind == "blank") {
                        ++blanks;
                        EXPECT_GT(darkestInside(sheet, cell.box, 0.1), 150) << "blank cell with ink";
                    } else {
                        ++chars;
                        EXPECT_LT(darkestInside(sheet, cell.box, 0.0), 110) << cell.text << " has no ink";
                    }
                }
    EXPECT_GT(chars, 300);
    EXPECT_GT(blanks, 5);
}

SynthOptions preset(const char* name, uint64_t seed) {
    SynthOptions o;
    o.seed = seed;
    EXPECT_TRUE(applyPreset(name, o));
    return o;
}

struct Sheet {
    GreyImage image;
    SheetTruth truth;
};

Sheet synthesize(const SynthOptions& o) {
    Sheet s;
    std::string error;
    EXPECT_TRUE(synthesizeSheet(o, s.image, s.truth, error)) << error;
    return s;
}

}  // namespace

TEST(SynthSheets, CellsOfACleanPageHoldInkAndBlanksStayBlank) {
    const auto [sheet, truth] = synthesize(preset("clean-page", 3));
    EXPECT_EQ(truth.width, sheet.width);
    ASSERT_EQ(truth.pages.size(), 1u);
    ASSERT_EQ(truth.pages[0].tiers.size(), 1u);
    const LineTruth& first = truth.pages[0].tiers[0].lines.at(0);
    EXPECT_GT(first.box.p[0].x, truth.pages[0].tiers[0].lines.at(1).box.p[0].x) << "lines run right to left";
    expectTruthMatchesPixels(sheet, truth);
}

TEST(SynthSheets, SkewShearAndTurnsMoveTheTruthWithThePixels) {
    for (int turn : {0, 90, 180, 270}) {
        SynthOptions o = preset("clean-page", 5);
        o.rotateDegrees = 1.5;
        o.shear = 0.01;
        o.turn = turn;
        o.spread = true;
        o.tiers = 2;
        o.gutter = 0.4;
        const auto [sheet, truth] = synthesize(o);
        EXPECT_EQ(truth.turn, turn);
        EXPECT_EQ(sheet.width, turn % 180 ? 2150 : 3024);  // B6 spread: 256 x 182 mm
        EXPECT_EQ(truth.width, sheet.width);
        EXPECT_EQ(std::pair(truth.pages.size(), truth.pages.at(0).tiers.size()), std::pair(2ul, 2ul));
        expectTruthMatchesPixels(sheet, truth);
    }
}

TEST(SynthSheets, TheSameSeedGivesTheSameBytesAndAnotherSeedAnotherSheet) {
    TempDir dir;
    std::string error;
    auto render = [&](uint64_t seed, const std::string& name) {
        const SynthOptions o = preset("magazine", seed);
        const auto [sheet, truth] = synthesize(o);
        EXPECT_TRUE(writeSheet(dir / name, sheet, truth, o.jpegQuality, error)) << error;
        return readFile(dir / name) + readFile(truthPathFor(dir / name));
    };
    const std::string one = render(11, "a.jpg");
    EXPECT_EQ(one, render(11, "b.jpg"));
    EXPECT_NE(one, render(12, "c.jpg"));
}
