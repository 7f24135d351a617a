// tovel-glyphcheck: generates a sheet as tovel-synth does, runs it through the whole pipeline and
// looks for every character and ruby kana again in what was written, printing what was found,
// cut and lost, and where.
#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/trace.h"
#include "glyph_match.h"
#include "pipeline/image_io.h"
#include "pipeline/layo.h"
#include "ruby_options_cli.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder under the system's temporary folder, or "" when none can be made.
std::string makeWorkFolder() {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "tovel-glyphcheck-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    initImageIo();
    std::string preset = "novel-page", keep;
    SynthOptions given;
    CLI::App app{
        "tovel-glyphcheck generates a sheet (as tovel-synth does, from a preset and a seed), runs it\n"
        "through the whole pipeline and looks for every glyph again in the output: characters by their\n"
        "shape near their line's new place, ruby kana beside their base character's. It prints the\n"
        "share found, the characters cut and where the lost glyphs are.",
        "tovel-glyphcheck"};
    app.add_option("--preset", preset, std::string("one of: ") + presetList() + " (default novel-page)");
    app.add_option("--seed", given.seed, "random seed (default 1)");
    auto* tiers = app.add_option("--tiers", given.tiers, "tiers per page, 1 or 2")->check(CLI::Range(1, 2));
    const RubyFlags ruby = addRubyOptions(app, given);
    auto* rotate = app.add_option("--rotate", given.rotateDegrees, "small rotation, degrees clockwise")
                       ->check(CLI::Range(-10.0, 10.0));
    auto* shear = app.add_option("--shear", given.shear, "shear, x shift per row")->check(CLI::Range(-0.1, 0.1));
    app.add_option("--keep", keep, "folder to keep the sheet and the output in (default: a temporary folder, removed)");
    CLI11_PARSE(app, argc, argv);

    SynthOptions o;
    o.seed = given.seed;
    if (!applyPreset(preset, o)) {
        std::fprintf(stderr, "tovel-glyphcheck: unknown preset %s\n", preset.c_str());
        return 2;
    }
    if (*tiers) o.tiers = given.tiers;
    keepGivenRuby(ruby, given, o);
    if (*rotate) o.rotateDegrees = given.rotateDegrees;
    if (*shear) o.shear = given.shear;

    const std::string folder = keep.empty() ? makeWorkFolder() : keep;
    std::error_code ec;
    if (folder.empty() || (fs::create_directories(folder, ec), ec)) {
        std::fprintf(stderr, "tovel-glyphcheck: cannot make a work folder\n");
        return 2;
    }
    GreyImage sheet, written;
    SheetTruth truth;
    std::string error;
    // The pipeline writes the output beside the sheet, under its name with "-tovel".
    const std::string in = (fs::path(folder) / "sheet.png").string();
    const std::string writtenPath = (fs::path(folder) / "sheet-tovel.png").string();
    int status = 1;
    if (!synthesizeSheet(o, sheet, truth, error)) {
        std::fprintf(stderr, "tovel-glyphcheck: %s\n", error.c_str());
    } else if (saveGreyImage(in.c_str(), sheet) != 0) {
        std::fprintf(stderr, "tovel-glyphcheck: cannot write %s\n", in.c_str());
    } else {
        silenceTrace();
        const int result = runLayo(in.c_str(), in.c_str(), LayoOptions(), defaultLayoStages());
        GlyphTally t;
        if (result != 0) {
            std::fprintf(stderr, "tovel-glyphcheck: the pipeline failed on the sheet (result %d)\n", result);
        } else if (loadGreyImage(writtenPath.c_str(), written) != 0) {
            std::fprintf(stderr, "tovel-glyphcheck: cannot read %s\n", writtenPath.c_str());
        } else if (!matchSheetGlyphs(o, truth, written, t, error)) {
            std::fprintf(stderr, "tovel-glyphcheck: %s\n", error.c_str());
        } else {
            printGlyphTally(describeSheet(o).c_str(), t);
            status = 0;
        }
    }
    if (keep.empty()) fs::remove_all(folder, ec);
    return status;
}
