// The resampling kernel that places pages (along rows) and tiers (along columns).
#pragma once

#include <algorithm>

#include "core/grey_image.h"

// Spreads the source span [sl, sr] of one image line (a row or a column: length successive
// pixels from first) linearly over the destination [dl, dr), adding each source pixel times its
// overlap with each destination pixel (single precision), and the overlap itself to weights.
// Source pixels past either end are mirrored. Only destination indexes in [lo, hi] are written;
// cells and weights point at the cell of index lo and hold hi - lo + 1 cells. With second and
// secondCells (both or neither), the same line of a second image of the same size is spread into
// secondCells alongside, on the same weights.
void spreadSpan(const unsigned char* first, int length, float sl, float sr, int dl, int dr, int lo, int hi,
                float* cells, float* weights, const unsigned char* second = nullptr, float* secondCells = nullptr);

// An accumulated value rounded back to a pixel, trunc(value + 0.5), held to 0 .. 255. A pixel
// that two destinations overlap (weight clearly above 1) takes the mean of what they brought
// instead of their sum, which would saturate to white and lose the ink.
// Inline: it runs once for every pixel placed.
inline unsigned char toPixel(float value, float weight) {
    if (weight > 1.001f) value /= weight;
    const float rounded = static_cast<float>(static_cast<int>(value + 0.5f));
    return static_cast<unsigned char>(std::clamp(rounded, 0.0f, 255.0f));
}

// Rounds count accumulated cells back to pixels into out (toPixel on each cell and its weight),
// and secondCells into secondOut alongside when given; every cell, weight and second cell read
// is set back to zero, so that the same cells serve the next line without being cleared.
void takePixels(float* cells, float* weights, int count, unsigned char* out, float* secondCells = nullptr,
                unsigned char* secondOut = nullptr);

// A band edge's source position at coordinate at, between its value atStart at coordinate from
// and atEnd at coordinate to (from < to), in single precision as the resampling reads it.
inline float edgeBetween(int atStart, int atEnd, int from, int to, int at) {
    return (static_cast<float>(atEnd) * static_cast<float>(at - from) +
            static_cast<float>(atStart) * static_cast<float>(to - at)) / static_cast<float>(to - from);
}

// True when other is an image of image's size, which can then be resampled in the same pass
// (spreadSpan's second image).
bool sameSize(const GreyImage& image, const GreyImage* other);
