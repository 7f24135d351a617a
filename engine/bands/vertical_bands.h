// Vertical band finders: cut a horizontal region (a sheet, a tier) into slanted vertical bands of
// ink from left to right: pages, text lines. Each works on a private copy of the image, empties
// its output list first, prints its heading, "*" per band and a line end. Bands get the
// region's left-hand rows as yTop/yBottom and type 0.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Pages of a sheet: three untilted probes per step (the one crossing the fewest columns of ink
// wins), a tilting sweep for the left edge (tiltPerMilleFirst, then tiltPerMilleNext thousandths
// of the height) and a retreat onto the ink for the right edge.
void findVerticalBands1(VerticalBandList& pages, const HorizontalBand& region, const GreyImage& image,
                        int percent, int tiltPerMilleFirst, int tiltPerMilleNext);

// Text lines of a tier: candidate slants on a grid around the running slant; bands narrower than
// minWidth before the first accepted one are erased, not reported.
void findVerticalBands4(VerticalBandList& columns, const HorizontalBand& region,
                        const GreyImage& image, int percent, double rangeRatio, double slopeRatio,
                        int minWidth, int stepDivisor, int pivotOffset);

// The columns hidden inside one over-wide band of region, cut with the given threshold. Nothing
// left of the band is reported; the last part ends at the band's right edge when the ink runs
// past it.
void subdivideVerticalBand(VerticalBandList& parts, const VerticalBand& band,
                           const HorizontalBand& region, const GreyImage& image, int threshold,
                           double rangeRatio, double slopeRatio, int stepDivisor);
