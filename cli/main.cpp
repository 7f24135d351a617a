// tovel-cli: the folder job without a window.
#include <langinfo.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/arrays.h"
#include "core/progress.h"
#include "core/trace.h"
#include "pipeline/folder_job.h"
#include "pipeline/image_io.h"
#include "settings/app_settings.h"
#include "overlay.h"
#include "terminal_progress.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitSheetFailed = 1;
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

void traceToTerminal(const char* text, void* context) {
    static_cast<TerminalProgress*>(context)->writeTrace(text);
}

// Writes the inspection image of each sheet into the folder held by context.
void inspectSheet(void* context, const char* inputPath, const GreyImage& analysed,
                  const VerticalBandList& pages, int seamX, double waveY) {
    const std::string& folder = *static_cast<const std::string*>(context);
    if (!writeOverlay(folder, inputPath, analysed, pages, seamX, waveY)) {
        std::fprintf(stderr, "tovel-cli: cannot write the overlay of %s into %s\n", inputPath, folder.c_str());
    }
}

// Reports a sheet written otherwise than analysed, on standard error beside the progress.
void reportNotice(void*, const char* inputPath, const char* text) {
    std::fprintf(stderr, "tovel-cli: %s: written cleaned, as loaded: %s\n",
                 std::filesystem::path(inputPath).filename().c_str(), text);
}

// Why writing into folder failed, as far as can be told afterwards; empty when nothing shows.
std::string describeWriteFailure(const std::string& folder) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return "the destination folder is gone";
    struct statvfs disk {};
    if (statvfs(folder.c_str(), &disk) != 0) return "";
    if (disk.f_flag & ST_RDONLY) return "the destination is read-only";
    const unsigned long long free = static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize;
    return free < (1ull << 20) ? "the destination disk is full" : "";
}

// Why the sheet at path failed with result, in words for the user; destination is the output
// folder.
std::string describeResult(int result, const std::filesystem::path& path,
                           const std::string& destination) {
    std::error_code ec;
    switch (result) {
        case kLayoUnsettled: return "the sheet's orientation could not be settled";
        case kLayoPagesFailed: return "the page finder failed";
        case kLayoWriteFailed: {
            if (!canSaveGreyAs(path.c_str())) {
                return "the output keeps the input's format, and " + path.extension().string() +
                       " files cannot be written";
            }
            const std::string cause = describeWriteFailure(destination);
            return "the output file could not be written" + (cause.empty() ? "" : ": " + cause);
        }
        case kLayoUnreadable:
            if (!std::filesystem::exists(path, ec) && !ec) {
                return "the file is gone: it was moved or deleted during the run";
            }
            return "the file cannot be read as an image: not an image, damaged or cut short";
        case kLayoTooSmall: return "the sheet is smaller than 70 pixels on its shorter side";
        case kLayoTooLarge:
            return "the sheet has more than " + std::to_string(kLargestSheetPixels / 1'000'000) +
                   " million pixels";
        default: return "the sheet could not be processed";
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

}  // namespace

int main(int argc, char** argv) {
    useUtf8Locale();
    setArrayErrorFunction(nullptr);
    initImageIo();

    AppSettings settings;
    settings.iniPath = iniPathIn(std::filesystem::current_path().string());
    LayoOptions options;
    loadSettings(settings, options);

    CLI::App app{
        "TOVEL cleans scanned pages of vertical Japanese text and writes each sheet re-laid-out.\n"
        "Every image file of SOURCE is processed into DESTINATION as NAME-tovel.EXT (or\n"
        "NAME-tovel-1.EXT for the right page and NAME-tovel-2.EXT for the left page of a divided\n"
        "spread). Defaults come from ./TOVEL.ini, section GENERAL.\n"
        "Exit status: 0 all sheets written, 1 a sheet failed, 2 bad usage or unusable folders,\n"
        "130 stopped.",
        "tovel-cli"};
    app.set_version_flag("--version", "tovel-cli (TOVEL) 1.00");
    std::string source = settings.sourceFolder;
    std::string destination = settings.destinationFolder;
    app.add_option("SOURCE", source, "folder of scanned sheets (default: SourceFolder)");
    app.add_option("DESTINATION", destination,
                   "folder that receives the output (default: DestinationFolder)");
    bool divide = false, noDivide = false, removeHeader = false, keepHeader = false;
    bool noMargin = false, quiet = false;
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
    app.add_flag("--quiet", quiet, "no trace lines on standard output");
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

    if (!usableFolder(source, "source", false) || !usableFolder(destination, "destination", true)) {
        return kExitUsage;
    }
    LayoStages stages = defaultLayoStages();
    stages.notice = reportNotice;
    if (!overlay.empty()) {
        if (!usableFolder(overlay, "overlay", true)) return kExitUsage;
        stages.inspect = inspectSheet;
        stages.inspectContext = &overlay;
    }

    TerminalProgress progress;
    if (quiet) {
        silenceTrace();
    } else {
        setTraceSink(traceToTerminal, &progress);
    }
    installInterruptHandler();
    setProgress(0.0f);
    setJobRunning(true);
    progress.start();
    const FolderJobReport report =
        runFolderJob(sjisString(source.c_str()), sjisString(destination.c_str()), options, stages);
    progress.stop();
    setTraceSink(nullptr, nullptr);

    std::fprintf(stderr, "%s\n", takeStatusText(nullptr).c_str());
    if (report.result == kLayoDone) return kExitDone;
    if (report.result == kLayoStopped) {
        std::fprintf(stderr, "tovel-cli: stopped; %d sheet(s) written before the stop\n",
                     report.count);
        return kExitStopped;
    }
    if (report.result == kFolderUnreadable) {
        std::fprintf(stderr, "tovel-cli: the source folder %s cannot be listed\n",
                     source.c_str());
        return kExitUsage;
    }
    const std::string why =
        describeResult(report.result, std::filesystem::path(source) / report.failedFile.c_str(),
                       destination);
    std::fprintf(stderr, "tovel-cli: %s: result %d: %s; %d sheet(s) written before it\n",
                 report.failedFile.c_str(), report.result, why.c_str(), report.count);
    return kExitSheetFailed;
}
