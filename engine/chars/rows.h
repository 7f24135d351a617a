// Rows: dividing a page (or a region of one) into tiers of text, header and footer lines, or
// horizontal text lines, and telling whether the page is a single line.
#pragma once

#include "bands/band_geometry.h"  // inkExtentY, which the row finder uses
#include "bands/band_records.h"
#include "core/grey_image.h"

// Fills rows (emptied first) with the rows of band, top to bottom, typed 1 (a tier of text),
// 4 (a thin row: header, footer, page number; or a low row of horizontal lines) or 5 (a taller
// row of horizontal lines), with their edges fitted to the ink. horizontalLines tells whether
// the rows are horizontal text lines. depth is 0 for a page, more for a region inside one.
void findRows(HorizontalBandList& rows, double waveX, double waveY, const VerticalBand& band,
              const GreyImage& image, bool& horizontalLines, int depth);

// Fuses rows that a single text line (with its ruby) was cut into; when at most three rows
// result they replace rows and the answer is true, else rows are left as they were.
bool isPageOneLine(HorizontalBandList& rows, double waveX);

// The leftmost and rightmost column of row holding, between its edges, a pixel of grey value at
// most 20; both -1 when there is none.
void rowInkCentreX(const HorizontalBand& row, const GreyImage& image, int& left, int& right);

// Moves row's top edge down onto the first ink and its bottom edge up onto the last, keeping
// the bottom edge's slant; barycenterX is traced as "barycenterX = %d\n" and used as the pivot.
void fitRowEdges(HorizontalBand& row, const GreyImage& image, int limit, int percent);
