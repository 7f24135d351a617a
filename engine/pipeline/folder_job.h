// The folder job: image files through LAYO into a destination folder, one or several at once.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "core/text_strings.h"
#include "pipeline/layo.h"

// The image extensions, each between '$' signs.
extern const char* const kImageExtensions;

// True when fileName's extension (any case) is one of kImageExtensions.
bool hasImageExtension(const sjisString& fileName);

// The extensions of books (a PDF, or a ZIP or CBZ archive of page images), each between '$'.
extern const char* const kBookExtensions;

// True when fileName's extension (any case) is one of kBookExtensions.
bool hasBookExtension(const sjisString& fileName);

// Result of a folder job that could not list its source folder.
constexpr int kFolderUnreadable = -2;

// One sheet of a job: the file read, and the file name its outputs are named after.
struct SheetEntry {
    SheetEntry() = default;
    SheetEntry(std::string filePath, std::string fileName) : path(std::move(filePath)), name(std::move(fileName)) {}

    std::string path;
    std::string name;
    std::string label;  // the name reports show when it is not name (a book's page); empty: name
    int refused = 0;    // a LAYO result the sheet fails with unread (a book's page that could not be taken out)

    const std::string& shown() const { return label.empty() ? name : label; }
};

// The candidate sheets of folder, images and books, sorted by name in byte order; false when it
// cannot be listed. Sub-folders, hidden files (names starting with '.') and entries that are not
// regular files are skipped.
bool listSheets(const sjisString& folder, std::vector<SheetEntry>& sheets);

// True when fileName is one this program writes for a sheet or a book: STEM-tovel.EXT,
// STEM-tovel-1.EXT or STEM-tovel-2.EXT, with an image or book extension.
bool isOwnOutputName(const std::string& fileName);

// True when the two folders are the same folder, under whatever names (links included).
bool sameFolder(const sjisString& a, const sjisString& b);

// Takes out of sheets the files that are this program's outputs (isOwnOutputName), for a job whose
// source folder is its destination: a second run must not process the first run's outputs.
// Answers how many were taken out.
size_t dropOwnOutputs(std::vector<SheetEntry>& sheets);

struct SheetFailure {
    size_t index = 0;  // in the job's list
    std::string name;  // as reports show it
    int result = 0;
};

struct FolderJobReport {
    int result = 0;        // 0, kLayoStopped, kFolderUnreadable, or the first failing sheet's LAYO result
    int count = 0;         // sheets written
    sjisString failedFile; // the file name of the first sheet that failed, when result > 0
    std::vector<SheetFailure> failures;  // every sheet that failed, in list order
};

struct JobSettings {
    int jobs = 1;               // sheets processed at once
    bool keepGoing = false;     // try every sheet instead of stopping at the first failure
    bool captureTrace = false;  // keep each sheet's trace whole for its report, off the sink
};

// What became of one sheet, handed to the job's reporter.
struct SheetReport {
    size_t index = 0;
    const SheetEntry* sheet = nullptr;
    int result = 0;
    SheetOutcome outcome;
    std::string trace;  // with captureTrace: the sheet's trace lines, whole
    std::string detail; // of a failed book or book page: what its reader said
};

// Called on the job's own thread, once for every sheet started, in list order, as soon as that
// sheet and every sheet before it have ended.
using SheetReporter = void (*)(void* context, const SheetReport& report);

// Runs LAYO on every sheet of the list, writing into destinationFolder under each sheet's name,
// up to settings.jobs sheets at once. Each sheet comes out exactly as it would alone. Without
// keepGoing no sheet starts after one fails; the sheets already started end and keep their
// outputs, and the report names the first failure in list order. A stop request abandons the
// sheets in progress. The progress fraction is the whole job's while it runs. Sets the final
// status line, then clears the running and stop flags of the progress state.
FolderJobReport runSheetJob(const std::vector<SheetEntry>& sheets, const sjisString& destinationFolder,
                            const LayoOptions& options, const LayoStages& stages,
                            const JobSettings& settings, SheetReporter reporter = nullptr,
                            void* reporterContext = nullptr);

// runSheetJob without its ending: the status line and the running and stop flags are left as
// they are, for a job that runs several lists in turn (the pages of books between images).
FolderJobReport runSheetList(const std::vector<SheetEntry>& sheets, const sjisString& destinationFolder,
                             const LayoOptions& options, const LayoStages& stages,
                             const JobSettings& settings, SheetReporter reporter = nullptr,
                             void* reporterContext = nullptr);

// Ends a job that ended with report: sets the final status line, then clears the running and
// stop flags.
void endSheetJob(const FolderJobReport& report, bool keepGoing);

// Lists sourceFolder once, before the first sheet, so that outputs written into it are never
// taken as inputs, and runs the sheets one at a time, stopping at the first failure.
FolderJobReport runFolderJob(const sjisString& sourceFolder, const sjisString& destinationFolder,
                             const LayoOptions& options, const LayoStages& stages);
