#include "layout/resampling.h"

#include <algorithm>

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

void spreadSpan(const unsigned char* first, int length, float sl, float sr, int dl, int dr, int lo, int hi,
                float* cells, float* weights, const unsigned char* second, float* secondCells) {
    if (length <= 0) return;
    if (sr < sl) std::swap(sl, sr);
    const int i0 = static_cast<int>(sl);
    const int i1 = static_cast<int>(sr);
    const bool inside = i0 >= 0 && i1 < length;  // no pixel to mirror
    const float fdl = static_cast<float>(dl);
    const float fdr = static_cast<float>(dr);
    // The cell that the last pixel over two cells reached with its second part is carried in
    // registers: at a scale near one the next pixel starts in it, and its sum then does not go
    // through memory. Every cell still receives the same additions in the same order.
    int carried = -1;
    float carriedCell = 0.0f, carriedWeight = 0.0f, carriedSecond = 0.0f;
    auto putBackCarried = [&] {
        if (carried < 0) return;
        cells[carried] = carriedCell;
        weights[carried] = carriedWeight;
        if (second) secondCells[carried] = carriedSecond;
        carried = -1;
    };
    float next = fdl;  // where the source pixel i ends, pixel i + 1 starts
    float ends[kEndBatch];
    for (int start = i0; start <= i1; start += kEndBatch) {
        const int count = std::min(kEndBatch, i1 - start + 1);
        pixelEnds(start, count, i1, sl, sr, fdl, fdr, ends);
        for (int k = 0; k < count; ++k) {
            const int i = start + k;
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
                if (cell != carried) {
                    putBackCarried();
                    carriedCell = cells[cell];
                    carriedWeight = weights[cell];
                    carriedSecond = second ? secondCells[cell] : 0.0f;
                }
                cells[cell] = carriedCell + v * o1;
                weights[cell] = carriedWeight + o1;
                carriedCell = cells[cell + 1] + v * o2;
                carriedWeight = weights[cell + 1] + o2;
                if (second) {
                    secondCells[cell] = carriedSecond + v2 * o1;
                    carriedSecond = secondCells[cell + 1] + v2 * o2;
                }
                carried = cell + 1;
                continue;
            }
            putBackCarried();
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
    putBackCarried();
}

bool sameSize(const GreyImage& image, const GreyImage* other) {
    return other && other->width == image.width && other->height == image.height;
}
