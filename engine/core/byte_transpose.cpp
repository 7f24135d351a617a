#include "core/byte_transpose.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

void transposeScalar(const unsigned char* src, std::ptrdiff_t srcStride, unsigned char* dst,
                     std::ptrdiff_t dstStride, int rows, int columns) {
    for (int r = 0; r < rows; ++r) {
        const unsigned char* row = src + r * srcStride;
        for (int c = 0; c < columns; ++c) dst[c * dstStride + r] = row[c];
    }
}

#if defined(__SSE2__)
// One 16 x 16 tile: bytes, then pairs, quadruples and eights of rows are interleaved, which
// leaves each register holding one column.
void transposeTile(const unsigned char* src, std::ptrdiff_t srcStride, unsigned char* dst,
                   std::ptrdiff_t dstStride) {
    __m128i r[16], a[16];
    for (int i = 0; i < 16; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * srcStride));
    for (int i = 0; i < 16; i += 2) {
        a[i] = _mm_unpacklo_epi8(r[i], r[i + 1]);
        a[i + 1] = _mm_unpackhi_epi8(r[i], r[i + 1]);
    }
    // Rows 4q .. 4q + 3, columns 4k .. 4k + 3 land in r[4q + k].
    for (int q = 0; q < 4; ++q) {
        const __m128i* p = a + 4 * q;
        r[4 * q + 0] = _mm_unpacklo_epi16(p[0], p[2]);
        r[4 * q + 1] = _mm_unpackhi_epi16(p[0], p[2]);
        r[4 * q + 2] = _mm_unpacklo_epi16(p[1], p[3]);
        r[4 * q + 3] = _mm_unpackhi_epi16(p[1], p[3]);
    }
    // Rows 8h .. 8h + 7, columns 2j, 2j + 1 land in a[8h + j].
    for (int h = 0; h < 2; ++h)
        for (int k = 0; k < 4; ++k) {
            a[8 * h + 2 * k] = _mm_unpacklo_epi32(r[8 * h + k], r[8 * h + 4 + k]);
            a[8 * h + 2 * k + 1] = _mm_unpackhi_epi32(r[8 * h + k], r[8 * h + 4 + k]);
        }
    for (int j = 0; j < 8; ++j) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + (2 * j) * dstStride), _mm_unpacklo_epi64(a[j], a[8 + j]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + (2 * j + 1) * dstStride), _mm_unpackhi_epi64(a[j], a[8 + j]));
    }
}
#endif

}  // namespace

void transposeBytes(const unsigned char* src, std::ptrdiff_t srcStride, unsigned char* dst,
                    std::ptrdiff_t dstStride, int rows, int columns) {
    if (rows <= 0 || columns <= 0) return;
#if defined(__SSE2__)
    const int fullRows = rows / 16 * 16, fullColumns = columns / 16 * 16;
    for (int r = 0; r < fullRows; r += 16)
        for (int c = 0; c < fullColumns; c += 16)
            transposeTile(src + r * srcStride + c, srcStride, dst + c * dstStride + r, dstStride);
    // The columns right of the last whole tile, then the rows below it.
    transposeScalar(src + fullColumns, srcStride, dst + fullColumns * dstStride, dstStride, fullRows,
                    columns - fullColumns);
    transposeScalar(src + fullRows * srcStride, srcStride, dst + fullRows, dstStride, rows - fullRows, columns);
#else
    transposeScalar(src, srcStride, dst, dstStride, rows, columns);
#endif
}
