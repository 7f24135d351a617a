#include "bands/band_geometry.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

VerticalBand bandBetween(int yTop, int yBottom, int leftTop, int leftBottom, int rightTop, int rightBottom) {
    VerticalBand b;
    b.yTop = yTop;
    b.yBottom = yBottom;
    b.xLeftTop = leftTop;
    b.xLeftBottom = leftBottom;
    b.xRightTop = rightTop;
    b.xRightBottom = rightBottom;
    return b;
}

HorizontalBand rowBetween(int xLeft, int xRight, int topLeft, int topRight, int bottomLeft, int bottomRight) {
    HorizontalBand b;
    b.xLeft = xLeft;
    b.xRight = xRight;
    b.yTopLeft = topLeft;
    b.yTopRight = topRight;
    b.yBottomLeft = bottomLeft;
    b.yBottomRight = bottomRight;
    return b;
}

int edgeAt(int y, int yt, int xt, int yb, int xb) {
    if (yb == yt) return xt;
    const double x = (static_cast<double>(y - yt) * xb + static_cast<double>(yb - y) * xt) /
                         static_cast<double>(yb - yt) +
                     0.5;
    return static_cast<int>(x);
}

int bandWidthAt(const VerticalBand& b, int y) {
    const double rows = b.yBottom - b.yTop + 1;
    const double v = ((y - b.yTop + 0.5) * (b.xRightBottom - b.xLeftBottom) +
                      (b.yBottom + 0.5 - y) * (b.xRightTop - b.xLeftTop)) /
                         rows +
                     1.5;
    return static_cast<int>(v);
}

bool bandRowSpan(const VerticalBand& band, int y, const GreyImage& image, int& x0, int& x1) {
    if (y < 0 || y >= image.height) return false;
    x0 = std::max(edgeAt(y, band.yTop, band.xLeftTop, band.yBottom, band.xLeftBottom), 0);
    x1 = std::min(edgeAt(y, band.yTop, band.xRightTop, band.yBottom, band.xRightBottom), image.width - 1);
    return x0 <= x1;
}

void inkExtentY(const VerticalBand& band, const GreyImage& image, int& first, int& last) {
    first = -1;
    last = -1;
    const auto hasInk = [&](int y) {
        int x0 = 0, x1 = -1;
        if (!bandRowSpan(band, y, image, x0, x1)) return false;
        for (int x = x0; x <= x1; ++x)
            if (image.at(x, y) < 107) return true;
        return false;
    };
    for (int y = band.yTop; y <= band.yBottom && first < 0; ++y)
        if (hasInk(y)) first = y;
    if (first < 0) return;
    for (int y = band.yBottom; y >= first && last < 0; --y)
        if (hasInk(y)) last = y;
}

int inkWidth(const GreyImage& image, const VerticalBand& band) {
    int first = -1, last = -1;
    inkExtentY(band, image, first, last);
    const int wFirst = bandWidthAt(band, first), wLast = bandWidthAt(band, last);
    return wFirst > wLast ? wFirst : wLast;
}

HorizontalBand unionBand(const HorizontalBand& a, const HorizontalBand& b) {
    HorizontalBand u(a);
    u.yTopLeft = std::min(a.yTopLeft, b.yTopLeft);
    u.yTopRight = std::min(a.yTopRight, b.yTopRight);
    u.yBottomLeft = std::max(a.yBottomLeft, b.yBottomLeft);
    u.yBottomRight = std::max(a.yBottomRight, b.yBottomRight);
    return u;
}

