#include "prep/noise_cleaning.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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

#if defined(__SSE2__)
// level() for two pixels at once, each lane against its own mean; the levels go to *first
// and *second. The same doubles are computed as in level(): a lane between the clamps divides
// exactly as there, and a lane at or beyond a clamp is set to 0 or 255 (0 first, as level()
// tests it first) in place of its quotient. Dividing every pair costs less than a branch on
// whether the pair needs it, which the processor guesses wrong at every edge of ink.
class LevelPair {
public:
    LevelPair(int low, int high)
        : low_(_mm_set1_pd(low)), range_(_mm_set1_pd(high - low)), zero_(_mm_setzero_pd()),
          white_(_mm_set1_pd(255.0)) {}

    void map(__m128d pixels, __m128d means, unsigned char* first, unsigned char* second) const {
        const __m128d a = _mm_sub_pd(_mm_sub_pd(pixels, means), low_);
        const __m128d dark = _mm_cmple_pd(a, zero_);
        const __m128d light = _mm_cmpge_pd(a, range_);
        __m128d v = _mm_div_pd(_mm_mul_pd(a, white_), range_);
        v = _mm_min_pd(_mm_max_pd(v, zero_), white_);
        v = _mm_or_pd(_mm_and_pd(light, white_), _mm_andnot_pd(light, v));
        v = _mm_andnot_pd(dark, v);
        const __m128i t = _mm_cvttpd_epi32(v);
        *first = static_cast<unsigned char>(_mm_cvtsi128_si32(t));
        *second = static_cast<unsigned char>(_mm_cvtsi128_si32(_mm_srli_si128(t, 4)));
    }

private:
    __m128d low_, range_, zero_, white_;
};

// The shares of bytes a (low lane) and b.
inline __m128d sharePair(const double* share, unsigned char a, unsigned char b) {
    return _mm_set_pd(share[b], share[a]);
}

inline __m128d pixelPair(unsigned char a, unsigned char b) { return _mm_set_pd(b, a); }

// The horizontal sweep of rows y .. y + 3 of c into out. Each row's running mean is the same
// sequence of additions as alone; four rows side by side hide the latency of those additions.
void sweepFourRows(const unsigned char* c, unsigned char* out, int w, int y, int hx, const double* share,
                   const LevelPair& levels) {
    const int nx = 2 * hx + 1;
    const unsigned char* r0 = c + static_cast<size_t>(y) * w;
    const unsigned char *r1 = r0 + w, *r2 = r1 + w, *r3 = r2 + w;
    unsigned char* o0 = out + static_cast<size_t>(y) * w;
    unsigned char *o1 = o0 + w, *o2 = o1 + w, *o3 = o2 + w;
    __m128d means01 = _mm_setzero_pd(), means23 = _mm_setzero_pd();
    for (int x = 0; x < w; ++x) {
        means01 = _mm_add_pd(means01, sharePair(share, r0[x], r1[x]));
        means23 = _mm_add_pd(means23, sharePair(share, r2[x], r3[x]));
        if (x >= nx) {
            means01 = _mm_sub_pd(means01, sharePair(share, r0[x - nx], r1[x - nx]));
            means23 = _mm_sub_pd(means23, sharePair(share, r2[x - nx], r3[x - nx]));
        }
        if (x >= nx - 1) {
            const int cx = x - hx;
            levels.map(pixelPair(r0[cx], r1[cx]), means01, o0 + cx, o1 + cx);
            levels.map(pixelPair(r2[cx], r3[cx]), means23, o2 + cx, o3 + cx);
        }
    }
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define TOVEL_SWEEP_AVX2 1
// The column sweep of one row, four columns at a time with the AVX2 instructions, where the row
// both adds a pixel to each column's window and drops one: means[x] += share[row[x]], then
// -= share[old[x]], and dst[x] takes the darker of itself and the level of centre[x]. The same
// double operations in the same order as level() and LevelPair, so the same bytes. Answers how
// many columns it did (a multiple of four); the caller does the rest.
// Four bytes from p as four 32-bit lanes.
__attribute__((target("avx2"))) inline __m128i four(const unsigned char* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(v));
}

__attribute__((target("avx2"))) int sweepColumnsAvx2(const unsigned char* row, const unsigned char* old,
                                                      const unsigned char* centre, unsigned char* dst, double* means,
                                                      int w, const double* share, int low, int high) {
    const __m256d lowV = _mm256_set1_pd(low), range = _mm256_set1_pd(high - low), zero = _mm256_setzero_pd(),
                  white = _mm256_set1_pd(255.0);
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));  // every lane gathered
    int x = 0;
    for (; x + 4 <= w; x += 4) {
        __m256d m = _mm256_loadu_pd(means + x);
        m = _mm256_add_pd(m, _mm256_mask_i32gather_pd(zero, share, four(row + x), all, 8));
        m = _mm256_sub_pd(m, _mm256_mask_i32gather_pd(zero, share, four(old + x), all, 8));
        _mm256_storeu_pd(means + x, m);
        const __m256d a = _mm256_sub_pd(_mm256_sub_pd(_mm256_cvtepi32_pd(four(centre + x)), m), lowV);
        const __m256d dark = _mm256_cmp_pd(a, zero, _CMP_LE_OQ);
        const __m256d light = _mm256_cmp_pd(a, range, _CMP_GE_OQ);
        __m256d v = _mm256_div_pd(_mm256_mul_pd(a, white), range);
        v = _mm256_min_pd(_mm256_max_pd(v, zero), white);
        v = _mm256_andnot_pd(dark, _mm256_blendv_pd(v, white, light));
        const __m128i levels32 = _mm256_cvttpd_epi32(v);
        const __m128i levels8 = _mm_packus_epi16(_mm_packs_epi32(levels32, levels32), levels32);
        int32_t before;
        std::memcpy(&before, dst + x, 4);
        const int32_t darker = _mm_cvtsi128_si32(_mm_min_epu8(levels8, _mm_cvtsi32_si128(before)));
        std::memcpy(dst + x, &darker, 4);
    }
    return x;
}
#endif

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

