#include "bands/band_geometry.h"

#include <algorithm>
#include <cstring>

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

namespace {

// True when row y of the band holds, between its edges, a pixel of grey value below 107.
bool rowHasInk(const GreyImage& image, const VerticalBand& b, int y) {
    if (y < 0 || y >= image.height) return false;
    const int x0 = std::max(edgeAt(y, b.yTop, b.xLeftTop, b.yBottom, b.xLeftBottom), 0);
    const int x1 = std::min(edgeAt(y, b.yTop, b.xRightTop, b.yBottom, b.xRightBottom), image.width - 1);
    for (int x = x0; x <= x1; ++x)
        if (image.at(x, y) < 107) return true;
    return false;
}

}  // namespace

int inkWidth(const GreyImage& image, const VerticalBand& band) {
    int first = -1, last = -1;
    for (int y = band.yTop; y <= band.yBottom; ++y)
        if (rowHasInk(image, band, y)) {
            first = y;
            break;
        }
    for (int y = band.yBottom; y >= band.yTop; --y)
        if (rowHasInk(image, band, y)) {
            last = y;
            break;
        }
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
    for (int x = x0; x <= x1; ++x) {
        const int yt = std::max(
            edgeAt(x, clip.xLeftTop, band.yTopLeft, clip.xRightTop, band.yTopRight), yMin);
        const int yb = std::min(
            edgeAt(x, clip.xLeftTop, band.yBottomLeft, clip.xRightTop, band.yBottomRight), yMax);
        for (int y = yt; y <= yb; ++y) image.at(x, y) = 255;
    }
    if (alsoCompanion && image.companion) whitenHorizontalBand(clip, band, *image.companion, false);
}
