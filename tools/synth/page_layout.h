// Lays out the clean sheet: pages, tiers, vertical lines of cells filled with prose, ruby,
// running header, page number, and the optional picture and horizontal blocks.
#pragma once

#include <vector>

#include "glyphs.h"
#include "random.h"
#include "sheet_truth.h"
#include "synth_options.h"

// Ink coverage of the clean sheet, 0 (paper) to 255 (full ink).
struct InkCanvas {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> ink;

    void resize(int w, int h);
    // Adds glyph g with its em box's top-left corner at (x, y).
    void stamp(const GlyphBitmap& g, int x, int y);
    // Sets the rectangle [x0, x1) x [y0, y1) to at least the given coverage.
    void fill(int x0, int y0, int x1, int y1, unsigned char coverage);
    unsigned char& at(int x, int y) { return ink[static_cast<size_t>(y) * width + x]; }
};

// Draws the clean sheet described by options into canvas and records its truth (in the clean
// sheet's coordinates). Answers false when the options leave no room for a page.
bool layOutSheet(const SynthOptions& options, GlyphSource& glyphs, SynthRandom& random,
                 InkCanvas& canvas, SheetTruth& truth);
