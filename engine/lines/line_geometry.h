// Line geometry: for the lines of one line group, how many blank cells stand before and after
// each line's text, and how the character rows slant at the top and bottom of each line, found by
// following the rows of characters from one line to its neighbours.
#pragma once

#include <vector>

#include "bands/band_records.h"
#include "core/grey_image.h"
#include "core/line_fit.h"

// One line group: its columns (type 4 text lines, in column-list order) and, in parallel, each
// column's character boxes as character segmentation left them.
struct LineGroupView {
    std::vector<VerticalBand*> columns;
    std::vector<HorizontalBandList*> charLists;
};

// Inputs: the group; image, of which only the height is used; waveX, the line pitch in pixels.
// Result: every line's headBlanks, tailBlanks, smallLastChar, slopeT, slopeB and reliable, and
// typicalNumChar, the median number of cells per line (head + boxes + tail - smallLastChar).
// A caller must know: an empty group leaves typicalNumChar untouched; the first line is the
// reference of the others and gets the second line's slopes.
void measureLineGroup(LineGroupView& group, int& typicalNumChar, const GreyImage& image, double waveX);

// Aligns line k of the group with the lines before it (direction 1) or after it (direction 2):
// its head and tail blank counts from the best matching character row, its end slopes, and
// whether it may serve as a reference. minHead and minTail are lowered to its new counts.
// A caller must know: a line without a reference or a match gets headBlanks INT_MAX (to be
// settled by the caller), tailBlanks 0, its neighbour's slopes and reliable false.
void alignLine(LineGroupView& group, int k, double waveX, int& minHead, int& minTail, bool isFirst,
               bool nearTop, bool nearBottom, int direction);

// The number of character boxes (type 2) of a line, its blank cells left out.
uint32_t characterCount(const HorizontalBandList& boxes);

// The least-squares line slope = b * y + a through the samples (ys[i], slopes[i]).
// A caller must know: no sample gives b = a = 0, one sample b = 0 and a = that slope.
void fitSlopeLine(const std::vector<double>& ys, const std::vector<double>& slopes, double& b, double& a);

// The row slope expected at height y of line: the reference line's end slopes interpolated
// along line, blended with the line's own fit b * y + a when isFirst or when the two agree.
double estimateSlope(VerticalBand& referenceLine, const VerticalBand& line, int y, double b, double a,
                     bool isFirst);

// Walks boxes from the first (fromStart) or from the last while the slope from point to the
// box centre comes closer to slope, and answers the index of the closest box; slope becomes
// the slope to it.
// A caller must know: -1 when the list is empty, the box is no usable character (not type 2
// or not taller than 0.484 referenceHeight) or an end box misses by more than 0.156; -2 when an
// inner box misses by more than 0.27. slope is only changed on success.
int findCharAlongSlope(const HorizontalBandList& boxes, IntPoint point, int referenceHeight, double& slope,
                       bool fromStart);

// The centre of a character box, and the middle of its bottom edge.
IntPoint boxCentre(const HorizontalBand& box);
IntPoint boxBottomPoint(const HorizontalBand& box);
