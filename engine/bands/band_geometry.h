// How a band becomes pixel positions, and the whitening of a band.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// A band over rows yTop .. yBottom between a left edge at leftTop (row yTop) and leftBottom (row
// yBottom) and a right edge alike; every other field keeps its default.
VerticalBand bandBetween(int yTop, int yBottom, int leftTop, int leftBottom, int rightTop, int rightBottom);

// A row over columns xLeft .. xRight between a top edge at topLeft (column xLeft) and topRight
// (column xRight) and a bottom edge alike; every other field keeps its default.
HorizontalBand rowBetween(int xLeft, int xRight, int topLeft, int topRight, int bottomLeft, int bottomRight);

// Position at y of an edge that passes through xt at row yt and xb at row yb:
// trunc(((y - yt) * xb + (yb - y) * xt) / (yb - yt) + 0.5) in double precision. The same
// formula serves horizontal edges with x and y exchanged. When yt == yb the edge has no
// direction and its position is xt.
int edgeAt(int y, int yt, int xt, int yb, int xb);

// Width of the band at row y, with half-row weighting of its top and bottom widths:
// trunc(((y - yTop + 0.5) * bottom width + (yBottom + 0.5 - y) * top width) / rows + 1.5), the
// widths taken without their +1.
int bandWidthAt(const VerticalBand& band, int y);

// The columns x0 .. x1 of the band at row y (its edges taken with its own yTop/yBottom as end
// rows), cut to the image. False when row y is outside the image or the span is empty there.
bool bandRowSpan(const VerticalBand& band, int y, const GreyImage& image, int& x0, int& x1);

// The first and last row of band holding, between its edges, a pixel of grey value below 107;
// both -1 when there is none.
void inkExtentY(const VerticalBand& band, const GreyImage& image, int& first, int& last);

// The larger of bandWidthAt at the first and at the last row of the band holding, between its
// edges, a pixel of grey value below 107 (the last row's on a tie; rows -1 when there is none).
int inkWidth(const GreyImage& image, const VerticalBand& band);

// A copy of a (its columns and every other field) with the top edge at the higher and the
// bottom edge at the lower of a's and b's, at each end.
HorizontalBand unionBand(const HorizontalBand& a, const HorizontalBand& b);

// Whitens band inside clip: for each row of clip (cut to the image) the band's edges are taken
// with clip.yTopLeft and clip.yBottomLeft as their end rows, and every pixel between them,
// both included, that lies within clip's columns becomes 255. With alsoCompanion the same strip
// is whitened once more in image.companion, when there is one.
void whitenVerticalBand(const HorizontalBand& clip, const VerticalBand& band, GreyImage& image,
                        bool alsoCompanion);

// The transpose of whitenVerticalBand: columns of clip, the band's top and bottom edges taken
// with clip.xLeftTop and clip.xRightTop as their end columns, rows limited to clip's rows.
void whitenHorizontalBand(const VerticalBand& clip, const HorizontalBand& band, GreyImage& image,
                          bool alsoCompanion);

// The columns free for the bands first .. last of an ordered list between their neighbours, at
// the top and at the bottom: from one past the previous band's right edge (row.xLeft for the
// first band) to one before the next band's left edge (row.xRight for the last).
struct NeighbourRoom {
    int leftTop = 0, leftBottom = 0, rightTop = 0, rightBottom = 0;
};
NeighbourRoom roomBetweenNeighbours(const VerticalBandList& bands, uint32_t first, uint32_t last,
                                    const HorizontalBand& row);
