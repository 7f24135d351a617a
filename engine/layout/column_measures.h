// Measures of the columns of a tier: their typical width, and the shape tests that tell text
// lines from blocks.
#pragma once

#include <vector>

#include "bands/band_records.h"
#include "core/grey_image.h"

// The typical width of a text line among columns: the widths are grouped (sorted, a new group
// wherever a width exceeds 1.15 times the previous), each group scored by its size discounted by
// how far it lies from waveX, and the answer is the widest member of the best-scored groups that
// is at most 2 * waveX (0 when none). Traces the groups.
int medianLineWidth(const VerticalBandList& columns, double waveX);

// For each column, the median width of up to four neighbours wider than M / 2 (M when none).
std::vector<int> localMedianWidths(const VerticalBandList& columns, int M);

// Cuts a band that holds several lines stuck together at the bright straight lines between them.
// out receives the pieces (the band itself when there is no cut).
void divideStickingColumns(VerticalBandList& out, const VerticalBand& band, const GreyImage& image);

// The widest row of ink (grey value below 118) between the band's edges, from its leftmost to its
// rightmost dark pixel plus one; 0 when no row has ink.
int maxInkRowWidth(const GreyImage& image, const VerticalBand& band);

// True when the band's rows wander off its centre for about a character pitch at a time: two
// lines of text side by side rather than one.
bool isComposite(const GreyImage& image, const VerticalBand& band, double waveY);
