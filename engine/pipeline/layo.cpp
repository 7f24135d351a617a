#include "pipeline/layo.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/progress.h"
#include "core/stage_clock.h"
#include "core/text_strings.h"
#include "core/trace.h"
#include "layout/page_finder.h"
#include "lines/line_stage.h"
#include "pipeline/image_io.h"
#include "pipeline/output_check.h"
#include "pipeline/output_layout.h"
#include "prep/sheet_cleaning.h"
#include "prep/wave_lengths.h"

namespace {

constexpr const char* kSeparator = "-----------------------------------------------\n";
constexpr int kSmallestSide = 70;

// Everything one call works on; freed when the call returns.
struct SheetWork {
    GreyImage image;   // the sheet being analysed and cleaned
    GreyImage master;  // the sheet as loaded, from which the output is cut
    HorizontalBand sheet;
    VerticalBandList pages{0, 10};
    int seamX = -1;
    double waveX = 0.0;  // line pitch across the page, pixels
    double waveY = 0.0;  // character pitch along a line, pixels
    bool analysed = true;  // false when the spectrum showed no usable text lattice
    double cleanWaveX = 0.0;  // the wave lengths as measured, before any turn swaps them:
    double cleanWaveY = 0.0;  // both cleanings use these
    int turns = 0;  // quarter turns clockwise the analysis gave the sheet
    ImageResolution resolution;  // as the file states it
};

void coverWholeSheet(HorizontalBand& sheet, const GreyImage& image) {
    sheet.xLeft = 0;
    sheet.xRight = image.width - 1;
    sheet.yTopLeft = 0;
    sheet.yBottomLeft = image.height - 1;
    sheet.yTopRight = 0;
    sheet.yBottomRight = image.height - 1;
}

// Runs the page finder, and when it asks for a turn, turns the sheet and runs it again.
int findPagesUpright(SheetWork& w, const LayoOptions& options, PageFinder findPages) {
    const GreyImage imageBackup(w.image);
    const GreyImage masterBackup(w.master);
    w.image.companion = &w.master;
    coverWholeSheet(w.sheet, w.image);

    w.seamX = -1;
    const double waveX = w.waveX, waveY = w.waveY;
    // Horizontal writing cannot be re-laid out as vertical lines, and turning it would only put
    // its text on its side: the sheet is written as it was loaded, cleaned.
    auto keepAsLoaded = [&] {
        trace("the text reads in horizontal lines: the sheet is written cleaned, as loaded.\n");
        w.image = imageBackup;
        w.master = masterBackup;
        w.waveX = waveX;
        w.waveY = waveY;
        coverWholeSheet(w.sheet, w.image);
        w.pages.setCount(0);
        w.seamX = -1;
        w.turns = 0;
        return kLayoDone;
    };
    const int r = findPages(w.sheet, w.waveX, w.waveY, w.image, w.seamX, options, w.pages);
    if (r == 0) return kLayoDone;
    if (r == -1) return kLayoStopped;
    if (r == kTextReadsHorizontally) return keepAsLoaded();
    if (r != 1 && r != 2) return kLayoPagesFailed;

    int k = (r == 1) ? 2 : 1;
    int mode = r;
    int r2 = 0;
    for (;;) {
        w.image = imageBackup;
        w.master = masterBackup;
        w.image.companion = &w.master;
        rotateQuarterTurns(w.image, k);
        w.turns = k;
        trace("画像を %d 度回転。\n", 90 * k);
        if (!showPreview(w.image)) break;
        if (mode == 2) {
            std::swap(w.waveX, w.waveY);
            w.sheet.xRight = w.image.width - 1;
            w.sheet.yBottomLeft = w.sheet.yBottomRight = w.image.height - 1;
        }
        w.pages.setCount(0);
        w.seamX = -1;
        r2 = findPages(w.sheet, w.waveX, w.waveY, w.image, w.seamX, options, w.pages);
        if (mode == 2 && r2 == 1) {
            // The quarter turn went the wrong way: start again from the sheet as loaded and turn
            // it by 270 degrees.
            k = 3;
            mode = 1;
            continue;
        }
        break;
    }
    if (isStopRequested()) return kLayoStopped;
    if (r2 == kTextReadsHorizontally) return keepAsLoaded();
    if (mode == 1 && r2 != 0) {
        trace("画像の回転方向がわかりません。\n");
        return kLayoUnsettled;
    }
    return kLayoDone;
}

// Saves out under outputPath with suffix inserted; an output that could not be composed (a band
// too large for one image) fails like a save. The path written goes to outcome.
int writeOutput(bool composed, const GreyImage& out, const char* outputPath, const char* suffix,
                const SaveSettings& settings, SheetOutcome* outcome) {
    const ScopedStage stage(Stage::kSave);
    sjisString path(outputPath);
    path.insertSuffix(suffix);
    if (!composed || saveGreyImage(path.c_str(), out, settings) != 0) {
        trace("Error: JPEG に書き込めません。ファイル = %s\n", path.c_str());
        return kLayoWriteFailed;
    }
    if (outcome) outcome->written.emplace_back(path.c_str());
    return kLayoDone;
}

// The one or two images a sheet is written as: the bands of master, shifted and cut as the
// options and the pages found say.
struct SheetOutputs {
    bool divide = false;
    HorizontalBand r1, r2;
    GreyImage out1, out2;  // out2 (the right page) only when divided
    bool composed = false;  // compose was tried; ok1 and ok2 tell whether it made each image
    bool ok1 = false, ok2 = false;

