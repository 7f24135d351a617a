// The black level of a column: how dark a row must be to count as part of a character, found
// from the column's own row luminance profile before the column is cut into characters.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Two grey levels read from the histogram of the column's row means.
struct ColumnThresholds {
    int threshold1 = 0;  // the emptiest bin between 254 and 224: where the background starts
    int threshold2 = 0;  // the first bin above the darker peak that falls halfway to threshold1
};

// Inputs: the column (its own yTop and yBottom are the end rows of its edges) and the image.
// Result: threshold1 and threshold2, both grey levels from 0 to 255.
// A caller must know: parts of a row outside the image are left out of its mean, and a row lying
// wholly outside counts as white (255).
ColumnThresholds findColumnThresholds(const VerticalBand& column, const GreyImage& image);

// Inputs: t, the lowest level worth trying (from findColumnThresholds); the column and the
// image; colWidth, the column's width in pixels (bandWidth), the size a character run is
// compared with.
// Result: a grey level from 0 to 255; rows whose mean is below it are character rows. It is the
// bright peak of the profile at which the column best falls apart into runs of about one
// character size, taken two peaks darker.
// A caller must know: the search writes its decisions to the trace, one grouping line per level
// tried and a closing "optVal=..., nextVal=..., threshold=..." line; a column without any bright
// peak gives 255.
int findBlackLevel(int t, const VerticalBand& column, const GreyImage& image, int colWidth);
