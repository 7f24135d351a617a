#include "pipeline/output_check.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

int leftOf(const VerticalBand& page) { return std::min(page.xLeftTop, page.xLeftBottom); }
int rightOf(const VerticalBand& page) { return std::max(page.xRightTop, page.xRightBottom); }

// The rows page's tiers span, or the page's own when it has none.
void tierSpan(const VerticalBand& page, int& top, int& bottom) {
    const HorizontalBandList* rows = page.rowsIfAny();
    if (!rows || rows->empty()) {
        top = page.yTop;
        bottom = page.yBottom;
        return;
    }
    top = 2147483647;
    bottom = -2147483647;
    for (const HorizontalBand& tier : *rows) {
        top = std::min({top, tier.yTopLeft, tier.yTopRight});
        bottom = std::max({bottom, tier.yBottomLeft, tier.yBottomRight});
    }
}

bool covers(const HorizontalBand& band, int x0, int x1, int y0, int y1) {
    return band.xLeft <= x0 && x1 <= band.xRight && std::min(band.yTopLeft, band.yTopRight) <= y0 &&
           y1 <= std::max(band.yBottomLeft, band.yBottomRight);
}

}  // namespace

long long countInk(const GreyImage& image, int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image.width - 1);
    y1 = std::min(y1, image.height - 1);
    long long n = 0;
    for (int y = y0; y <= y1; ++y) {
        const unsigned char* row = image.pixels.data() + static_cast<size_t>(y) * image.width;
        int x = x0;
#if defined(__SSE2__)
        // The top bit of a byte is clear below 128: sixteen pixels counted per step.
        for (; x + 16 <= x1 + 1; x += 16) {
            const int light = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
            n += 16 - __builtin_popcount(static_cast<unsigned>(light));
        }
#endif
        for (; x <= x1; ++x) n += row[x] < 128;
    }
    return n;
}

long long countTextInk(const GreyImage& image, const VerticalBandList& pages) {
    long long n = 0;
    for (const VerticalBand& page : pages) {
        int top = 0, bottom = 0;
        tierSpan(page, top, bottom);
        n += countInk(image, leftOf(page), top, rightOf(page), bottom);
    }
    return n;
}

bool textOutsideOutput(const VerticalBandList& pages, const HorizontalBand& r1,
                       const HorizontalBand& r2, bool divide, int width, int height) {
    for (const VerticalBand& page : pages) {
        const int x0 = std::max(leftOf(page), 0), x1 = std::min(rightOf(page), width - 1);
        int y0 = 0, y1 = 0;
        tierSpan(page, y0, y1);
        y0 = std::max(y0, 0);
        y1 = std::min(y1, height - 1);
        if (x0 > x1 || y0 > y1) continue;  // nothing of it on the sheet
        if (!divide) {
            if (!covers(r1, x0, x1, y0, y1)) return true;
            continue;
        }
        // A divided sheet's two bands meet: a page may straddle the cut, but no part of it may
        // fall outside both, and each part keeps its tiers' rows.
        const bool leftPart = x0 <= r1.xRight, rightPart = x1 >= r2.xLeft;
        if (x0 < r1.xLeft || x1 > r2.xRight) return true;
        if (leftPart && rightPart && r2.xLeft > r1.xRight + 1) return true;
        if (leftPart && !covers(r1, std::max(x0, r1.xLeft), std::min(x1, r1.xRight), y0, y1)) return true;
        if (rightPart && !covers(r2, std::max(x0, r2.xLeft), std::min(x1, r2.xRight), y0, y1)) return true;
    }
    return false;
}

bool losesText(long long outputInk, long long textInk, long long sheetInk) {
    return outputInk * 10 < textInk * 9 || outputInk * 5 < sheetInk;
}