void whitenVerticalBand(const HorizontalBand& clip, const VerticalBand& band, GreyImage& image,
                        bool alsoCompanion) {
    const int y0 = std::max(clip.yTopLeft, 0);
    const int y1 = std::min(clip.yBottomLeft, image.height - 1);
    const int xMin = std::max(clip.xLeft, 0);
    const int xMax = std::min(clip.xRight, image.width - 1);
    for (int y = y0; y <= y1; ++y) {
        const int xl = std::max(
            edgeAt(y, clip.yTopLeft, band.xLeftTop, clip.yBottomLeft, band.xLeftBottom), xMin);
        const int xr = std::min(
            edgeAt(y, clip.yTopLeft, band.xRightTop, clip.yBottomLeft, band.xRightBottom), xMax);
        if (xl <= xr) std::memset(&image.at(xl, y), 255, static_cast<size_t>(xr - xl + 1));
    }
    if (alsoCompanion && image.companion) whitenVerticalBand(clip, band, *image.companion, false);
}

void whitenHorizontalBand(const VerticalBand& clip, const HorizontalBand& band, GreyImage& image,
                          bool alsoCompanion) {
    const int x0 = std::max(clip.xLeftTop, 0);
    const int x1 = std::min(clip.xRightTop, image.width - 1);
    const int yMin = std::max(clip.yTop, 0);
    const int yMax = std::min(clip.yBottom, image.height - 1);
    // Sixty-four columns at a time, row by row through the rows any of them whitens, so that the
    // writes run along memory.
    constexpr int kChunk = 64;
    int top[kChunk], bottom[kChunk];
    for (int cx = x0; cx <= x1; cx += kChunk) {
        const int n = std::min(kChunk, x1 - cx + 1);
        int first = yMax + 1, last = yMin - 1;
        for (int k = 0; k < n; ++k) {
            const int x = cx + k;
            top[k] = std::max(edgeAt(x, clip.xLeftTop, band.yTopLeft, clip.xRightTop, band.yTopRight), yMin);
            bottom[k] = std::min(edgeAt(x, clip.xLeftTop, band.yBottomLeft, clip.xRightTop, band.yBottomRight), yMax);
            if (top[k] <= bottom[k]) {
                first = std::min(first, top[k]);
                last = std::max(last, bottom[k]);
            }
        }
        for (int y = first; y <= last; ++y) {
            unsigned char* row = image.pixels.data() + static_cast<size_t>(y) * image.width + cx;
            int k = 0;
#if defined(__SSE2__)
            // White is every bit set: a pixel is whitened by or-ing in its column's mask.
            const __m128i at = _mm_set1_epi32(y), all = _mm_set1_epi32(-1);
            for (; k + 16 <= n; k += 16) {
                __m128i inside[4];
                for (int j = 0; j < 4; ++j) {
                    const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + k + 4 * j));
                    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + k + 4 * j));
                    inside[j] = _mm_xor_si128(_mm_or_si128(_mm_cmpgt_epi32(t, at), _mm_cmpgt_epi32(at, b)), all);
                }
                const __m128i mask = _mm_packs_epi16(_mm_packs_epi32(inside[0], inside[1]), _mm_packs_epi32(inside[2], inside[3]));
                __m128i* pixels = reinterpret_cast<__m128i*>(row + k);
                _mm_storeu_si128(pixels, _mm_or_si128(_mm_loadu_si128(pixels), mask));
            }
#endif
            for (; k < n; ++k)
                if (top[k] <= y && y <= bottom[k]) row[k] = 255;
        }
    }
    if (alsoCompanion && image.companion) whitenHorizontalBand(clip, band, *image.companion, false);
}

NeighbourRoom roomBetweenNeighbours(const VerticalBandList& bands, uint32_t first, uint32_t last,
                                    const HorizontalBand& row) {
    NeighbourRoom room{row.xLeft, row.xLeft, row.xRight, row.xRight};
    if (first > 0) {
        room.leftTop = bands[first - 1].xRightTop + 1;
        room.leftBottom = bands[first - 1].xRightBottom + 1;
    }
    if (last + 1 < bands.count()) {
        room.rightTop = bands[last + 1].xLeftTop - 1;
        room.rightBottom = bands[last + 1].xLeftBottom - 1;
    }
    return room;
}
