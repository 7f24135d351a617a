// Line lean: how far a text line's ink leans from the slant of its band's edges, and the edges
// turned to follow it, so that the line comes out upright when its band is made straight.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Inputs: image, the tier's image; band, a text line whose edges run from row.yTopLeft to
// row.yBottomLeft (as the tier's resampling reads them). Result: the lean of the line's ink
// against the middle of its band, in columns per row (positive: the ink moves right going
// down), from the middle of the ink's envelope (where its outermost 3 % begin on either side)
// in slabs of four band widths along the line; 0 when the tier is shorter than four slabs or
// fewer than four slabs hold ink.
// A caller must know: only the slope is measured; where the ink sits across the band is not.
double measureLineLean(const GreyImage& image, const VerticalBand& band, const HorizontalBand& row);

// Turns both edges of every text line (type 4) of columns, and of a narrow band (type 5, its
// ruby) right after it, about the line's middle row by the line's lean, so that resampling the
// band upright also makes its ink upright. columns are ordered left to right.
// A caller must know: an edge never passes the neighbouring band's edge; a line more than a
// quarter wider at one end than at the other (an edge missed the line there) and leans steeper
// than 2 columns in 100 rows are taken for misreadings and left alone.
void followLineLeans(const GreyImage& image, VerticalBandList& columns, const HorizontalBand& row);
