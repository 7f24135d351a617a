// Destination placement of pages: every page gets an upright destination strip of columns as
// wide as its text, and the sheet is resampled so that each page lands there, straightened.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Widens the bands by margin columns on each side: less at the area's edges when they are
// closer, and between two bands closer than 2 * margin each takes half the gap (the right one
// the larger half).
void expandVerticalBands(VerticalBandList& bands, const HorizontalBand& area, int margin);

// Gives every page of type 2 destLeft/destRight: a strip as wide as its ink (inkWidth), centred
// on the page's mean x, moved in when it would reach past a side of the image. Traces "calcPagesDestX(): ", "[%d,%d] " per page and a line end.
void calcPagesDestX(VerticalBandList& pages, const GreyImage& image);

// Adds filler bands of type 1 before, between and after the pages, so that the resampling
// covers every column of area.
void insertPageFillers(VerticalBandList& pages, const HorizontalBand& area);

// Resamples area of image (single-precision accumulation) so that every band lands, upright,
// in its destination columns; reads past the image border are mirrored; area pixels no band
// covers become 0. The bands become straight at their destination. The companion image, when
// there is one, is resampled the same way with the bands as they were on entry.
void rectifyVerticalBands(GreyImage& image, VerticalBandList& bands, const HorizontalBand& area);
