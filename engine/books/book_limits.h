// How much a book's reader takes out of one entry or page before it is refused.
#pragma once

#include "pipeline/image_io.h"

struct BookLimits {
    // An archive entry's bytes once unpacked: room for a sheet at the pixel limit in 16-bit
    // colour with alpha, the widest a scanner writes.
    long long largestEntryBytes = kLargestSheetPixels * 8;
    // A PDF page's pixels, as stored or as rendered.
    long long largestPagePixels = kLargestSheetPixels;
};
