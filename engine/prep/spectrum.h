// The sheet's two-dimensional power spectrum and the two peaks of its text lattice.
#pragma once

#include "core/grey_image.h"

// Finds the two strongest lattice peaks of image's power spectrum. The transform runs on the
// centred crop of NX x NY pixels, NX and NY the largest powers of two not above the width and
// height. On entry fx1, fy1 are the low and fx2, fy2 the high frequency limits (bins); on return
// (fx1, fy1) is the strongest bin with positive horizontal frequency and (fx2, fy2) the
// strongest with negative horizontal frequency -fx2, the first of equal maxima winning. A peak
// that is the second harmonic of the character pitch (its half vertical frequency holds at least
// half its power) is moved to the fundamental. A window without power gives (low limit - 1,
// low limit - 1). Returns false, with the limits untouched, only when the transform's memory
// cannot be had.
bool analyseSpectrum(const GreyImage& image, int& fx1, int& fy1, int& fx2, int& fy2, int& NX,
                     int& NY);

// The rotation theta (radians) and shear of the lattice whose peaks are (fx1, fy1) and
// (-fx2, fy2). Upright, unsheared text gives 0 and 0. Degenerate peaks give non-finite values.
void estimateSkewAndShear(int fx1, int fy1, int fx2, int fy2, double& theta, double& shear);

// The version of the FFT library the spectrum runs on, as that library names itself at run time.
const char* fftLibraryVersion();
