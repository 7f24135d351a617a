#include "layout/resampling.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Column (or row) i of a line length pixels long, mirrored at the ends. Spans that reach more
// than a whole line past an end are held at the last pixel instead of mirroring again.
int mirrored(int i, int length) {
    if (i < 0) i = -i;
    if (i >= length) i = 2 * length - 2 - i;
    return std::clamp(i, 0, length - 1);
}

}  // namespace

namespace {

// Where each source pixel of a span ends on the destination, for pixels start .. start + count - 1
// (count at most kEndBatch): (dr * (i + 1 - sl) + dl * (sr - i - 1)) / (sr - sl) in single
// precision, four at a time; the same operations in the same order as one at a time, so the
// same floats. The last pixel of the span ends at dr exactly; an empty span ends there at once.
constexpr int kEndBatch = 64;

void pixelEnds(int start, int count, int last, float sl, float sr, float fdl, float fdr, float* ends) {
    const float span = sr - sl;
    if (span > 0.0f) {
#if defined(__SSE2__)
        const __m128 dr = _mm_set1_ps(fdr), dl = _mm_set1_ps(fdl), left = _mm_set1_ps(sl), right = _mm_set1_ps(sr),
                     width = _mm_set1_ps(span), one = _mm_set1_ps(1.0f);
        for (int k = 0; k < count; k += 4) {
            const __m128 i = _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(start + k), _mm_set_epi32(3, 2, 1, 0)));
            const __m128 towardsRight = _mm_mul_ps(dr, _mm_sub_ps(_mm_add_ps(i, one), left));
            const __m128 towardsLeft = _mm_mul_ps(dl, _mm_sub_ps(_mm_sub_ps(right, i), one));
            _mm_storeu_ps(ends + k, _mm_div_ps(_mm_add_ps(towardsRight, towardsLeft), width));
        }
#else
        for (int k = 0; k < count; ++k) {
            const float i = static_cast<float>(start + k);
            ends[k] = (fdr * (i + 1.0f - sl) + fdl * (sr - i - 1.0f)) / span;
        }
#endif
    } else {
        std::fill(ends, ends + count, fdr);
    }
    if (start + count - 1 == last) ends[count - 1] = fdr;
}

}  // namespace

namespace {

// The cell that the last pixel over two cells reached with its second part, carried in
// registers: at a scale near one the next pixel starts in it, and its sum then does not go
// through memory.
struct Carried {
    int cell = -1;
    float value = 0.0f, weight = 0.0f, second = 0.0f;

    void putBack(float* cells, float* weights, float* secondCells) {
        if (cell < 0) return;
        cells[cell] = value;
        weights[cell] = weight;
        if (secondCells) secondCells[cell] = second;
        cell = -1;
    }
};

#if defined(__SSE2__)
// Source pixels i .. i + 3 (values from first and second) starting at a0, ends[0], ends[1],
// ends[2] and ending at ends[0 .. 3], when pixel n starts in cell ja + n and ends in cell
// ja + n + 1, all below hi: the common case at a scale near one, added four at a time. Each cell
// receives the second part of the pixel before and then the first part of its own, the same
// additions in the same order as one pixel at a time; the last pixel's second part is left
// carried. False, with nothing touched, when the four do not lie so.
bool spreadFourSplit(const unsigned char* first, const unsigned char* second, float a0, const float* ends, int lo,
                     int hi, float* cells, float* weights, float* secondCells, Carried& carried) {
    const __m128 b = _mm_loadu_ps(ends);
    const __m128 a = _mm_move_ss(_mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 1, 0, 0)), _mm_set_ss(a0));
    const __m128i ja = _mm_cvttps_epi32(a);
    const int ja0 = _mm_cvtsi128_si32(ja);
    if (ja0 < lo || ja0 >= hi - 3) return false;
    const __m128i starts = _mm_add_epi32(_mm_set1_epi32(ja0), _mm_set_epi32(3, 2, 1, 0));
    const __m128i nexts = _mm_add_epi32(starts, _mm_set1_epi32(1));
    const __m128i lying = _mm_and_si128(_mm_cmpeq_epi32(ja, starts), _mm_cmpeq_epi32(_mm_cvttps_epi32(b), nexts));
    if (_mm_movemask_epi8(lying) != 0xFFFF) return false;

    const int cell = ja0 - lo;
    carried.putBack(cells, weights, secondCells);
    const __m128 boundary = _mm_cvtepi32_ps(nexts);
    const __m128 o1 = _mm_sub_ps(boundary, a), o2 = _mm_sub_ps(b, boundary);
    // Cell n takes (old + second part of pixel n - 1) + first part of pixel n; cell 0's second
    // part was put back in memory above, so its lane adds nothing before the first part.
    auto add = [cell](float* to, __m128 secondParts, __m128 firstParts) {
        const __m128 old = _mm_loadu_ps(to + cell);
        const __m128 before = _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(secondParts), 4));
        const __m128 withBefore = _mm_move_ss(_mm_add_ps(old, before), old);
        _mm_storeu_ps(to + cell, _mm_add_ps(withBefore, firstParts));
    };
    auto values = [](const unsigned char* p) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i bytes = _mm_cvtsi32_si128(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24);
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
    };
    auto last = [](__m128 v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3))); };

    const __m128 v = values(first);
    const __m128 tails = _mm_mul_ps(v, o2);
    add(cells, tails, _mm_mul_ps(v, o1));
    add(weights, o2, o1);
    carried.cell = cell + 4;
    carried.value = cells[cell + 4] + last(tails);
    carried.weight = weights[cell + 4] + last(o2);
    if (second) {
        const __m128 v2 = values(second);
        const __m128 secondTails = _mm_mul_ps(v2, o2);
        add(secondCells, secondTails, _mm_mul_ps(v2, o1));
        carried.second = secondCells[cell + 4] + last(secondTails);
    }
    return true;
}
#endif

}  // namespace

