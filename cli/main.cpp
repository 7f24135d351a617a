// tovel-cli: the folder job without a window.
#include <langinfo.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "core/arrays.h"
#include "core/heap_reuse.h"
#include "core/progress.h"
#include "core/trace.h"
#include "books/book_job.h"
#include "pipeline/folder_job.h"
#include "pipeline/image_io.h"
#include "prep/spectrum.h"
#include "settings/app_settings.h"
#include "batch_report.h"
#include "overlay.h"
#include "sheet_list.h"
#include "terminal_progress.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;

volatile sig_atomic_t g_interrupts = 0;

// The first Ctrl-C asks the job to stop after abandoning the sheet in progress; a second one
// ends the process at once, removing the output file being written.
void onInterrupt(int) {
    g_interrupts = g_interrupts + 1;
    if (g_interrupts == 1) {
        requestStop();
        return;
    }
    removePartialOutput();
    _exit(kExitStopped);
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Text in the environment's locale, or C.UTF-8 when that locale is not UTF-8.
void useUtf8Locale() {
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || std::strcmp(codeset, "UTF-8") != 0) std::setlocale(LC_ALL, "C.UTF-8");
}

// Writes the inspection image of each sheet into the folder held by context.
void inspectSheet(void* context, const char* inputPath, const GreyImage& analysed,
                  const VerticalBandList& pages, int seamX, double waveY) {
    const std::string& folder = *static_cast<const std::string*>(context);
    if (!writeOverlay(folder, inputPath, analysed, pages, seamX, waveY)) {
        std::fprintf(stderr, "tovel-cli: cannot write the overlay of %s into %s\n", inputPath, folder.c_str());
    }
}

// Checks a folder given by the user; prints why it is unusable and answers false.
bool usableFolder(const std::string& folder, const char* role, bool mustWrite) {
    namespace fs = std::filesystem;
    if (folder.empty()) {
        std::fprintf(stderr,
                     "tovel-cli: no %s folder given, and ./TOVEL.ini names none "
                     "(see --help)\n",
                     role);
        return false;
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        std::fprintf(stderr, "tovel-cli: the %s folder %s does not exist or is not a folder\n",
                     role, folder.c_str());
        return false;
    }
    if (access(folder.c_str(), mustWrite ? (W_OK | X_OK) : (R_OK | X_OK)) != 0) {
        std::fprintf(stderr, "tovel-cli: the %s folder %s cannot be %s\n", role, folder.c_str(),
                     mustWrite ? "written" : "read");
        return false;
    }
    return true;
}

// "V,H" with two non-negative integers.
bool parseMarginPair(const std::string& text, int& vertical, int& horizontal) {
    int v = 0, h = 0, used = 0;
    if (std::sscanf(text.c_str(), "%d,%d%n", &v, &h, &used) != 2) return false;
    if (static_cast<size_t>(used) != text.size() || v < 0 || h < 0) return false;
    vertical = v;
    horizontal = h;
    return true;
}

void traceToTerminal(const char* text, void* context) {
    static_cast<TerminalProgress*>(context)->writeTrace(text);
}

// The cores this process may run on (a batch system may give it fewer than the machine has).
int availableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    return std::max(1u, std::thread::hardware_concurrency());
}

// The whole text of path, or of standard input for "-"; false when it cannot be read.
bool readListFile(const std::string& path, std::string& text) {
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

// True when source names one image or book file rather than a folder.
bool sourceIsOneFile(const std::string& source) {
    std::error_code ec;
    const std::string name = std::filesystem::path(source).filename().string();
    return std::filesystem::is_regular_file(source, ec) &&
           (hasImageExtension(sjisString(name.c_str())) || hasBookExtension(sjisString(name.c_str())));
}

// The program's version and those of the libraries it runs with, for a bug report.
std::string versionText() {
    std::string text = "tovel-cli (TOVEL) 1.00\n";
    text += std::string("FreeImage ") + imageLibraryVersion() + "\n";
    text += std::string("FFTW ") + fftLibraryVersion() + "\n";
    text += "Qt " TOVEL_QT_VERSION " (built for the window, tovel; tovel-cli itself does not load Qt)";
    return text;
}

// Makes the destination folder, with its parents, when it does not exist yet; made tells whether
// it was made. Prints why and answers false when it cannot be made.
bool makeDestination(const std::string& folder, bool& made) {
    namespace fs = std::filesystem;
    made = false;
    std::error_code ec;
    if (folder.empty() || fs::exists(fs::symlink_status(folder, ec))) return true;  // checked as it is
    if (!fs::create_directories(folder, ec) || ec) {
        std::fprintf(stderr, "tovel-cli: the destination folder %s cannot be made: %s\n", folder.c_str(),
                     ec ? ec.message().c_str() : "unknown reason");
        return false;
    }
    made = true;
    return true;
}

unsigned char formatCode(const std::string& name) {
    if (name == "png") return kFormatPng;
    if (name == "tif") return kFormatTiff;
    if (name == "jpg") return kFormatJpeg;
    return kFormatSame;
}

}  // namespace

