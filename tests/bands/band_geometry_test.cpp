#include "bands/band_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

TEST(BandGeometry, WhiteningARowStripChangesExactlyItsPixels) {
    // Strips that slope either way, are cut by the clip's rows and by the image's sides, and
    // are wide enough for the sixteen-column steps and their remainder; the rest keeps its grey.
    const GreyImage image = filled(150, 90, [](int x, int y) { return (x * 7 + y * 13) % 200; });
    struct Strip {
        int topLeft, topRight, bottomLeft, bottomRight;
    };
    for (const Strip s : {Strip{10, 40, 30, 52}, Strip{70, 5, 80, 20}, Strip{-5, 3, 100, 95}, Strip{40, 40, 39, 41}})
        for (const int left : {-7, 0, 33})
            for (const int right : {149, 160, 101}) {
                VerticalBand clip;
                clip.xLeftTop = clip.xLeftBottom = left;
                clip.xRightTop = clip.xRightBottom = right;
                clip.yTop = 4;
                clip.yBottom = 85;
                HorizontalBand band;
                band.yTopLeft = s.topLeft;
                band.yTopRight = s.topRight;
                band.yBottomLeft = s.bottomLeft;
                band.yBottomRight = s.bottomRight;
                GreyImage whitened = image;
                whitenHorizontalBand(clip, band, whitened, false);
                for (int x = 0; x < image.width; ++x) {
                    const int yt = std::max(edgeAt(x, left, s.topLeft, right, s.topRight), clip.yTop);
                    const int yb = std::min(edgeAt(x, left, s.bottomLeft, right, s.bottomRight), clip.yBottom);
                    for (int y = 0; y < image.height; ++y) {
                        const bool inside = x >= left && x <= right && y >= yt && y <= yb;
                        ASSERT_EQ(whitened.at(x, y), inside ? 255 : image.at(x, y))
                            << x << "," << y << " strip " << s.topLeft << " clip " << left << ".." << right;
                    }
                }
            }
}
