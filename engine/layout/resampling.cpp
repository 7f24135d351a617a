#include "layout/resampling.h"

#include <algorithm>

namespace {

// Column (or row) i of a line length pixels long, mirrored at the ends. Spans that reach more
// than a whole line past an end are held at the last pixel instead of mirroring again.
int mirrored(int i, int length) {
    if (i < 0) i = -i;
    if (i >= length) i = 2 * length - 2 - i;
    return std::clamp(i, 0, length - 1);
}

}  // namespace

void spreadSpan(const unsigned char* first, int length, std::ptrdiff_t step, float sl, float sr,
                int dl, int dr, int lo, int hi, float* cells, float* weights, std::ptrdiff_t cellStep,
                const unsigned char* second, float* secondCells) {
    if (length <= 0) return;
    if (sr < sl) std::swap(sl, sr);
    const int i0 = static_cast<int>(sl);
    const int i1 = static_cast<int>(sr);
    const float fdl = static_cast<float>(dl);
    const float fdr = static_cast<float>(dr);
    const float span = sr - sl;
    // Where source pixel i ends, pixel i + 1 starts: each boundary is computed once.
    float next = fdl;
    for (int i = i0; i <= i1; ++i) {
        const std::ptrdiff_t source = static_cast<std::ptrdiff_t>(mirrored(i, length)) * step;
        const float v = first[source];
        const float v2 = second ? second[source] : 0.0f;
        // The first column starts at dl and the last ends at dr. An empty span (sl == sr) has a
        // single column that is both, so the whole destination takes that one pixel and the
        // interpolation, which would divide by zero, is never needed.
        const float a = next;
        float b = fdr;
        if (span > 0.0f && i != i1) {
            const float fi = static_cast<float>(i);
            b = (fdr * (fi + 1.0f - sl) + fdl * (sr - fi - 1.0f)) / span;
        }
        next = b;
        const int ja = static_cast<int>(a);
        const int jb = static_cast<int>(b);
        if (ja >= lo && ja < hi && (jb == ja || jb == ja + 1)) {
            // The common case, a pixel over one cell or two, without a loop whose length the
            // processor would have to guess: the second cell takes a zero overlap when the pixel
            // lies within the first, and adding zero leaves it as it was.
            const bool split = jb != ja;
            const float o1 = split ? static_cast<float>(ja + 1) - a : b - a;
            const float o2 = split ? b - static_cast<float>(ja + 1) : 0.0f;
            const std::ptrdiff_t cell = static_cast<std::ptrdiff_t>(ja - lo) * cellStep;
            cells[cell] += v * o1;
            weights[cell] += o1;
            cells[cell + cellStep] += v * o2;
            weights[cell + cellStep] += o2;
            if (second) {
                secondCells[cell] += v2 * o1;
                secondCells[cell + cellStep] += v2 * o2;
            }
            continue;
        }
        for (int j = std::max(ja, lo); j <= std::min(jb, hi); ++j) {
            float overlap = 1.0f;
            if (j == ja && j == jb)
                overlap = b - a;
            else if (j == ja)
                overlap = static_cast<float>(j + 1) - a;
            else if (j == jb)
                overlap = b - static_cast<float>(j);
            const std::ptrdiff_t cell = static_cast<std::ptrdiff_t>(j - lo) * cellStep;
            cells[cell] += v * overlap;
            weights[cell] += overlap;
            if (second) secondCells[cell] += v2 * overlap;
        }
    }
}

bool sameSize(const GreyImage& image, const GreyImage* other) {
    return other && other->width == image.width && other->height == image.height;
}
