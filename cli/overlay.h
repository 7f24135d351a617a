// Inspection images for tovel-cli --overlay: the analysed sheet in colour with what the analysis
// found drawn on it.
#pragma once

#include <string>

#include "bands/band_records.h"
#include "core/grey_image.h"

// Writes folder/NAME-overlay.png for the sheet read from inputPath: pages in blue, the seam in
// red, tiers in green (header and footer rows in orange, rows of horizontal lines in purple),
// text lines in cyan, attached bands in magenta, blocks in yellow; inside each text line its
// characters as the character cut finds them (crimson boxes, a small last character in brown,
// blank cells as dark green bars). waveY is the character pitch the cut is given. Answers false
// when the file cannot be written.
bool writeOverlay(const std::string& folder, const char* inputPath, const GreyImage& analysed,
                  const VerticalBandList& pages, int seamX, double waveY);
