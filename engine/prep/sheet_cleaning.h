// The two cleanings of a sheet, sized by its wave lengths.
#pragma once

#include "core/grey_image.h"

// The cleaning before analysis: local-contrast threshold, small islands, islands judged on a
// smeared copy (in which the strokes of a character fuse), then the frame lines near the sheet's
// edges (removeFrameLines). Shows a preview after each of the three steps and sets the progress
// to 0.06 after the first. Answers false when a stop was requested at a preview; the image is
// then partly cleaned.
bool cleanForAnalysis(GreyImage& image, double waveX, double waveY);

// The lighter cleaning of the sheet that is written: a gentler threshold and only islands of
// at most two dark pixels, so that small punctuation survives.
void cleanForOutput(GreyImage& master, double waveX, double waveY);