// The first x from x on with row[x] at or below level, or w when there is none; blank stretches
// are passed sixteen pixels at a time.
int nextInked(const unsigned char* row, int x, int w, unsigned char level) {
#if defined(__SSE2__)
    const __m128i limit = _mm_set1_epi8(static_cast<char>(level));
    for (; x + 16 <= w; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const int inked = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, limit), v));
        if (inked != 0) return x + __builtin_ctz(static_cast<unsigned>(inked));
    }
#endif
    while (x < w && row[x] > level) ++x;
    return x;
}

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
#if defined(__SSE2__)
    const LevelPair levels(low, high);
    const int rowsInFours = h - h % 4;
    for (int y = 0; y < rowsInFours; y += 4) sweepFourRows(c.data(), out, w, y, hx, shareX.data(), levels);
#else
    const int rowsInFours = 0;
#endif
    for (int y = rowsInFours; y < h; ++y) {
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
#if defined(TOVEL_SWEEP_AVX2)
    static const bool withAvx2 = __builtin_cpu_supports("avx2");
#endif
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = &c[static_cast<size_t>(y) * w];
        const unsigned char* old = y >= ny ? &c[static_cast<size_t>(y - ny) * w] : nullptr;
        const bool write = y >= ny - 1;
        const unsigned char* centre = write ? &c[static_cast<size_t>(y - hy) * w] : nullptr;
        unsigned char* dst = write ? out + static_cast<size_t>(y - hy) * w : nullptr;
        int x = 0;
#if defined(__SSE2__)
        if (old && write) {
            const double* share = shareY.data();
#if defined(TOVEL_SWEEP_AVX2)
            if (withAvx2) x = sweepColumnsAvx2(row, old, centre, dst, means.data(), w, share, low, high);
#endif
            for (; x + 2 <= w; x += 2) {
                __m128d pair = _mm_loadu_pd(&means[static_cast<size_t>(x)]);
                pair = _mm_add_pd(pair, sharePair(share, row[x], row[x + 1]));
                pair = _mm_sub_pd(pair, sharePair(share, old[x], old[x + 1]));
                _mm_storeu_pd(&means[static_cast<size_t>(x)], pair);
                unsigned char first, second;
                levels.map(pixelPair(centre[x], centre[x + 1]), pair, &first, &second);
                dst[x] = std::min(dst[x], first);
                dst[x + 1] = std::min(dst[x + 1], second);
            }
        }
#endif
        for (; x < w; ++x) {
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
    auto rowOf = [in, w](int y) { return in + static_cast<size_t>(y) * w; };

    // The dark pixels of each column's window, rows y - hy .. y + hy, moved down a row at a
    // time for the whole row (a column's count depends on that column alone), and of each row's
    // window, columns x - hx .. x + hx, moved along the row.
    std::vector<int> colCount(static_cast<size_t>(w), 0);
    int* col = colCount.data();
    for (int y = 0; y < std::min(hy, h); ++y)
        for (int x = 0; x < w; ++x) col[x] += rowOf(y)[x] < threshold;
    const int pad = hx + 1;
    std::vector<unsigned char> padded(static_cast<size_t>(w) + 2 * static_cast<size_t>(pad), 0);
    unsigned char* flags = padded.data();

    for (int y = 0; y < h; ++y) {
        if (y + hy < h) {
            const unsigned char* entering = rowOf(y + hy);
            for (int x = 0; x < w; ++x) col[x] += entering[x] < threshold;
        }
        if (y - hy - 1 >= 0) {
            const unsigned char* leaving = rowOf(y - hy - 1);
            for (int x = 0; x < w; ++x) col[x] -= leaving[x] < threshold;
        }
        // The row's dark pixels as 0/1 with hx + 1 blank places either side, so that the window
        // moves without testing for the row's ends.
        const unsigned char* row = rowOf(y);
        for (int x = 0; x < w; ++x) flags[pad + x] = row[x] < threshold;
        unsigned char* smeared = out.data() + static_cast<size_t>(y) * w;
        int rowCount = 0;
        for (int x = 0; x < std::min(hx, w); ++x) rowCount += flags[pad + x];
        for (int x = 0; x < w; ++x) {
            rowCount += flags[pad + x + hx] - flags[pad + x - hx - 1];
            if (static_cast<long long>(col[x]) * rowCount >= minProduct) smeared[x] = 0;
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
            x = nextInked(row, x, w, lightLevel);
            if (x == w) break;
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
