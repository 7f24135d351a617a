// Lays out the clean sheet: pages, tiers, vertical lines of cells filled with prose, ruby,
// running header, page number, the optional picture and horizontal blocks, and the optional
// marks of a bound old magazine: ruled frames, a library stamp, a sliver of the facing page and
// the book edge.
#pragma once

#include <vector>

#include "glyphs.h"
#include "ink_canvas.h"
#include "random.h"
#include "sheet_truth.h"
#include "synth_options.h"

// Draws the clean sheet described by options into canvas and records its truth (in the clean
// sheet's coordinates). Answers false when the options leave no room for a page.
bool layOutSheet(const SynthOptions& options, GlyphSource& glyphs, SynthRandom& random,
                 InkCanvas& canvas, SheetTruth& truth);