    long long ink() const { return countInk(out1) + (divide ? countInk(out2) : 0); }
};

void planOutputs(const SheetWork& w, const LayoOptions& options, SheetOutputs& o) {
    const int width = w.master.width;
    const int height = w.master.height;
    o.divide = options.dividePage != 0;
    const bool single = w.seamX == -1 && width < height && !options.dividePage;
    const int dx = horizontalShift(w.pages, w.seamX, width, single, o.divide);
    outputBands(w.sheet, width, dx, o.divide, o.r1, o.r2);
    if (options.setMargin) {
        fitBandToPages(o.r1, w.pages, 0.6f);
        addMargins(o.r1, options.horizontalMargin, options.verticalMargin);
        if (o.divide) {
            fitBandToPages(o.r2, w.pages, 0.6f);
            addMargins(o.r2, options.horizontalMargin, options.verticalMargin);
        }
    }
}

void composeOutputs(const GreyImage& master, SheetOutputs& o) {
    o.ok1 = compose(master, o.r1, o.out1);
    o.ok2 = o.divide && compose(master, o.r2, o.out2);
    o.composed = true;
}

// The dark pixels of the text found, and of the whole sheet, on the sheet as loaded.
struct TextInk {
    long long text = 0;
    long long sheet = 0;
};

// Turns asLoaded as the analysis turned the sheet and cleans it as the output is cleaned, then
// counts its ink inside the pages' tiers and in all.
TextInk inkAsLoaded(GreyImage& asLoaded, const SheetWork& w) {
    if (w.turns != 0) rotateQuarterTurns(asLoaded, w.turns);
    cleanForOutput(asLoaded, w.cleanWaveX, w.cleanWaveY);
    return {countTextInk(asLoaded, w.pages), countInk(asLoaded)};
}

// Holds the outputs against the text found before anything is written: a shift or a crop must
// not cut it off, and the outputs must keep its ink. When they would not, the pages found are not
// the text (a book edge taken for a seam, a page misread): answers why, for the sheet to be
// written cleaned, as loaded. Composes the outputs when it gets that far.
const char* distrustOutputs(const SheetWork& w, SheetOutputs& outputs, const TextInk& reference) {
    if (textOutsideOutput(w.pages, outputs.r1, outputs.r2, outputs.divide, w.master.width, w.master.height)) {
        trace("the output would cut text found off the sheet: the sheet is written cleaned, as loaded.\n");
        return "the shift or crop would cut text off the sheet";
    }
    composeOutputs(w.master, outputs);
    const long long outputInk = outputs.ink();
    trace("text kept: %lld of %lld dark pixels.\n", outputInk, reference.text);
    if (!losesText(outputInk, reference.text, reference.sheet)) return nullptr;
    trace("the output would keep %lld of the text's %lld dark pixels (%lld on the sheet): the sheet is written cleaned, as loaded.\n",
          outputInk, reference.text, reference.sheet);
    return "the re-layout would lose text";
}

// Steps from loading to saving; answers the result code.
int carrySheet(SheetWork& w, const char* inputPath, const char* outputPath,
               const LayoOptions& options, const LayoStages& stages, SheetOutcome* outcome) {
    int load;
    {
        const ScopedStage stage(Stage::kLoad);
        load = loadGreyImage(inputPath, w.image, &w.resolution);
    }
    if (load != kLoaded && isStopRequested()) return kLayoStopped;  // loading was abandoned
    if (load == kLoadTooLarge) return kLayoTooLarge;
    if (load != kLoaded) return kLayoUnreadable;
    if (std::min(w.image.width, w.image.height) < kSmallestSide) return kLayoTooSmall;
    if (!showPreview(w.image)) return kLayoStopped;

    appendStatusText("前処理中……");
    w.master = w.image;

    bool measured;
    {
        const ScopedStage stage(Stage::kSpectrum);
        measured = measureWaveLengths(w.image, w.waveX, w.waveY);
    }
    if (!measured) {
        // Without a lattice there is nothing to analyse; the sheet is still cleaned, with
        // windows of a plausible line pitch, and written whole.
        w.analysed = false;
        w.waveX = w.waveY = fallbackWaveLength(w.image.width, w.image.height);
        trace("wave length unusable: the sheet is cleaned with (%lf, %lf) and not analysed.\n",
              w.waveX, w.waveY);
    }
    setProgress(0.03f);
    w.cleanWaveX = w.waveX;
    w.cleanWaveY = w.waveY;
    {
        const ScopedStage stage(Stage::kFirstCleaning);
        if (!cleanForAnalysis(w.image, w.waveX, w.waveY)) return kLayoStopped;
    }

    setProgress(0.15f);
    appendStatusText("ページを分割しています……");
    coverWholeSheet(w.sheet, w.image);
    // The sheet as loaded, kept in case the analysis turns out to have misread it.
    GreyImage asLoaded;
    if (stages.findPages && w.analysed) {
        asLoaded = w.master;
        const ScopedStage stage(Stage::kPagesAndTiers);
        const int r = findPagesUpright(w, options, stages.findPages);
        if (r != kLayoDone) return r;
    }

    if (stages.inspect) stages.inspect(stages.inspectContext, inputPath, w.image, w.pages, w.seamX, w.waveY);

    setProgress(0.95f);
    appendStatusText("出力しています……");
    std::optional<ScopedStage> outputStage(Stage::kOutput);
    cleanForOutput(w.master, w.cleanWaveX, w.cleanWaveY);
    if (options.removeHeader) removeHeaderRows(w.pages);
    // The sheet as loaded, upright and cleaned as the output is: what the outputs are held
    // against, and what is written when they fail.
    const bool checked = !w.pages.empty() && !asLoaded.pixels.empty();
    TextInk reference;
    if (checked) reference = inkAsLoaded(asLoaded, w);
    if (!w.pages.empty()) eraseOutsidePages(w.master, w.pages, w.sheet);
    SheetOutputs outputs;
    planOutputs(w, options, outputs);
    if (checked) {
        if (const char* why = distrustOutputs(w, outputs, reference)) {
            w.master = std::move(asLoaded);
            w.pages.setCount(0);
            w.seamX = -1;
            coverWholeSheet(w.sheet, w.master);
            planOutputs(w, options, outputs);
            outputs.composed = false;
            if (stages.notice) stages.notice(stages.noticeContext, inputPath, why);
            if (outcome) outcome->notice = why;
        }
    }
    if (!outputs.composed) composeOutputs(w.master, outputs);
    outputStage.reset();

    // The outputs keep the input's resolution, across the sheet's quarter turns.
    SaveSettings settings;
    settings.resolution = w.resolution;
    if (w.turns % 2 != 0) std::swap(settings.resolution.dotsPerMeterX, settings.resolution.dotsPerMeterY);
    settings.jpegQuality = options.jpegQuality;
    if (outputs.divide) {
        const int r = writeOutput(outputs.ok2, outputs.out2, outputPath, "-tovel-1", settings, outcome);
        if (r != kLayoDone) return r;
        return writeOutput(outputs.ok1, outputs.out1, outputPath, "-tovel-2", settings, outcome);
    }
    return writeOutput(outputs.ok1, outputs.out1, outputPath, "-tovel", settings, outcome);
}

}  // namespace

