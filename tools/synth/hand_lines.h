// Vertical lines as a hand writes them: characters of uneven size, a little off their place
// across and along the line and a little turned, on a line whose middle wanders and whose width
// differs from its neighbours'.
#pragma once

#include "glyphs.h"
#include "ink_canvas.h"
#include "random.h"
#include "sheet_truth.h"
#include "text_lines.h"

// Fills one hand-written line whose middle starts near x + g.cell / 2, from top down to at most
// top + length, with characters drawn from text, and answers its truth: each character's box is
// its em box as drawn (a turned quad), the line's box the upright box round them. hand draws the
// unevenness; text draws nothing from it, so the text is that of a typeset page. Ruby is not
// drawn: the words that carry it are written plain.
LineTruth fillHandLine(TextStream& text, GlyphSource& glyphs, InkCanvas& canvas, const Geometry& g,
                       int x, int top, int length, SynthRandom& hand);
