#include "overlay.h"

#include <FreeImage.h>

#include <algorithm>
#include <filesystem>

#include "bands/band_geometry.h"
#include "chars/char_segmentation.h"
#include "core/trace.h"

namespace {

struct Colour {
    BYTE r, g, b;
};

constexpr Colour kPage{40, 80, 255}, kSeam{255, 0, 0}, kTier{0, 170, 0}, kThin{255, 140, 0},
    kHorizontal{150, 60, 200}, kLine{0, 190, 220}, kAttached{230, 0, 200}, kBlock{230, 200, 0},
    kChar{220, 20, 60}, kSmallLast{140, 70, 0}, kSpace{0, 110, 0};

class Canvas {
public:
    explicit Canvas(const GreyImage& image)
        : width_(image.width), height_(image.height), bitmap_(FreeImage_Allocate(image.width, image.height, 24)) {
        if (!bitmap_) return;
        for (int y = 0; y < height_; ++y) {
            BYTE* line = FreeImage_GetScanLine(bitmap_, height_ - 1 - y);
            for (int x = 0; x < width_; ++x) {
                const BYTE v = image.at(x, y);
                line[3 * x + FI_RGBA_RED] = line[3 * x + FI_RGBA_GREEN] = line[3 * x + FI_RGBA_BLUE] = v;
            }
        }
    }
    ~Canvas() {
        if (bitmap_) FreeImage_Unload(bitmap_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void dot(int x, int y, Colour c) {
        if (!bitmap_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
        BYTE* p = FreeImage_GetScanLine(bitmap_, height_ - 1 - y) + 3 * x;
        p[FI_RGBA_RED] = c.r;
        p[FI_RGBA_GREEN] = c.g;
        p[FI_RGBA_BLUE] = c.b;
    }

    // The outline of a vertical band, drawn thick pixels wide inwards.
    void outline(const VerticalBand& b, Colour c, int thick) {
        for (int y = b.yTop; y <= b.yBottom; ++y) {
            const int l = edgeAt(y, b.yTop, b.xLeftTop, b.yBottom, b.xLeftBottom);
            const int r = edgeAt(y, b.yTop, b.xRightTop, b.yBottom, b.xRightBottom);
            for (int k = 0; k < thick; ++k) {
                dot(l + k, y, c);
                dot(r - k, y, c);
            }
        }
        for (int k = 0; k < thick; ++k) {
            for (int x = b.xLeftTop; x <= b.xRightTop; ++x) dot(x, b.yTop + k, c);
            for (int x = b.xLeftBottom; x <= b.xRightBottom; ++x) dot(x, b.yBottom - k, c);
        }
    }

    // The outline of a horizontal band.
    void outline(const HorizontalBand& b, Colour c, int thick) {
        for (int x = b.xLeft; x <= b.xRight; ++x) {
            const int t = edgeAt(x, b.xLeft, b.yTopLeft, b.xRight, b.yTopRight);
            const int u = edgeAt(x, b.xLeft, b.yBottomLeft, b.xRight, b.yBottomRight);
            for (int k = 0; k < thick; ++k) {
                dot(x, t + k, c);
                dot(x, u - k, c);
            }
        }
        for (int k = 0; k < thick; ++k) {
            for (int y = b.yTopLeft; y <= b.yBottomLeft; ++y) dot(b.xLeft + k, y, c);
            for (int y = b.yTopRight; y <= b.yBottomRight; ++y) dot(b.xRight - k, y, c);
        }
    }

    bool save(const std::string& path) const {
        return bitmap_ && FreeImage_Save(FIF_PNG, bitmap_, path.c_str(), 0);
    }

private:
    int width_, height_;
    FIBITMAP* bitmap_;
};

Colour columnColour(int type) {
    switch (type) {
        case 4: return kLine;
        case 5: return kAttached;
        default: return kBlock;
    }
}

Colour rowColour(int type) {
    switch (type) {
        case 1: return kTier;
        case 4: return kThin;
        default: return kHorizontal;
    }
}

// Cuts the text lines of a tier into characters, the height found in one line steering the next
// as in the line stage, and draws them. The cut works on copies; the analysis is not changed.
void drawCharacters(Canvas& canvas, const GreyImage& analysed, const VerticalBandList& columns, double waveY,
                    int thick) {
    int carried = static_cast<int>(0.5 * waveY);
    int reversed = 0;
    for (const VerticalBand& original : columns) {
        if (original.type != 4) continue;
        VerticalBand column = original;
        HorizontalBandList chars;
        segmentCharacters(analysed, chars, waveY, carried, column, reversed);
        if (column.type != 4 || chars.empty()) continue;
        carried = column.line().typicalCharHeight;
        const bool smallLast = column.line().smallLastChar == 1;
        for (uint32_t i = 0; i < chars.count(); ++i) {
            const HorizontalBand& c = chars[i];
            if (c.type == 3) {
                for (int x = c.xLeft + 2 * thick; x <= c.xRight - 2 * thick; ++x)
                    for (int k = 0; k < thick; ++k) canvas.dot(x, c.yTopLeft + k, kSpace);
                continue;
            }
            canvas.outline(c, smallLast && i + 1 == chars.count() ? kSmallLast : kChar, 1);
        }
    }
}

}  // namespace

bool writeOverlay(const std::string& folder, const char* inputPath, const GreyImage& analysed,
                  const VerticalBandList& pages, int seamX, double waveY) {
    Canvas canvas(analysed);
    const int thick = std::max(1, std::min(analysed.width, analysed.height) / 600);
    for (const VerticalBand& page : pages) {
        canvas.outline(page, kPage, 2 * thick);
        const HorizontalBandList* rows = page.rowsIfAny();
        if (!rows) continue;
        for (const HorizontalBand& row : *rows) {
            canvas.outline(row, rowColour(row.type), thick);
            const VerticalBandList* columns = row.columnsIfAny();
            if (!columns) continue;
            for (const VerticalBand& column : *columns) canvas.outline(column, columnColour(column.type), thick);
            if (row.type == 1) {
                // The cut traces every decision; the overlay shows its result instead.
                const ScopedTraceMute mute;
                drawCharacters(canvas, analysed, *columns, waveY, thick);
            }
        }
    }
    if (seamX >= 0) {
        for (int y = 0; y < analysed.height; ++y)
            for (int k = -thick; k <= thick; ++k) canvas.dot(seamX + k, y, kSeam);
    }
    const std::string stem = std::filesystem::path(inputPath).stem().string();
    return canvas.save((std::filesystem::path(folder) / (stem + "-overlay.png")).string());
}