LayoStages defaultLayoStages() {
    LayoStages stages;
    stages.findPages = findPages;
    return stages;
}



int LAYO(const char* inputPath, const char* outputPath, const LayoOptions& options) {
    return runLayo(inputPath, outputPath, options, defaultLayoStages());
}

std::string outputPathInFormat(const char* outputPath, unsigned char format) {
    const char* extension = nullptr;
    switch (format) {
        case kFormatPng: extension = ".png"; break;
        case kFormatTiff: extension = ".tif"; break;
        case kFormatJpeg: extension = ".jpg"; break;
        default: return outputPath;
    }
    std::string path(outputPath);
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.erase(dot);
    return path + extension;
}

int runLayo(const char* inputPath, const char* outputPath, const LayoOptions& options,
            const LayoStages& stages, SheetOutcome* outcome) {
    const LayoOptions ownOptions = options;
    const std::string outputInFormat = outputPathInFormat(outputPath, ownOptions.outputFormat);
    resetStageTimes();
    trace("%s", kSeparator);
    trace("処理開始。入力画像：%s\n", inputPath);
    setStatusText("%s : 処理開始。", sjisString(inputPath).fileName().c_str());

    int result;
    {
        SheetWork work;
        result = carrySheet(work, inputPath, outputInFormat.c_str(), ownOptions, stages, outcome);
    }

    clearPreview();
    if (result == kLayoStopped) {
        trace("処理中断。\n");
        appendStatusText("処理中断。");
    } else if (result != kLayoDone) {
        trace("処理終了(エラー %d)。\n", result);
        appendStatusText("処理終了(エラー %d)。", result);
    } else {
        trace("処理終了。\n");
        appendStatusText("処理終了。");
    }
    trace("%s", kSeparator);
    return result;
}
