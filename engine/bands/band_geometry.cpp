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
