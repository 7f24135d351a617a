#include "prep/noise_cleaning.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "core/trace.h"

namespace {

// Level mapping of pixel p against local mean m: trunc((p - m - low) * 255 / (high - low)),
// clamped to 0 .. 255. The division is needed only between the two clamps: a = p - m - low
// at or below 0 gives at most 0, and a at or above high - low gives at least 255 exactly,
// because rounding is monotonic and (high - low) * 255 / (high - low) is exact.
inline unsigned char level(int p, double mean, int low, int high) {
    const double a = p - mean - low;
    if (a <= 0) return 0;
    if (a >= high - low) return 255;
    const double v = a * 255 / (high - low);
    if (v >= 255) return 255;
    return static_cast<unsigned char>(static_cast<int>(v));
}

// v / n for every byte value v, as the running means add and remove them.
std::vector<double> shares(int n) {
    std::vector<double> table(256);
    for (int v = 0; v < 256; ++v) table[static_cast<size_t>(v)] = static_cast<double>(v) / n;
    return table;
}

// One horizontal run of ink pixels of a row.
struct Run {
    int x0;
    int x1;  // inclusive
    uint32_t label;
};

uint32_t findRoot(std::vector<uint32_t>& parent, uint32_t a) {
    while (parent[a] != a) {
        parent[a] = parent[parent[a]];
        a = parent[a];
    }
    return a;
}

}  // namespace

void cleanBySweeping4(GreyImage& image, int windowX, int windowY, int low, int high) {
    trace("cleanBySweeping4()...");
    const int w = image.width, h = image.height;
    const size_t size = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (size == 0 || high == low) {
        trace("\n");
        return;
    }
    const std::vector<unsigned char> c(image.pixels.data(), image.pixels.data() + size);
    unsigned char* out = image.pixels.data();
    std::memset(out, 255, size);

    // Along each row: a running mean over n pixels, written at the window's centre.
    const int hx = windowX / 2, nx = 2 * hx + 1;
    const std::vector<double> shareX = shares(nx);
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = &c[static_cast<size_t>(y) * w];
        unsigned char* dst = out + static_cast<size_t>(y) * w;
        double mean = 0;
        for (int x = 0; x < w; ++x) {
            mean += shareX[row[x]];
            if (x >= nx) mean -= shareX[row[x - nx]];
            if (x >= nx - 1) dst[x - hx] = level(row[x - hx], mean, low, high);
        }
    }

    // Along each column, all columns advanced together row by row; the darker result is kept.
    const int hy = windowY / 2, ny = 2 * hy + 1;
    const std::vector<double> shareY = shares(ny);
    std::vector<double> means(static_cast<size_t>(w), 0.0);
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = &c[static_cast<size_t>(y) * w];
        const unsigned char* old = y >= ny ? &c[static_cast<size_t>(y - ny) * w] : nullptr;
        const bool write = y >= ny - 1;
        const unsigned char* centre = write ? &c[static_cast<size_t>(y - hy) * w] : nullptr;
        unsigned char* dst = write ? out + static_cast<size_t>(y - hy) * w : nullptr;
        for (int x = 0; x < w; ++x) {
            double& mean = means[static_cast<size_t>(x)];
            mean += shareY[row[x]];
            if (old) mean -= shareY[old[x]];
            if (write) dst[x] = std::min(dst[x], level(centre[x], mean, low, high));
        }
    }
    trace("\n");
}

void smearImage(GreyImage& image, int threshold, int lengthX, int lengthY, int minProduct) {
    trace("smearImage()...");
    const int w = image.width, h = image.height;
    const size_t size = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (size == 0) {
        trace("\n");
        return;
    }
    const int nx = lengthX % 2 ? lengthX : lengthX + 1;
    const int ny = lengthY % 2 ? lengthY : lengthY + 1;
    const int hx = nx / 2, hy = ny / 2;
    const unsigned char* in = image.pixels.data();
    std::vector<unsigned char> out(in, in + size);
    auto dark = [in, w, threshold](int x, int y) { return in[static_cast<size_t>(y) * w + x] < threshold; };

    std::vector<int> colCount(static_cast<size_t>(w), 0);
    for (int y = 0; y < std::min(hy, h); ++y)
        for (int x = 0; x < w; ++x) colCount[static_cast<size_t>(x)] += dark(x, y);

    for (int y = 0; y < h; ++y) {
        int rowCount = 0;
        for (int x = 0; x < std::min(hx, w); ++x) rowCount += dark(x, y);
        for (int x = 0; x < w; ++x) {
            if (x + hx < w && dark(x + hx, y)) ++rowCount;
            if (x - hx - 1 >= 0 && dark(x - hx - 1, y)) --rowCount;
            int& col = colCount[static_cast<size_t>(x)];
            if (y + hy < h && dark(x, y + hy)) ++col;
            if (y - hy - 1 >= 0 && dark(x, y - hy - 1)) --col;
            if (static_cast<long long>(col) * rowCount >= minProduct) out[static_cast<size_t>(y) * w + x] = 0;
        }
    }
    std::memcpy(image.pixels.data(), out.data(), size);
    trace("\n");
}

