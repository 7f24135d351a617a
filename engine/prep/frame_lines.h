// Frame lines: the long dark lines that the edge of a scanner's lid, of a dark border or of a
// book's page stack leaves near the sides of a cleaned sheet.
#pragma once

#include "core/grey_image.h"

// Whitens the frame lines of the image: in the outer eighth of the sheet on each side, the runs
// of rows (top and bottom) or columns (left and right) that are at least nine tenths dark (grey
// value at most 155) across a segment of a thirty-second of the sheet, provided such runs occur
// in at least three quarters of the segments of that side, so that only a line running along
// most of the side qualifies (a slant of up to about 1.5 degrees still leaves each segment's
// piece level). Answers the number of sides cleared. A line across the sheet near its edge
// stops every probe that looks for the white paths between text lines, so the analysis would
// otherwise see the whole sheet as one band.
int removeFrameLines(GreyImage& image);
