#include "prep/sheet_cleaning.h"

#include "core/progress.h"
#include "core/trace.h"
#include "prep/frame_lines.h"
#include "prep/noise_cleaning.h"

bool cleanForAnalysis(GreyImage& image, double waveX, double waveY) {
    const int wx = 2 * static_cast<int>(waveX), wy = 2 * static_cast<int>(waveY);
    cleanBySweeping4(image, wx, wy, -35, -5);
    if (!showPreview(image)) return false;
    setProgress(0.06f);
    cleanSmallIslands(image, image, 240, 120, 5, 1);
    if (!showPreview(image)) return false;
    {
        GreyImage scratch(image);
        smearImage(scratch, 80, static_cast<int>(4 * waveX), static_cast<int>(6 * waveY),
                   static_cast<int>(0.01 * waveX * waveY));
        cleanSmallIslands(image, scratch, 160, 50, 110, 0);
    }
    const int sides = removeFrameLines(image);
    if (sides > 0) trace("frame lines removed on %d sides.\n", sides);
    return showPreview(image);
}

void cleanForOutput(GreyImage& master, double waveX, double waveY) {
    cleanBySweeping4(master, 2 * static_cast<int>(waveX), 2 * static_cast<int>(waveY), -35, -2);
    cleanSmallIslands(master, master, 240, 143, 2, 1);
}
