// The line stage: the columns of one tier re-laid out. One of the two entry points through which
// the analysis recurses into blocks (the column stage is the other).
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"
#include "pipeline/layo_options.h"

// Inputs: the page image, rewritten in place; the line pitch waveX and character pitch waveY;
// the tier's columns, left to right, typed 4 (text line), 5 (narrow band after a line), 2
// (block) or 7; row, the tier; depth, 0 for a tier of a page and one more per block level;
// share, the progress this call may add; the options, passed on.
// Result: -1 stopped, 0 done, 1 the sheet seems upside down (at least two lone commas or stops
// of the tier stand on the left of their cells, more than stand on the right), 2 a line could
// not be placed, kTextReadsHorizontally the tier is horizontal writing on its side (its commas
// and stops stand where horizontal lines put them, at least three and more than twice as many
// as stand where vertical lines would).
// A caller must know: every text line of a group comes out at the group's mean width and
// stretched onto the group's character grid; blocks are analysed one level deeper; the columns
// end at their destination x and keep their LineInfo.
constexpr int kTextReadsHorizontally = 4;
int analyzeLines(GreyImage& image, double waveX, double waveY, VerticalBandList& columns, HorizontalBand& row,
                 int depth, float share, const LayoOptions& options);
