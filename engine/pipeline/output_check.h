// The checks made before a sheet is written: that no text found is pushed off the output, and
// that the output keeps the text's ink.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// The number of pixels of image darker than mid grey, within columns x0..x1 and rows y0..y1
// (clipped to the image; the whole image by default).
long long countInk(const GreyImage& image, int x0 = 0, int y0 = 0, int x1 = 2147483647,
                   int y1 = 2147483647);

// Inputs: the placed pages of a sheet (straight bands with their tiers in rows()). Result: the
// dark pixels of image, page by page, inside the box that holds the page's tiers (a page without
// tiers counts whole): the text found, without the margins round the pages and between them
// (a binding, a book edge).
// A caller must know: measure image before the whitening outside the text, which takes out
// only what lies between and around the tiers and columns.
long long countTextInk(const GreyImage& image, const VerticalBandList& pages);

// Inputs: the placed pages, the output bands r1 and r2 (r2 only when divide), the sheet's size.
// Result: true when part of a page that lies on the sheet falls outside every output band, or a
// tier outside the rows of the band that holds its page: the shift or crop would cut text off.
bool textOutsideOutput(const VerticalBandList& pages, const HorizontalBand& r1,
                       const HorizontalBand& r2, bool divide, int width, int height);

// Inputs: the dark pixels the outputs hold, those of the text found on the cleaned sheet
// (countTextInk) and those of the whole cleaned sheet. Result: true when the outputs keep
// clearly less than the text held (under nine tenths of it) or less than a fifth of all the
// sheet's ink: the analysis then misread the sheet and must not be trusted.
bool losesText(long long outputInk, long long textInk, long long sheetInk);
