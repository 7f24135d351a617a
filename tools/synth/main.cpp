// tovel-synth: renders test sheets of vertical Japanese text with known layout, degraded like a
// scan, and writes the ground truth beside each one.
#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>

#include "pipeline/image_io.h"
#include "ruby_options_cli.h"
#include "sheet_synth.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    initImageIo();
    SynthOptions o;
    std::string preset, output;
    CLI::App app{
        "tovel-synth renders a scanned-looking sheet of vertical Japanese text and writes its\n"
        "ground truth (pages, tiers, lines, cells, pitches, the turn and skew applied) as JSON\n"
        "beside it: OUTPUT.jpg gives OUTPUT.json. The same options and seed give the same bytes.\n"
        "Presets set realistic values for everything; options given with them override them.",
        "tovel-synth"};
    app.add_option("OUTPUT", output, "image file to write; its extension names the format")->required();
    app.add_option("--preset", preset, std::string("one of: ") + presetList());
    app.add_option("--seed", o.seed, "random seed (default 1)");
    app.add_option("--font", o.font, "font file (default IPA Mincho)");
    auto* paper = app.add_option("--paper", o.paper, "page size: A4, A5, A6, B5, B6");
    auto* dpi = app.add_option("--dpi", o.dpi, "resolution (default 300)")->check(CLI::Range(50, 1200));
    auto* spread = app.add_flag("--spread", o.spread, "two pages side by side");
    auto* tiers = app.add_option("--tiers", o.tiers, "tiers per page, 1 or 2")->check(CLI::Range(1, 2));
    auto* font = app.add_option("--font-size", o.fontPoints, "character size in points")->check(CLI::Range(4.0, 40.0));
    auto* spacing = app.add_option("--line-spacing", o.lineSpacing, "line pitch over character size")->check(CLI::Range(1.0, 4.0));
    auto* chars = app.add_option("--chars-per-line", o.charsPerLine, "cells per line (0: as many as fit)");
    auto* margin = app.add_option("--margin-mm", o.marginTopMm, "top margin; the others follow it");
    const RubyFlags ruby = addRubyOptions(app, o);
    bool noHeader = false;
    app.add_flag("--no-header", noHeader, "no running header and page number");
    auto* picture = app.add_flag("--picture", o.picture, "add a picture block");
    auto* horizontal = app.add_flag("--horizontal-block", o.horizontalBlock, "add a block of horizontal lines");
    auto* horizontalText = app.add_flag("--horizontal-text", o.horizontalText, "write the whole text in horizontal lines");
    auto* frames = app.add_flag("--frames,!--no-frames", o.frames, "ruled frames round the text, a rule between tiers");
    auto* stamp = app.add_flag("--stamp,!--no-stamp", o.stamp, "a pale library stamp over the lower text");
    std::string sliver, bookEdge;
    auto* sliverSide = app.add_option("--sliver", sliver, "a strip of the facing page's text on this side: left, right or none")
                           ->check(CLI::IsMember({"left", "right", "none"}));
    auto* sliverShare = app.add_option("--sliver-share", o.sliverShare, "the sliver's share of the sheet width (default 0.05)")
                            ->check(CLI::Range(0.02, 0.08));
    auto* edgeSide = app.add_option("--book-edge", bookEdge, "the stacked edges of the other leaves on this side: left, right or none")
                         ->check(CLI::IsMember({"left", "right", "none"}));
    auto* edgeMm = app.add_option("--book-edge-mm", o.bookEdgeMm, "width of the book edge, mm (default 4)")
                       ->check(CLI::Range(0.5, 30.0));
    auto* rotate = app.add_option("--rotate", o.rotateDegrees, "small rotation, degrees clockwise")->check(CLI::Range(-10.0, 10.0));
    auto* shear = app.add_option("--shear", o.shear, "shear, x shift per row")->check(CLI::Range(-0.1, 0.1));
    auto* tone = app.add_option("--paper-tone", o.paperTone, "grey of blank paper")->check(CLI::Range(0, 255));
    auto* gradient = app.add_option("--gradient", o.gradient, "lighting gradient, 0 to 1")->check(CLI::Range(0.0, 1.0));
    auto* vignette = app.add_option("--vignette", o.vignette, "vignette, 0 to 1")->check(CLI::Range(0.0, 1.0));
    auto* specks = app.add_option("--speckles", o.speckles, "specks per square centimetre")->check(CLI::Range(0.0, 100.0));
    auto* blur = app.add_option("--blur", o.blur, "gaussian blur sigma, pixels")->check(CLI::Range(0.0, 10.0));
    auto* gutter = app.add_option("--gutter", o.gutter, "gutter shadow of a spread, 0 to 1")->check(CLI::Range(0.0, 1.0));
    auto* binding = app.add_option("--binding-mm", o.bindingMm, "dark binding strip along the seam, mm")->check(CLI::Range(0.0, 30.0));
    auto* border = app.add_option("--border", o.borderPx, "dark border around the sheet, pixels")->check(CLI::Range(0, 1000));
    auto* turn = app.add_option("--turn", o.turn, "quarter turns of the scan: 0, 90, 180, 270")->check(CLI::IsMember({0, 90, 180, 270}));
    auto* quality = app.add_option("--jpeg-quality", o.jpegQuality, "JPEG quality")->check(CLI::Range(1, 100));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    // "none" takes away a sliver or book edge a preset would draw.
    if (sliverSide->count() > 0) o.sliver = sliver == "none" ? "" : sliver;
    if (edgeSide->count() > 0) o.bookEdge = bookEdge == "none" ? "" : bookEdge;
    if (!preset.empty()) {
        // A preset sets everything; the options given explicitly are applied again over it.
        SynthOptions given = o;
        if (!applyPreset(preset, o)) {
            std::fprintf(stderr, "tovel-synth: unknown preset '%s' (one of: %s)\n", preset.c_str(), presetList());
            return 2;
        }
        auto keep = [](CLI::Option* opt, auto& field, const auto& value) {
            if (opt->count() > 0) field = value;
        };
        keep(paper, o.paper, given.paper);
        keep(dpi, o.dpi, given.dpi);
        keep(spread, o.spread, given.spread);
        keep(tiers, o.tiers, given.tiers);
        keep(font, o.fontPoints, given.fontPoints);
        keep(spacing, o.lineSpacing, given.lineSpacing);
        keep(chars, o.charsPerLine, given.charsPerLine);
        keepGivenRuby(ruby, given, o);
        keep(picture, o.picture, given.picture);
        keep(horizontal, o.horizontalBlock, given.horizontalBlock);
        keep(horizontalText, o.horizontalText, given.horizontalText);
        keep(frames, o.frames, given.frames);
        keep(stamp, o.stamp, given.stamp);
        keep(sliverSide, o.sliver, given.sliver);
        keep(sliverShare, o.sliverShare, given.sliverShare);
        keep(edgeSide, o.bookEdge, given.bookEdge);
        keep(edgeMm, o.bookEdgeMm, given.bookEdgeMm);
        keep(rotate, o.rotateDegrees, given.rotateDegrees);
        keep(shear, o.shear, given.shear);
        keep(tone, o.paperTone, given.paperTone);
        keep(gradient, o.gradient, given.gradient);
        keep(vignette, o.vignette, given.vignette);
        keep(specks, o.speckles, given.speckles);
        keep(blur, o.blur, given.blur);
        keep(gutter, o.gutter, given.gutter);
        keep(binding, o.bindingMm, given.bindingMm);
        keep(border, o.borderPx, given.borderPx);
        keep(turn, o.turn, given.turn);
        keep(quality, o.jpegQuality, given.jpegQuality);
    }
    if (margin->count() > 0) {
        o.marginBottomMm = o.marginTopMm * 0.9;
        o.marginInnerMm = o.marginOuterMm = o.marginTopMm * 0.75;
    }
    if (noHeader) o.header = o.pageNumber = false;

    GreyImage sheet;
    SheetTruth truth;
    std::string error;
    if (!synthesizeSheet(o, sheet, truth, error) || !writeSheet(output, sheet, truth, o.jpegQuality, error)) {
        std::fprintf(stderr, "tovel-synth: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
