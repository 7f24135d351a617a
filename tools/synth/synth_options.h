// What tovel-synth draws: the sheet, its pages and text, and the degradations of a scan.
#pragma once

#include <cstdint>
#include <string>

struct SynthOptions {
    // Paper and sheet.
    std::string paper = "A5";  // A4, A5, A6, B5, B6 (one page; a spread is two side by side)
    int dpi = 300;
    bool spread = false;  // two pages side by side on a landscape sheet
    int tiers = 1;        // 1 or 2

    // Type and text grid, in points (1/72 inch) and cells.
    double fontPoints = 9.0;      // character size; the cell is square
    double lineSpacing = 1.75;    // line pitch as a multiple of the character size
    int charsPerLine = 0;         // 0: as many as the text area holds
    double marginTopMm = 18, marginBottomMm = 16, marginInnerMm = 14, marginOuterMm = 12;
    double tierGapCells = 2.0;    // gap between tiers, in cells

    // Page furniture and blocks.
    bool header = true;       // running header above the text
    bool pageNumber = true;   // page number below the text
    double rubyRate = 0.08;   // share of kanji words that carry their reading as ruby
    int rubyGapPx = -1;       // pixels from the line's edge to the ruby's ink; -1: em box flush with the line
    int rubyLength = 0;       // kana per ruby, 1 to 5; 0: the word's whole reading
    int rubyBase = 0;         // characters under each ruby, 1 or 2; 0: the whole word
    bool handSet = false;     // characters of uneven size, shifted and turned, on wandering lines
    bool picture = false;     // a block that is not text (a filled box or a texture patch)
    bool horizontalBlock = false;  // a block of horizontally written lines
    bool horizontalText = false;   // the whole text in horizontal lines, as in a report
    bool hangingStops = true;      // 。 and 、 may hang below the last cell of a line

    // Marks of an old bound magazine.
    bool frames = false;  // ruled rectangle round the text, a rule between tiers
    bool stamp = false;   // a pale library stamp over the lower text of each page
    std::string sliver;   // "left", "right" or "": a strip of the facing page's text on that side
    double sliverShare = 0.05;  // the sliver's share of the sheet's width, 0.02 to 0.08
    std::string bookEdge;       // "left", "right" or "": the stacked edges of the other leaves
    double bookEdgeMm = 4.0;    // width of the book edge

    // Degradations.
    double rotateDegrees = 0.0;  // small rotation of the whole sheet, clockwise
    double shear = 0.0;          // horizontal shift per row (x grows by shear * dy)
    int paperTone = 245;         // grey level of blank paper
    double gradient = 0.0;       // darkening from one side to the other, 0 to 1
    double vignette = 0.0;       // darkening towards the corners, 0 to 1
    double speckles = 0.0;       // specks per square centimetre
    double blur = 0.0;           // gaussian sigma, pixels
    double gutter = 0.0;         // darkness of the binding shadow of a spread, 0 to 1
    double bindingMm = 0.0;      // width of a dark binding strip along the seam of a spread
    int borderPx = 0;            // dark frame around the sheet (the scanner lid)
    int turn = 0;                // 0, 90, 180 or 270: the sheet as scanned, turned clockwise
    int jpegQuality = 90;

    uint64_t seed = 1;
    std::string font = "/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf";
};

// Applies a named preset (novel-page, novel-spread, two-tier, rotated, magazine, report-page,
// old-magazine, clean-page, hand-set, blank) to options, the seed choosing the free parameters. Returns false for an unknown name.
bool applyPreset(const std::string& name, SynthOptions& options);

// The preset names, for --help.
const char* presetList();

// Paper width and height in millimetres of one page; false for an unknown name.
bool paperSize(const std::string& name, double& widthMm, double& heightMm);
