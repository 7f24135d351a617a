// Horizontal band finders: cut a vertical region (a text line, a page) into slanted horizontal
// bands of ink from top to bottom: characters, tiers. Each works on a private copy of the image,
// empties its output list first, prints its heading, "*" per band and a line end. Bands get the
// region's top-row columns as xLeft/xRight and type 0. A cap below 255 also blocks a probing line
// at any single pixel darker than the cap.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// The character cut: from the top, each step tries slants around the running one through the
// row where the last band ended; the first band may stand at any slant, later ones only within
// an allowance that grows with the distance from the previous band.
void findHorizontalBands2(HorizontalBandList& bands, const VerticalBand& region, const GreyImage& image,
                          int percent, double rangeRatio, double slopeRatio, int cap);

// One band of the region cut again with the given threshold. Nothing above the band is reported;
// the last part ends at the band's bottom edge.
void subdivideHorizontalBand(HorizontalBandList& parts, const HorizontalBand& band,
                             const VerticalBand& region, const GreyImage& image, int threshold,
                             int cap, double rangeRatio, double slopeRatio);

// The tier cut: findVerticalBands4 turned on its side. Bands not taller than minHeight before
// the first accepted one are erased, not reported; baryX gets the mean ink column.
void findHorizontalBands4(HorizontalBandList& bands, const VerticalBand& region, const GreyImage& image,
                          int percent, double rangeRatio, double slopeRatio, int minHeight,
                          int stepDivisor);
