#include "ink_canvas.h"

#include <algorithm>
#include <cmath>

void InkCanvas::resize(int w, int h) {
    width = w;
    height = h;
    ink.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
}

void InkCanvas::stamp(const GlyphBitmap& g, int x, int y) { stampPale(g, x, y, 255); }

void InkCanvas::stampPale(const GlyphBitmap& g, int x, int y, int strength) {
    for (int r = 0; r < g.height; ++r) {
        const int yy = y + g.top + r;
        if (yy < 0 || yy >= height) continue;
        for (int c = 0; c < g.width; ++c) {
            const int xx = x + g.left + c;
            if (xx < 0 || xx >= width) continue;
            const int cover = g.coverage[static_cast<size_t>(r * g.width + c)] * strength / 255;
            unsigned char& v = at(xx, yy);
            v = std::max(v, static_cast<unsigned char>(cover));
        }
    }
}

void InkCanvas::fill(int x0, int y0, int x1, int y1, unsigned char coverage) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) at(x, y) = std::max(at(x, y), coverage);
}

void InkCanvas::stampTurned(const GlyphBitmap& g, int size, double cx, double cy, double radians) {
    const double c = std::cos(radians), s = std::sin(radians);
    const double reach = size * 0.75 + 2;  // half the em box's diagonal, and a margin
    auto coverage = [&g](int col, int row) -> double {
        if (col < 0 || row < 0 || col >= g.width || row >= g.height) return 0;
        return g.coverage[static_cast<size_t>(row * g.width + col)];
    };
    for (int y = std::max(0, static_cast<int>(cy - reach)); y <= std::min(height - 1, static_cast<int>(cy + reach)); ++y)
        for (int x = std::max(0, static_cast<int>(cx - reach)); x <= std::min(width - 1, static_cast<int>(cx + reach)); ++x) {
            // The pixel centre turned back into the glyph's em box, then into its bitmap.
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double u = c * dx + s * dy + size / 2.0 - g.left - 0.5;
            const double v = -s * dx + c * dy + size / 2.0 - g.top - 0.5;
            const int u0 = static_cast<int>(std::floor(u)), v0 = static_cast<int>(std::floor(v));
            if (u0 < -1 || v0 < -1 || u0 >= g.width || v0 >= g.height) continue;
            const double fu = u - u0, fv = v - v0;
            const double cover = (coverage(u0, v0) * (1 - fu) + coverage(u0 + 1, v0) * fu) * (1 - fv) +
                                 (coverage(u0, v0 + 1) * (1 - fu) + coverage(u0 + 1, v0 + 1) * fu) * fv;
            unsigned char& out = at(x, y);
            out = std::max(out, static_cast<unsigned char>(std::lround(cover)));
        }
}
