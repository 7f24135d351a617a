// The search that findVerticalBands4 / findHorizontalBands4 and the two subdivisions share, in
// the direction-free terms of probe_frame.h. Used by vertical_bands.cpp and horizontal_bands.cpp.
#pragma once

#include <vector>

#include "bands/probe_frame.h"

namespace probes {

struct FoundBand {
    Line lo, hi;  // left and right (top and bottom) edges
    int bary = 0; // mean of bands A's and B's mean ink positions along the run (searchBands)
};

struct BandSearch {
    int percent = 0;
    int dxRange = 0;
    int dxStep = 1;
    double tolFactor = 0;
    int pivotOffset = 8;
    int minSize = 0;  // the first band is accepted only when wider (taller) than this
    int cap = 255;
};

// Cuts the frame's region into bands from low to high coordinates, whitening each in work (the
// frame's image), printing "*" per band accepted.
std::vector<FoundBand> searchBands(const Frame& f, GreyImage& work, const BandSearch& c, Line prev);

// Cuts the band (lo, hi) of the frame's region again with the percent of c, after whitening the
// region before lo. The last part ends at hi when the ink runs past it.
std::vector<FoundBand> searchParts(const Frame& f, GreyImage& work, const BandSearch& c,
                                   const Line& lo, const Line& hi);

// ceil(x) for a double, as the slant ranges are sized.
int ceilInt(double x);

}  // namespace probes
