// LAYO: one scanned sheet from its image file to one or two output image files.
#pragma once

#include <string>
#include <vector>

#include "bands/band_records.h"
#include "core/grey_image.h"
#include "pipeline/layo_options.h"

// Result codes of LAYO.
enum LayoResult {
    kLayoStopped = -1,       // a stop was requested; nothing written for this sheet
    kLayoDone = 0,           // outputs written
    kLayoUnsettled = 4,      // the orientation stays unsettled after turning the sheet
    kLayoPagesFailed = 5,    // the page finder failed
    kLayoWriteFailed = 6,    // writing an output file failed
    kLayoUnreadable = 7,     // the file cannot be loaded as an image
    kLayoTooSmall = 8,       // the sheet's shorter side is below 70 pixels
    kLayoTooLarge = 9,       // the sheet has more than kLargestSheetPixels pixels (image_io.h)
};

// The page finder: cuts the sheet into pages (out), may change the wave lengths, reports the
// seam position (-1 for none). Answers 0 when done, -1 when stopped, 1 when the sheet seems
// upside down, 2 when it seems to lie on its side, anything else on failure.
using PageFinder = int (*)(HorizontalBand& sheet, double& waveX, double& waveY, GreyImage& image,
                           int& seamX, const LayoOptions& options, VerticalBandList& pages);

// Shown the analysed sheet after page finding: the working image as analysed (cleaned and
// straightened), the pages with their tiers and columns, the seam (-1 for none) and the
// character pitch waveY. It must not keep references past the call.
using LayoInspector = void (*)(void* context, const char* inputPath, const GreyImage& analysed,
                               const VerticalBandList& pages, int seamX, double waveY);

// Told why a sheet was written otherwise than analysed (the analysis was not trusted): a short
// text for the per-sheet report. It must not keep the pointers past the call.
using LayoNotice = void (*)(void* context, const char* inputPath, const char* text);

// The analysis stages LAYO runs. A stage that is not present (nullptr) is skipped: without a page
// finder no pages are found and the whole sheet is written.
struct LayoStages {
    PageFinder findPages = nullptr;
    LayoInspector inspect = nullptr;  // optional, for inspection images; changes no output
    void* inspectContext = nullptr;
    LayoNotice notice = nullptr;  // optional
    void* noticeContext = nullptr;
};

// What became of one sheet, for the per-sheet report: the files written (in the order written)
// and, when the analysis was not trusted, why the sheet was written cleaned, as loaded.
struct SheetOutcome {
    std::vector<std::string> written;
    std::string notice;
};

// The stages of this build.
LayoStages defaultLayoStages();

// Processes the sheet at inputPath and writes the output(s) next to outputPath, which is the
// destination folder joined with the input's file name: "-tovel" is inserted before the
// extension, or "-tovel-1" (right page) and "-tovel-2" (left page) for a divided sheet. The
// options are copied at the start, so changes made during the call do not reach it. Answers a
// LayoResult. Every other result writes nothing, except a divided sheet whose second file
// ("-tovel-2") fails to save: its first file stays.
int LAYO(const char* inputPath, const char* outputPath, const LayoOptions& options);

// LAYO with an explicit set of stages; outcome, when given, receives what became of the sheet.
// The output's extension is the input's, or the one options.outputFormat names.
int runLayo(const char* inputPath, const char* outputPath, const LayoOptions& options,
            const LayoStages& stages, SheetOutcome* outcome = nullptr);

// The output path of a sheet before its suffix is inserted: outputPath with its extension
// replaced by the one format names (kFormatSame keeps it).
std::string outputPathInFormat(const char* outputPath, unsigned char format);
