#include "prep/noise_cleaning.h"

#include <algorithm>
#include <utility>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

GreyImage white(int w, int h) { return flat(w, h); }

int countBelow(const GreyImage& image, int level) {
    int n = 0;
    for (uint32_t i = 0; i < image.size(); ++i) n += image.pixels[i] < level;
    return n;
}

class Cleaning : public testing::Test {
    TraceCapture quiet;  // the filters' name lines
};

}  // namespace

TEST_F(Cleaning, SweepingFlattensGreyAndKeepsWhatIsDarkerThanItsSurroundings) {
    GreyImage grey = filled(60, 40, [](int x, int) { return 120 + x; });
    cleanBySweeping4(grey, 20, 20, -35, -5);
    EXPECT_EQ(countBelow(grey, 255), 0) << "a smooth gradient has no local contrast";

    GreyImage dot = white(60, 40);
    dot.at(30, 20) = 0;
    cleanBySweeping4(dot, 20, 20, -35, -5);
    EXPECT_EQ(dot.at(30, 20), 0);
    EXPECT_EQ(countBelow(dot, 255), 1);
    cleanSmallIslands(dot, dot, 240, 120, 5, 1);
    EXPECT_EQ(countBelow(dot, 255), 0) << "a lone dot is an island of one dark pixel";

    // Too narrow for a horizontal window: only the vertical sweep writes.
    GreyImage narrow = white(5, 50);
    narrow.at(2, 25) = 0;
    cleanBySweeping4(narrow, 10, 10, -35, -5);
    EXPECT_EQ(narrow.at(2, 25), 0);
    EXPECT_EQ(countBelow(narrow, 255), 1);
}

// The sweeps, one pixel and one row or column at a time, as the filter is defined: a running
// mean of shares added and removed in order, the level clamped at 0 and 255.
GreyImage sweptOneByOne(const GreyImage& in, int windowX, int windowY, int low, int high) {
    const int w = in.width, h = in.height;
    auto level = [low, high](int p, double mean) {
        const double v = (p - mean - low) * 255 / (high - low);
        return v <= 0 ? 0 : v >= 255 ? 255 : static_cast<int>(v);
    };
    GreyImage out = flat(w, h);
    const int hx = windowX / 2, nx = 2 * hx + 1, hy = windowY / 2, ny = 2 * hy + 1;
    for (int y = 0; y < h; ++y) {
        double mean = 0;
        for (int x = 0; x < w; ++x) {
            mean += static_cast<double>(in.at(x, y)) / nx;
            if (x >= nx) mean -= static_cast<double>(in.at(x - nx, y)) / nx;
            if (x >= nx - 1) out.at(x - hx, y) = static_cast<unsigned char>(level(in.at(x - hx, y), mean));
        }
    }
    for (int x = 0; x < w; ++x) {
        double mean = 0;
        for (int y = 0; y < h; ++y) {
            mean += static_cast<double>(in.at(x, y)) / ny;
            if (y >= ny) mean -= static_cast<double>(in.at(x, y - ny)) / ny;
            if (y >= ny - 1) {
                unsigned char& o = out.at(x, y - hy);
                o = static_cast<unsigned char>(std::min<int>(o, level(in.at(x, y - hy), mean)));
            }
        }
    }
    return out;
}

TEST_F(Cleaning, SweepingMatchesThePixelByPixelRuleAtEverySizeAndEdge) {
    uint32_t seed = 7;
    auto noisy = [&seed](int x, int y) {
        seed = seed * 1664525u + 1013904223u;
        const int ink = (x / 3 + y / 5) % 4 == 0 ? 90 : 0;  // strokes, so levels fall between the clamps
        return 200 - ink + static_cast<int>((seed >> 24) % 40) + x % 7;
    };
    for (const auto& [w, h] : {std::pair{61, 37}, {64, 40}, {7, 9}, {3, 4}, {1, 13}, {13, 1}, {30, 5}}) {
        const GreyImage in = filled(w, h, noisy);
        for (const auto& [low, high] : {std::pair{-35, -5}, {-35, -2}, {-10, 20}}) {
            GreyImage swept = in;
            cleanBySweeping4(swept, 10, 6, low, high);
            const GreyImage expected = sweptOneByOne(in, 10, 6, low, high);
            ASSERT_TRUE(std::equal(swept.pixels.data(), swept.pixels.data() + swept.size(), expected.pixels.data()))
                << w << " x " << h << ", low " << low << ", high " << high;
        }
    }
}

TEST_F(Cleaning, AUShapedIslandCountsTheDarkPixelsOfBothArms) {
    // Two arms of 3 dark pixels joined only by a pale (ink but not dark) base two rows lower.
    GreyImage u = white(20, 20);
    for (int y = 5; y < 8; ++y) {
        u.at(5, y) = 0;
        u.at(9, y) = 0;
    }
    for (int x = 5; x <= 9; ++x) u.at(x, 8) = 200;
    GreyImage kept(u);
    cleanSmallIslands(kept, u, 240, 120, 5, 1);
    EXPECT_EQ(countBelow(kept, 255), 11) << "6 dark pixels in one component exceed 5";
    GreyImage removed(u);
    cleanSmallIslands(removed, u, 240, 120, 6, 1);
    EXPECT_EQ(countBelow(removed, 255), 0);

    // An S-shaped island whose second turn joins two runs already joined above.
    GreyImage s = white(20, 20);
    for (int x = 2; x < 15; ++x) s.at(x, 2) = s.at(x, 6) = s.at(x, 10) = 0;
    for (int y = 2; y <= 6; ++y) s.at(2, y) = 0;
    for (int y = 6; y <= 10; ++y) s.at(14, y) = 0;
    const int inked = countBelow(s, 255);
    cleanSmallIslands(s, s, 240, 120, inked - 1, 1);
    EXPECT_EQ(countBelow(s, 255), inked);
}

TEST_F(Cleaning, TheSourceDecidesAndTheTargetKeepsItsOwnValues) {
    GreyImage target = white(20, 20), source = white(20, 20);
    target.at(10, 10) = 77;
    target.at(3, 3) = 50;
    for (int y = 8; y < 13; ++y)
        for (int x = 8; x < 13; ++x) source.at(x, y) = 0;  // 25 dark pixels around (10, 10)
    cleanSmallIslands(target, source, 160, 50, 20, 0);
    EXPECT_EQ(target.at(10, 10), 77);
    EXPECT_EQ(target.at(3, 3), 255) << "not ink in the source";
}

TEST_F(Cleaning, SmearingBlackensDenseInkOnly) {
    GreyImage all = white(10, 10);
    smearImage(all, 80, 3, 3, 0);
    EXPECT_EQ(countBelow(all, 1), 100) << "a product of 0 is always reached";

    GreyImage sparse = white(30, 30);
    sparse.at(3, 3) = 0;
    for (int k = 15; k < 20; ++k) sparse.at(k, 15) = sparse.at(k, 19) = sparse.at(15, k) = sparse.at(19, k) = 0;
    smearImage(sparse, 80, 4, 4, 1);  // windows of 5: dark both in the row and in the column
    EXPECT_EQ(sparse.at(3, 3), 0);
    EXPECT_EQ(sparse.at(4, 3), 255) << "a lone dot does not spread";
    EXPECT_EQ(countBelow(sparse, 1), 1 + 25) << "the hollow square fills in, and no further";
}
