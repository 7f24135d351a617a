// What a scan of one page of a bound volume shows beside the page: a sliver of the facing
// page's text, and the stacked edges of the other leaves.
#pragma once

#include <vector>

#include "glyphs.h"
#include "ink_canvas.h"
#include "random.h"
#include "sheet_truth.h"
#include "synth_options.h"
#include "text_lines.h"

// How the sheet's width is shared out, in pixels from its left edge. An empty span (left ==
// right) is a mark the options do not ask for.
struct SheetColumns {
    int width = 0;      // the whole sheet
    int pagesLeft = 0;  // left edge of the page, or of the spread
    int sliverLeft = 0, sliverRight = 0;
    int edgeLeft = 0, edgeRight = 0;
};

// Widens a sheet whose pages are pagesWidth wide by the sliver and the book edge options ask
// for: the book edge at the very side, the sliver between it and the page, so that the sliver
// takes options.sliverShare of the whole width. With neither, the sheet is just the pages.
SheetColumns planSheetColumns(const SynthOptions& options, int pagesWidth);

// One tier's run of cells down the facing page: its first cell's top and its length in cells.
struct RowSpan {
    int top = 0;
    int cells = 0;
};

// Draws the facing page's text into the sliver [left, right) of canvas: lines of the page's type
// for each of rows, a gutter gap away from the page's side (right of the sliver when onLeft),
// one likely cut by the sheet's edge, all shifted up or down a little. Horizontal rules among
// rules (the page's frame) are carried across the sliver as the facing page's frame. What it
// draws belongs to no page: the caller must not add it to the pages' truth.
void drawSliver(const SynthOptions& options, const Geometry& g, const std::vector<RowSpan>& rows,
                const std::vector<Quad>& rules, int left, int right, bool onLeft,
                GlyphSource& glyphs, SynthRandom& random, InkCanvas& canvas);

// Paints the book edge over [left, right) of canvas, top to bottom: thin, slightly slanted
// stripes of dark and grey ink. It replaces whatever was drawn there, so it must come last.
void drawBookEdge(int left, int right, int dpi, SynthRandom& random, InkCanvas& canvas);
