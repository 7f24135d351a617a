// tovel-synth's work as a library: render a sheet with its truth, and write both to disk.
#pragma once

#include <string>

#include "core/grey_image.h"
#include "sheet_truth.h"
#include "synth_options.h"

// Renders the sheet options describe, degraded, and its truth. The same options give the same
// pixels. Answers false, with a reason in error, when the font or the paper is unusable.
bool synthesizeSheet(const SynthOptions& options, GreyImage& sheet, SheetTruth& truth,
                     std::string& error);

// The truth's file name: path with its extension replaced by ".json".
std::string truthPathFor(const std::string& path);

// Writes sheet to path in the format its extension names (JPEG at jpegQuality) and the truth
// beside it. Answers false, with a reason in error, when either cannot be written.
bool writeSheet(const std::string& path, const GreyImage& sheet, const SheetTruth& truth,
                int jpegQuality, std::string& error);
