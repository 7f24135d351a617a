// Noise cleaning: three in-place filters that turn a scanned sheet into black text on white.
#pragma once

#include "core/grey_image.h"

// Local-contrast threshold along rows, then along columns. A pixel is mapped by how much darker
// it is than the mean of its window (windowX/2 on each side along the row, windowY/2 along the
// column): low or more levels darker (low < 0) gives 0, high or fewer gives 255, linearly in
// between; the darker of the row and column results is kept. Pixels closer to an edge than half
// a window keep the other direction's result (255 when both are too close).
void cleanBySweeping4(GreyImage& image, int windowX, int windowY, int low, int high);

// Blackens every pixel whose row neighbourhood (lengthX, rounded up to odd) and column
// neighbourhood (lengthY, likewise) hold enough dark input pixels (value below threshold) that
// the product of the two counts reaches minProduct, so that characters fuse into blobs.
void smearImage(GreyImage& image, int threshold, int lengthX, int lengthY, int minProduct);

// Removes islands: the 4-connected components of source's ink pixels (value <= lightLevel) whose
// dark core (pixels <= darkLevel) has at most maxDark pixels, and with dropBorder every island
// touching the sheet's edge, are set to 255 in target; so is every pixel lighter than lightLevel.
// Other pixels of target keep their values. target and source have the same size and may be
// the same image.
void cleanSmallIslands(GreyImage& target, const GreyImage& source, unsigned char lightLevel,
                       unsigned char darkLevel, int maxDark, unsigned char dropBorder);
