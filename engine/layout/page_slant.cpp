#include "layout/page_slant.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "bands/band_geometry.h"

namespace {

// Rows are summed in blocks this high: within a block a slant of maxSlant moves a line by less
// than two columns on pages of 3000 rows.
constexpr int kBlockRows = 32;

// The step of the first, coarse search over slants.
constexpr int kCoarse = 4;

// Darker than this counts as ink.
constexpr int kInk = 128;

// Side edges whose slants differ by more than a page's height over this fan its lines.
constexpr int kFanningPerHeight = 100;

// Fewer ink pixels than this per 1000 of the page say nothing about its lines.
constexpr int kLeastInkPerMille = 5;

}  // namespace

int measurePageSlant(const GreyImage& image, int left, int right, int top, int bottom, int maxSlant) {
    left = std::max(left, 0);
    right = std::min(right, image.width - 1);
    top = std::max(top, 0);
    bottom = std::min(bottom, image.height - 1);
    if (right <= left || bottom <= top) return 0;
    const int width = right - left + 1, height = bottom - top + 1;
    const int blocks = (height + kBlockRows - 1) / kBlockRows;

    // Each block's column profile.
    std::vector<std::vector<int>> profiles(static_cast<size_t>(blocks), std::vector<int>(static_cast<size_t>(width), 0));
    long long ink = 0;
    for (int y = top; y <= bottom; ++y) {
        std::vector<int>& profile = profiles[static_cast<size_t>((y - top) / kBlockRows)];
        const unsigned char* row = image.pixels.data() + static_cast<size_t>(y) * image.width;
        for (int x = left; x <= right; ++x)
            if (row[x] < kInk) {
                ++profile[static_cast<size_t>(x - left)];
                ++ink;
            }
    }
    if (ink * 1000 < static_cast<long long>(kLeastInkPerMille) * width * height) return 0;

    // Where each block's middle row lies along the page, from -0.5 at the top to 0.5 at the foot.
    std::vector<double> positions(static_cast<size_t>(blocks));
    for (int b = 0; b < blocks; ++b)
        positions[static_cast<size_t>(b)] = (std::min(b * kBlockRows + kBlockRows / 2, height - 1) - (height - 1) / 2.0) / (height - 1);

    // The sharpness of the profile summed along a slant: the sum of its squares, which is
    // largest when the lines' ink falls into the same columns from top to bottom.
    std::vector<long long> sum(static_cast<size_t>(width));
    auto sharpness = [&](int slant) {
        std::fill(sum.begin(), sum.end(), 0);
        for (int b = 0; b < blocks; ++b) {
            const int shift = static_cast<int>(std::lround(slant * positions[static_cast<size_t>(b)]));
            const std::vector<int>& profile = profiles[static_cast<size_t>(b)];
            for (int x = std::max(0, shift); x < std::min(width, width + shift); ++x)
                sum[static_cast<size_t>(x - shift)] += profile[static_cast<size_t>(x)];
        }
        long long s = 0;
        for (long long v : sum) s += v * v;
        return s;
    };
    // Every kCoarse-th slant first, then every slant around the best of them: the sharpness
    // falls off over a line's width, far more than kCoarse columns.
    int best = 0;
    long long bestSharpness = sharpness(0);
    auto consider = [&](int slant) {
        const long long s = sharpness(slant);
        // Ties keep the slant nearest upright.
        if (s > bestSharpness || (s == bestSharpness && std::abs(slant) < std::abs(best))) {
            bestSharpness = s;
            best = slant;
        }
    };
    for (int slant = kCoarse; slant <= maxSlant; slant += kCoarse) {
        consider(slant);
        consider(-slant);
    }
    const int coarse = best;
    for (int slant = std::max(coarse - kCoarse + 1, -maxSlant); slant <= std::min(coarse + kCoarse - 1, maxSlant); ++slant)
        if (slant != coarse) consider(slant);
    return best;
}

void slantPageEdgesAsText(VerticalBandList& pages, const GreyImage& image) {
    // The room an edge may take: up to the neighbouring bands (the other page of a spread, a
    // seam) and the sides of the image.
    const HorizontalBand sheet = rowBetween(0, image.width - 1, 0, 0, image.height - 1, image.height - 1);
    for (uint32_t i = 0; i < pages.count(); ++i) {
        VerticalBand& page = pages[i];
        if (page.type != 2) continue;
        const int left = std::min(page.xLeftTop, page.xLeftBottom), right = std::max(page.xRightTop, page.xRightBottom);
        const int height = page.yBottom - page.yTop + 1;
        // Edges that run (nearly) alike place the page without fanning it: they stay.
        const int leftSlant = page.xLeftBottom - page.xLeftTop, rightSlant = page.xRightBottom - page.xRightTop;
        if (std::abs(leftSlant - rightSlant) <= height / kFanningPerHeight) continue;
        // Up to 5 % either way: 3 degrees, past any skew a scanner leaves.
        const int slant = measurePageSlant(image, left, right, page.yTop, page.yBottom, height / 20);
        const NeighbourRoom room = roomBetweenNeighbours(pages, i, i, sheet);
        const int newLeft = std::min(page.xLeftTop, page.xLeftBottom - slant);
        if (newLeft >= room.leftTop && newLeft + slant >= room.leftBottom) {
            page.xLeftTop = newLeft;
            page.xLeftBottom = newLeft + slant;
        }
        const int newRight = std::max(page.xRightTop, page.xRightBottom - slant);
        if (newRight <= room.rightTop && newRight + slant <= room.rightBottom) {
            page.xRightTop = newRight;
            page.xRightBottom = newRight + slant;
        }
    }
}
