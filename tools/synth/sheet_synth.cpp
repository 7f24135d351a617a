#include "sheet_synth.h"

#include <fstream>

#include "degrade.h"
#include "glyphs.h"
#include "page_layout.h"
#include "pipeline/image_io.h"
#include "random.h"

bool synthesizeSheet(const SynthOptions& options, GreyImage& sheet, SheetTruth& truth,
                     std::string& error) {
    GlyphSource glyphs(options.font);
    if (!glyphs.ok()) {
        error = "cannot open the font " + options.font;
        return false;
    }
    SynthRandom random(options.seed);
    SynthRandom layoutRandom = random.fork();
    SynthRandom scanRandom = random.fork();
    InkCanvas canvas;
    truth = SheetTruth();
    if (!layOutSheet(options, glyphs, layoutRandom, canvas, truth)) {
        error = "the paper " + options.paper + " leaves no room for text with these margins";
        return false;
    }
    degradeSheet(options, canvas, scanRandom, sheet, truth);
    return true;
}

std::string truthPathFor(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ".json";
    return path.substr(0, dot) + ".json";
}

bool writeSheet(const std::string& path, const GreyImage& sheet, const SheetTruth& truth,
                int jpegQuality, std::string& error) {
    if (!canSaveGreyAs(path.c_str())) {
        error = "cannot write an 8-bit grey image in the format of " + path;
        return false;
    }
    // The sheet's resolution goes into the file, as a scanner would write it.
    SaveSettings settings;
    settings.resolution.dotsPerMeterX = settings.resolution.dotsPerMeterY =
        static_cast<unsigned>(truth.dpi / 0.0254 + 0.5);
    settings.jpegQuality = jpegQuality;
    if (saveGreyImage(path.c_str(), sheet, settings) != 0) {
        error = "cannot write " + path;
        return false;
    }
    const std::string jsonPath = truthPathFor(path);
    std::ofstream json(jsonPath, std::ios::binary | std::ios::trunc);
    json << truthJson(truth);
    json.close();
    if (!json) {
        error = "cannot write " + jsonPath;
        return false;
    }
    return true;
}
