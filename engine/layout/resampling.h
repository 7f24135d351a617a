// The resampling kernel that places pages (along rows) and tiers (along columns).
#pragma once

#include <cstddef>

// Spreads the source span [sl, sr] of one image line (a row or a column: length pixels from
// first, step bytes apart) linearly over the destination [dl, dr), adding each source pixel
// times its overlap with each destination pixel (single precision), and the overlap itself to
// weights. Source pixels past either end are mirrored. Only destination indexes in [lo, hi] are
// written; cells and weights point at the cell of index lo, successive indexes cellStep apart.
void spreadSpan(const unsigned char* first, int length, std::ptrdiff_t step, float sl, float sr,
                int dl, int dr, int lo, int hi, float* cells, float* weights, std::ptrdiff_t cellStep);

// An accumulated value rounded back to a pixel, trunc(value + 0.5), held to 0 .. 255. A pixel
// that two destinations overlap (weight clearly above 1) takes the mean of what they brought
// instead of their sum, which would saturate to white and lose the ink.
unsigned char toPixel(float value, float weight);
