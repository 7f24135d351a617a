// One generated sheet run through the whole pipeline in-process, for the checks on generated
// sheets.
#pragma once

#include "core/grey_image.h"
#include "sheet_synth.h"
#include "test_support.h"

// Generates the sheet o describes, runs it through the whole pipeline with default options in
// dir and reads back what was written. Fails the test (fatally) when any step fails.
void relayoutSheet(const SynthOptions& o, const TempDir& dir, GreyImage& sheet, SheetTruth& truth,
                   GreyImage& written);
