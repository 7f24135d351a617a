// The clean sheet as ink coverage, before the paper tone and the scan's degradations.
#pragma once

#include <vector>

#include "glyphs.h"

// Ink coverage of the clean sheet, 0 (paper) to 255 (full ink). Marks drawn over each other
// keep the darker coverage.
struct InkCanvas {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> ink;

    void resize(int w, int h);
    // Adds glyph g with its em box's top-left corner at (x, y).
    void stamp(const GlyphBitmap& g, int x, int y);
    // Adds glyph g like stamp, its coverage scaled by strength / 255: a paler ink.
    void stampPale(const GlyphBitmap& g, int x, int y, int strength);
    // Adds glyph g, rendered in an em box of size pixels, turned by radians (clockwise on the
    // page) about its em box's centre, which lands at (cx, cy). Coverage is sampled bilinearly.
    void stampTurned(const GlyphBitmap& g, int size, double cx, double cy, double radians);
    // Sets the rectangle [x0, x1) x [y0, y1) to at least the given coverage.
    void fill(int x0, int y0, int x1, int y1, unsigned char coverage);
    unsigned char& at(int x, int y) { return ink[static_cast<size_t>(y) * width + x]; }
};
