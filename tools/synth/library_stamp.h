// A library's ownership stamp pressed over a page: a square or round outline holding a few
// large characters, in ink paler than the print.
#pragma once

#include "glyphs.h"
#include "ink_canvas.h"
#include "random.h"
#include "sheet_truth.h"
#include "text_lines.h"

// Draws a stamp 8 to 14 cells across over the lower part of page's text (the clean sheet's
// coordinates) into canvas: an outline 2 to 4 pixels thick at 300 dpi and two to six
// characters, in an ink that shows 90 to 130 grey on paper of paperTone. Answers the square
// round it. The stamp covers text and may cover blank cells: truth checks must allow for it.
Quad drawLibraryStamp(const PageTruth& page, const Geometry& g, int dpi, int paperTone,
                      GlyphSource& glyphs, SynthRandom& random, InkCanvas& canvas);