void spreadSpan(const unsigned char* first, int length, float sl, float sr, int dl, int dr, int lo, int hi,
                float* cells, float* weights, const unsigned char* second, float* secondCells) {
    if (length <= 0) return;
    if (sr < sl) std::swap(sl, sr);
    const int i0 = static_cast<int>(sl);
    const int i1 = static_cast<int>(sr);
    const bool inside = i0 >= 0 && i1 < length;  // no pixel to mirror
    const float fdl = static_cast<float>(dl);
    const float fdr = static_cast<float>(dr);
    // Every cell receives the same additions in the same order whether its sum goes through
    // memory or the carried registers.
    Carried carried;
    float next = fdl;  // where the source pixel i ends, pixel i + 1 starts
    float ends[kEndBatch];
    for (int start = i0; start <= i1; start += kEndBatch) {
        const int count = std::min(kEndBatch, i1 - start + 1);
        pixelEnds(start, count, i1, sl, sr, fdl, fdr, ends);
        for (int k = 0; k < count; ++k) {
            const int i = start + k;
#if defined(__SSE2__)
            if (inside && k + 4 <= count &&
                spreadFourSplit(first + i, second ? second + i : nullptr, next, ends + k, lo, hi, cells, weights,
                                secondCells, carried)) {
                next = ends[k + 3];
                k += 3;
                continue;
            }
#endif
            const int source = inside ? i : mirrored(i, length);
            const float v = first[source];
            const float v2 = second ? second[source] : 0.0f;
            const float a = next;
            const float b = ends[k];
            next = b;
            const int ja = static_cast<int>(a);
            const int jb = static_cast<int>(b);
            if (ja >= lo && ja < hi && (jb == ja || jb == ja + 1)) {
                // The common case, a pixel over one cell or two, without a loop whose length the
                // processor would have to guess: the second cell takes a zero overlap when the
                // pixel lies within the first, and adding zero leaves it as it was.
                const bool split = jb != ja;
                const float o1 = split ? static_cast<float>(ja + 1) - a : b - a;
                const float o2 = split ? b - static_cast<float>(ja + 1) : 0.0f;
                const int cell = ja - lo;
                if (cell != carried.cell) {
                    carried.putBack(cells, weights, secondCells);
                    carried.value = cells[cell];
                    carried.weight = weights[cell];
                    carried.second = second ? secondCells[cell] : 0.0f;
                }
                cells[cell] = carried.value + v * o1;
                weights[cell] = carried.weight + o1;
                carried.value = cells[cell + 1] + v * o2;
                carried.weight = weights[cell + 1] + o2;
                if (second) {
                    secondCells[cell] = carried.second + v2 * o1;
                    carried.second = secondCells[cell + 1] + v2 * o2;
                }
                carried.cell = cell + 1;
                continue;
            }
            carried.putBack(cells, weights, secondCells);
            for (int j = std::max(ja, lo); j <= std::min(jb, hi); ++j) {
                float overlap = 1.0f;
                if (j == ja && j == jb)
                    overlap = b - a;
                else if (j == ja)
                    overlap = static_cast<float>(j + 1) - a;
                else if (j == jb)
                    overlap = b - static_cast<float>(j);
                const int cell = j - lo;
                cells[cell] += v * overlap;
                weights[cell] += overlap;
                if (second) secondCells[cell] += v2 * overlap;
            }
        }
    }
    carried.putBack(cells, weights, secondCells);
}

namespace {

#if defined(__SSE2__)
// toPixel on four cells: the same division where the weight is clearly above 1, the same
// truncation, conversion back and clamp, so the same bytes.
inline __m128i fourPixels(__m128 values, __m128 weights) {
    const __m128 overlapped = _mm_cmpgt_ps(weights, _mm_set1_ps(1.001f));
    values = _mm_or_ps(_mm_and_ps(overlapped, _mm_div_ps(values, weights)), _mm_andnot_ps(overlapped, values));
    __m128 rounded = _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_add_ps(values, _mm_set1_ps(0.5f))));
    rounded = _mm_min_ps(_mm_max_ps(rounded, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(rounded);
}

// Four pixels (each 0 .. 255 in a 32-bit lane) stored as four bytes at out.
inline void storeFour(__m128i pixels, unsigned char* out) {
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(pixels, pixels), pixels);
    const int word = _mm_cvtsi128_si32(bytes);
    std::memcpy(out, &word, 4);
}
#endif

}  // namespace

void takePixels(float* cells, float* weights, int count, unsigned char* out, float* secondCells,
                unsigned char* secondOut) {
    int i = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps();
    for (; i + 4 <= count; i += 4) {
        const __m128 w = _mm_loadu_ps(weights + i);
        storeFour(fourPixels(_mm_loadu_ps(cells + i), w), out + i);
        _mm_storeu_ps(cells + i, zero);
        if (secondCells) {
            storeFour(fourPixels(_mm_loadu_ps(secondCells + i), w), secondOut + i);
            _mm_storeu_ps(secondCells + i, zero);
        }
        _mm_storeu_ps(weights + i, zero);
    }
#endif
    for (; i < count; ++i) {
        out[i] = toPixel(cells[i], weights[i]);
        cells[i] = 0.0f;
        if (secondCells) {
            secondOut[i] = toPixel(secondCells[i], weights[i]);
            secondCells[i] = 0.0f;
        }
        weights[i] = 0.0f;
    }
}

bool sameSize(const GreyImage& image, const GreyImage* other) {
    return other && other->width == image.width && other->height == image.height;
}
