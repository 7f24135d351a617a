#include "sheet_run.h"

#include <gtest/gtest.h>

#include <string>

#include "pipeline/image_io.h"
#include "pipeline/layo.h"

void relayoutSheet(const SynthOptions& o, const TempDir& dir, GreyImage& sheet, SheetTruth& truth,
                   GreyImage& written) {
    std::string error;
    ASSERT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
    const std::string in = dir / "sheet.png", out = dir / "sheet-out.png";
    ASSERT_EQ(saveGreyImage(in.c_str(), sheet), 0);
    {
        TraceCapture quiet;
        ASSERT_EQ(runLayo(in.c_str(), out.c_str(), LayoOptions(), defaultLayoStages()), 0);
    }
    ASSERT_EQ(loadGreyImage((dir / "sheet-out-tovel.png").c_str(), written), 0);
}
