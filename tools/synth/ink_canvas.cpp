#include "ink_canvas.h"

#include <algorithm>

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