int main(int argc, char** argv) {
    useUtf8Locale();
    setArrayErrorFunction(nullptr);
    keepFreedSheetMemory();
    initImageIo();

    AppSettings settings;
    settings.iniPath = iniPathIn(std::filesystem::current_path().string());
    LayoOptions options;
    loadSettings(settings, options);

    CLI::App app{
        "TOVEL cleans scanned pages of vertical Japanese text and writes each sheet re-laid-out.\n"
        "Every image file of SOURCE is processed into DESTINATION as NAME-tovel.EXT (or\n"
        "NAME-tovel-1.EXT for the right page and NAME-tovel-2.EXT for the left page of a divided\n"
        "spread), several sheets at once. A book (.pdf, .cbz, .zip) is processed page by page\n"
        "and written as NAME-tovel.pdf, .cbz or .zip. Defaults come from ./TOVEL.ini, section GENERAL.\n"
        "Standard output gets a line per sheet and a closing summary, standard error the failures\n"
        "and, on a terminal, a progress bar.\n"
        "Exit status: 0 all sheets written, 1 a sheet failed, 2 bad usage or unusable folders,\n"
        "130 stopped.",
        "tovel-cli"};
    app.set_version_flag("--version", versionText());
    std::string source = settings.sourceFolder;
    std::string destination = settings.destinationFolder;
    app.add_option("SOURCE", source,
                   "folder of scanned sheets, or one image or book (.pdf .cbz .zip) (default: SourceFolder)");
    app.add_option("DESTINATION", destination,
                   "folder that receives the output, made when missing (default: DestinationFolder)");
    bool divide = false, noDivide = false, removeHeader = false, keepHeader = false;
    bool noMargin = false, quiet = false, traceAll = false, keepGoing = false;
    auto* divideFlag = app.add_flag("--divide-page", divide, "write spreads as two pages");
    auto* noDivideFlag = app.add_flag("--no-divide-page", noDivide, "write spreads whole");
    auto* headerFlag = app.add_flag("--remove-header", removeHeader, "drop header and footer rows");
    auto* keepHeaderFlag =
        app.add_flag("--no-remove-header", keepHeader, "keep header and footer rows");
    std::string margin;
    auto* marginOption = app.add_option(
        "--margin", margin,
        "V,H: crop to the text and add V pixels above and below, H left and right");
    auto* noMarginFlag = app.add_flag("--no-margin", noMargin, "write the full sheet, not cropped");
    int jobs = availableCores();
    app.add_option("--jobs", jobs, "N: sheets processed at once (default: the number of cores)")
        ->check(CLI::Range(1, 256));
    app.add_flag("--keep-going", keepGoing, "try every sheet; list the failures at the end (exit 1 if any)");
    std::string filesFrom;
    auto* filesFromOption = app.add_option(
        "--files-from", filesFrom,
        "FILE: the sheets listed in FILE, one path a line ('-': standard input), instead of a "
        "SOURCE folder; the one folder given is then DESTINATION");
    std::string shardText;
    app.add_option("--shard", shardText,
                   "K/N: only the K-th of N shares of the sheets in name order (round robin), "
                   "for one task of a cluster job");
    std::string format = "same";
    app.add_option("--format", format, "same | png | tif | jpg: the outputs' format (default: same)")
        ->check(CLI::IsMember({"same", "png", "tif", "jpg"}));
    int jpegQuality = 95;
    app.add_option("--jpeg-quality", jpegQuality, "Q: quality of JPEG outputs, 1 to 100 (default: 95)")
        ->check(CLI::Range(1, 100));
    app.add_flag("--trace", traceAll,
                 "every sheet's trace lines on standard output, each sheet whole, in name order");
    std::string traceDir;
    app.add_option("--trace-dir", traceDir, "DIR: each sheet's trace lines in DIR/NAME.trace.txt");
    app.add_flag("--quiet", quiet, "print only failures");
    std::string overlay;
    app.add_option("--overlay", overlay,
                   "DIR: also write for every sheet a colour PNG of the analysed sheet with the "
                   "pages, seam, tiers, columns and characters drawn on it");
    divideFlag->excludes(noDivideFlag);
    headerFlag->excludes(keepHeaderFlag);
    marginOption->excludes(noMarginFlag);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    if (divide) options.dividePage = 1;
    if (noDivide) options.dividePage = 0;
    if (removeHeader) options.removeHeader = 1;
    if (keepHeader) options.removeHeader = 0;
    if (noMargin) options.setMargin = 0;
    if (marginOption->count() > 0) {
        if (!parseMarginPair(margin, options.verticalMargin, options.horizontalMargin)) {
            std::fprintf(stderr,
                         "tovel-cli: --margin wants two non-negative pixel counts as V,H "
                         "(for example 40,30), not '%s'\n",
                         margin.c_str());
            return kExitUsage;
        }
        options.setMargin = 1;
    }
    options.jpegQuality = jpegQuality;
    options.outputFormat = formatCode(format);
    Shard shard;
    std::string why;
    if (!shardText.empty() && !parseShard(shardText, shard, why)) {
        std::fprintf(stderr, "tovel-cli: %s\n", why.c_str());
        return kExitUsage;
    }

    // The sheets: those of the SOURCE folder, or those the list names.
    std::vector<SheetEntry> sheets;
    if (filesFromOption->count() > 0) {
        // The one folder given is the destination; the list replaces the source folder.
        const bool bothGiven = app.get_option("DESTINATION")->count() > 0;
        if (bothGiven) {
            std::fprintf(stderr, "tovel-cli: with --files-from give only the DESTINATION folder\n");
            return kExitUsage;
        }
        if (app.get_option("SOURCE")->count() > 0) destination = source;
        std::string text;
        if (!readListFile(filesFrom, text)) {
            std::fprintf(stderr, "tovel-cli: the list %s cannot be read\n", filesFrom.c_str());
            return kExitUsage;
        }
        if (!sheetsFromList(text, sheets, why)) {
            std::fprintf(stderr, "tovel-cli: %s, %s\n", filesFrom == "-" ? "standard input" : filesFrom.c_str(),
                         why.c_str());
            return kExitUsage;
        }
    } else if (sourceIsOneFile(source)) {
        sheets.push_back(SheetEntry{source, std::filesystem::path(source).filename().string()});
    } else if (!source.empty() && std::filesystem::is_regular_file(source)) {
        std::fprintf(stderr, "tovel-cli: the source %s is a file but neither an image nor a book TOVEL reads "
                     "(by its extension)\n", source.c_str());
        return kExitUsage;
    } else if (!usableFolder(source, "source", false)) {
        return kExitUsage;
    }
    bool madeDestination = false;
    if (!makeDestination(destination, madeDestination)) return kExitUsage;
    if (!usableFolder(destination, "destination", true)) return kExitUsage;
    size_t ownOutputs = 0;
    if (filesFromOption->count() == 0 && sheets.empty()) {
        if (!listSheets(sjisString(source.c_str()), sheets)) {
            std::fprintf(stderr, "tovel-cli: the source folder %s cannot be listed\n", source.c_str());
            return kExitUsage;
        }
        // A folder that is its own destination holds the outputs of earlier runs too.
        if (sameFolder(sjisString(source.c_str()), sjisString(destination.c_str()))) ownOutputs = dropOwnOutputs(sheets);
    }
    if (!outputNamesApart(sheets, options.outputFormat, why)) {
        std::fprintf(stderr, "tovel-cli: %s in --format %s\n", why.c_str(), format.c_str());
        return kExitUsage;
    }
    if (!shardText.empty()) sheets = shareOf(sheets, shard);

    LayoStages stages = defaultLayoStages();
    if (!overlay.empty()) {
        if (!usableFolder(overlay, "overlay", true)) return kExitUsage;
        stages.inspect = inspectSheet;
        stages.inspectContext = &overlay;
    }
    if (!traceDir.empty() && !usableFolder(traceDir, "trace", true)) return kExitUsage;

    // One sheet at a time traces live; sheets side by side keep their traces whole until each
    // ends, as does a trace going into files. Without --trace nothing else is traced.
    JobSettings job;
    job.jobs = jobs;
    job.keepGoing = keepGoing;
    job.captureTrace = !traceDir.empty() || (traceAll && jobs > 1);
    VoiceSettings voice;
    voice.trace = traceAll;
    voice.traceDir = traceDir;
    voice.quiet = quiet;
    voice.keepGoing = keepGoing;

    TerminalProgress progress;
    if (traceAll && !job.captureTrace) {
        setTraceSink(traceToTerminal, &progress);
    } else {
        silenceTrace();
    }
    BatchReport account(voice, progress, destination, sheets.size(), options.outputFormat);
    if (madeDestination) account.note("tovel-cli: made the destination folder " + destination);
    if (ownOutputs > 0)
        account.note("tovel-cli: skipped " + std::to_string(ownOutputs) +
                     " file(s) of the source folder that are outputs of an earlier run (NAME-tovel*)");
    installInterruptHandler();
    setProgress(0.0f);
    setJobRunning(true);
    progress.start();
    const FolderJobReport report = runShelfJob(sheets, sjisString(destination.c_str()), options, stages, job,
                                               BatchReport::onSheet, &account);
    progress.stop();
    setTraceSink(nullptr, nullptr);
    return account.finish(report);
}
