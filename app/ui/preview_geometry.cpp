#include "ui/preview_geometry.h"

#include <cstdint>

QRect previewArea(QSize client) {
    const int width = client.width() - 1 - kPreviewLeft;
    const int height = client.height() - 1;
    if (width <= 0 || height <= 0) return {};
    return QRect(kPreviewLeft, 0, width, height);
}

QRect previewPlacement(QSize image, const QRect& area) {
    if (image.isEmpty() || area.isEmpty()) return {};
    const auto w = static_cast<uint64_t>(image.width());
    const auto h = static_cast<uint64_t>(image.height());
    const auto aw = static_cast<uint64_t>(area.width());
    const auto ah = static_cast<uint64_t>(area.height());
    // The proportions are compared in single precision, the sizes in integers: equal ratios
    // then give exactly the area's size.
    const float imageRatio = static_cast<float>(image.width()) / static_cast<float>(image.height());
    const float areaRatio = static_cast<float>(area.width()) / static_cast<float>(area.height());
    if (imageRatio < areaRatio) {
        const int drawnWidth = static_cast<int>(w * ah / h);
        return QRect(area.left() + (area.width() - drawnWidth) / 2, area.top(), drawnWidth,
                     area.height());
    }
    const int drawnHeight = static_cast<int>(h * aw / w);
    return QRect(area.left(), area.top() + (area.height() - drawnHeight) / 2, area.width(),
                 drawnHeight);
}
