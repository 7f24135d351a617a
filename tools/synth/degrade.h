// Turns the clean sheet into a scan: paper tone and gutter shadow, the small rotation and shear
// of a sheet laid on the glass, uneven lighting, a dark border, specks, blur, grain, and the
// quarter turns of a sheet scanned sideways or upside down.
#pragma once

#include "core/grey_image.h"
#include "page_layout.h"
#include "random.h"
#include "sheet_truth.h"
#include "synth_options.h"

// Renders canvas into sheet with every degradation of options, and moves the truth's points to
// where they land in sheet.
void degradeSheet(const SynthOptions& options, const InkCanvas& canvas, SynthRandom& random,
                  GreyImage& sheet, SheetTruth& truth);
