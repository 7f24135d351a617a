// The resampling kernel that places pages (along rows) and tiers (along columns).
#pragma once

#include <cstddef>

// Spreads the source span [sl, sr] of one image line (a row or a column: length pixels from
// first, step bytes apart) linearly over the destination [dl, dr), adding each source pixel
// times its overlap with each destination pixel (single precision). Source pixels past either
// end are mirrored. Only destination indexes in [lo, hi] are written; cells points at the cell
// of index lo and successive indexes are cellStep apart.
void spreadSpan(const unsigned char* first, int length, std::ptrdiff_t step, float sl, float sr,
                int dl, int dr, int lo, int hi, float* cells, std::ptrdiff_t cellStep);

// An accumulated value rounded back to a pixel, trunc(value + 0.5), held to 0 .. 255 because
// overlapping destinations can sum past 255.
unsigned char toPixel(float value);
