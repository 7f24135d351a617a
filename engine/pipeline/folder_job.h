// The folder job: every image file of a source folder through LAYO into a destination folder.
#pragma once

#include "core/text_strings.h"
#include "pipeline/layo.h"

// The image extensions, each between '$' signs.
extern const char* const kImageExtensions;

// True when fileName's extension (any case) is one of kImageExtensions.
bool hasImageExtension(const sjisString& fileName);

// Result of a folder job that could not list its source folder.
constexpr int kFolderUnreadable = -2;

struct FolderJobReport {
    int result = 0;        // 0, kLayoStopped, kFolderUnreadable, or the failing sheet's LAYO result
    int count = 0;         // sheets written
    sjisString failedFile; // the file name of the sheet that failed, when result > 0
};

// Runs LAYO on every image file of sourceFolder, in byte order of the names, stopping at the first
// result other than 0. The folder is listed once before the first sheet, so outputs written into
// it are never taken as inputs. Sub-folders, hidden files (names starting with '.') and entries
// that are not regular files are skipped. The options record is read afresh for every sheet.
// Sets the final status line, then clears the running and stop flags of the progress state.
FolderJobReport runFolderJob(const sjisString& sourceFolder, const sjisString& destinationFolder,
                             const LayoOptions& options, const LayoStages& stages);
