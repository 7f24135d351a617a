// The ruled frames of an old magazine page: a thin rectangle round the text, and a rule across
// it between two tiers, so that each tier sits in a box of its own.
#pragma once

#include <vector>

#include "ink_canvas.h"
#include "random.h"
#include "sheet_truth.h"
#include "text_lines.h"

// The least gap between two framed tiers: room for a hanging stop, and for the rule between
// them with about half a line pitch clear on either side. The caller must widen the tier gap
// to at least this before laying out tiers it will frame.
int framedTierGap(const Geometry& g, int dpi);

// Draws the frame round page's tiers (in the clean sheet's coordinates) into canvas, about half
// a line pitch clear of every line, ruby and block, and of the room a hanging stop or ruby
// could take; lines are 1 to 3 pixels thick at 300 dpi. Answers each rule as a thin box: top,
// bottom, left, right, then the rules between tiers. A page without tiers gets no frame.
std::vector<Quad> drawFrames(const PageTruth& page, const Geometry& g, bool hangingStops, int dpi,
                             SynthRandom& random, InkCanvas& canvas);
