// Books in a job: a PDF or a ZIP/CBZ archive is opened in a child process, its pages run as
// sheets, and the outputs are put together as a book of the same kind.
#pragma once

#include <string>
#include <vector>

#include "books/book_contents.h"
#include "books/book_limits.h"
#include "pipeline/folder_job.h"

// Takes the pages and entries of the book at path out into workFolder (which must exist) in a
// child process, so that a file that breaks its reader costs this book only. Answers 0,
// kBookEncrypted, kBookDamaged (also when the reader crashed, hung past its time or found no
// book), kLayoTooLarge, kLayoWriteFailed or kLayoStopped; contents.message says why.
int readBook(const std::string& path, const std::string& workFolder, BookContents& contents,
             const BookLimits& limits = BookLimits());

// The output book's file name: NAME-tovel.EXT for the book file name NAME.EXT.
std::string outputBookName(const std::string& bookName);

// Runs the book as a job of its pages, up to settings.jobs at once, and writes
// destinationFolder/NAME-tovel.EXT: the pages in order (a divided spread as two pages, right
// first), entries that are not images carried over in place. reporter hears of every page, named
// "BOOK page N", its outputs named as pages of the output book, and then of the book itself:
// its written file, or its failure (result and detail). The output book is written under a
// temporary name and renamed when complete; without keepGoing a failed page leaves no book, with
// it the book is written without that page. The work folder is removed on every path. The
// report counts pages; its result is the first failure's (a page's or the book's own).
FolderJobReport runBookJob(const SheetEntry& book, const sjisString& destinationFolder, const LayoOptions& options,
                           const LayoStages& stages, const JobSettings& settings, SheetReporter reporter = nullptr,
                           void* reporterContext = nullptr);

// runSheetJob over a list of images and books, in list order: images between books run as one
// list, each book as above. Stops at the first failure unless keepGoing, and ends the job
// (endSheetJob).
FolderJobReport runShelfJob(const std::vector<SheetEntry>& sheets, const sjisString& destinationFolder,
                            const LayoOptions& options, const LayoStages& stages, const JobSettings& settings,
                            SheetReporter reporter = nullptr, void* reporterContext = nullptr);
