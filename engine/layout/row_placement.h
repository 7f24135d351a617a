// Destination placement of tiers: the tiers of each page get destination rows, aligned across
// the pages of a spread, and each page is resampled so that its tiers land there, level.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Widens the rows by margin rows above and below; between two rows closer than 2 * margin each
// takes half the gap (the lower one the larger half). No area limit.
void expandHorizontalBands(HorizontalBandList& bands, int margin);

// Aligns the tiers of similar height across pages: tracks of tiers whose centres lie within
// 6.07 % of the page height share one destination (the mean of their top and bottom edges).
// Traces "calcRowsDestY():\n", one line of "[%d,%d] " per page and a final line end.
void calcRowsDestY(VerticalBandList& pages);

// Adds filler rows of type 3 before, between and after the tiers of page.
void insertRowFillers(VerticalBand& page);

// Resamples page of image so that every band lands, level, in its destination rows (the
// transpose of rectifyVerticalBands), then the companion. Answers 1, changing nothing, when the
// page's width is negative (tracing "rectifyHorizontalBands2: Width of the bounding box should
// not be less than 0.\n"), else 0.
int rectifyHorizontalBands2(GreyImage& image, HorizontalBandList& bands, const VerticalBand& page);

// Removes the rows of type 3 from page's rows, keeping the order of the others.
void removeFillerRows(VerticalBand& page);