// Components are found run by run: each run of ink in a row is united with the runs it touches
// in the row above (4-connectivity), with a union-find over run labels. The components, their
// dark-pixel counts and their border contact are exactly those of a pixel-by-pixel labelling.
void cleanSmallIslands(GreyImage& target, const GreyImage& source, unsigned char lightLevel,
                       unsigned char darkLevel, int maxDark, unsigned char dropBorder) {
    trace("cleanSmallIslands()...");
    const int w = source.width, h = source.height;
    if (w <= 0 || h <= 0 || target.width != w || target.height != h) {
        trace("\n");
        return;
    }
    const unsigned char* src = source.pixels.data();

    std::vector<Run> runs;
    std::vector<size_t> rowStart(static_cast<size_t>(h) + 1, 0);
    std::vector<uint32_t> parent;
    std::vector<uint32_t> darkCount;
    std::vector<unsigned char> border;
    for (int y = 0; y < h; ++y) {
        rowStart[static_cast<size_t>(y)] = runs.size();
        const unsigned char* row = src + static_cast<size_t>(y) * w;
        const size_t above = y > 0 ? rowStart[static_cast<size_t>(y) - 1] : 0;
        const size_t aboveEnd = y > 0 ? rowStart[static_cast<size_t>(y)] : 0;
        size_t k = above;
        int x = 0;
        while (x < w) {
            if (row[x] > lightLevel) {
                ++x;
                continue;
            }
            const int x0 = x;
            uint32_t dark = 0;
            while (x < w && row[x] <= lightLevel) {
                dark += row[x] <= darkLevel;
                ++x;
            }
            const uint32_t label = static_cast<uint32_t>(parent.size());
            parent.push_back(label);
            darkCount.push_back(dark);
            border.push_back(y == 0 || y == h - 1 || x0 == 0 || x == w);
            runs.push_back(Run{x0, x - 1, label});
            // Runs above that overlap columns x0 .. x-1 touch this one.
            while (k < aboveEnd && runs[k].x1 < x0) ++k;
            for (size_t j = k; j < aboveEnd && runs[j].x0 <= x - 1; ++j) {
                const uint32_t a = findRoot(parent, runs[j].label);
                const uint32_t b = findRoot(parent, label);
                if (a != b) parent[b] = a;
            }
        }
    }
    rowStart[static_cast<size_t>(h)] = runs.size();

    // Totals per component, gathered at the roots.
    const size_t n = parent.size();
    std::vector<uint32_t> totalDark(n, 0);
    std::vector<unsigned char> touches(n, 0);
    for (uint32_t l = 0; l < n; ++l) {
        const uint32_t r = findRoot(parent, l);
        totalDark[r] += darkCount[l];
        touches[r] |= border[l];
    }

    unsigned char* dst = target.pixels.data();
    for (int y = 0; y < h; ++y) {
        unsigned char* row = dst + static_cast<size_t>(y) * w;
        int x = 0;
        for (size_t k = rowStart[static_cast<size_t>(y)]; k < rowStart[static_cast<size_t>(y) + 1]; ++k) {
            const Run& run = runs[k];
            std::memset(row + x, 255, static_cast<size_t>(run.x0 - x));
            const uint32_t r = findRoot(parent, run.label);
            const bool keep = static_cast<long long>(totalDark[r]) > maxDark && !(dropBorder && touches[r]);
            if (!keep) std::memset(row + run.x0, 255, static_cast<size_t>(run.x1 - run.x0 + 1));
            x = run.x1 + 1;
        }
        std::memset(row + x, 255, static_cast<size_t>(w - x));
    }
    trace("\n");
}
