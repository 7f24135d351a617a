#include "books/book_job.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "books/archive_book.h"
#include "books/pdf_book.h"
#include "core/file_sync.h"
#include "core/progress.h"
#include "core/trace.h"
#include "pipeline/image_io.h"
#include "pipeline/layo.h"

namespace fs = std::filesystem;

namespace {

// The longest a book's reader may take, in seconds: rendering a long book of drawn pages takes
// a while, a reader that loops for ever does not end at all.
constexpr int kReaderTimeout = 1800;

// readBook's child: the argument is the book's path, a NUL, the work folder, a NUL, and the
// limits; the manifest carries what was found.
int readBookHere(const std::string& argument) {
    const size_t split = argument.find('\0');
    const size_t split2 = argument.find('\0', split + 1);
    if (split == std::string::npos || split2 == std::string::npos) return kBookDamaged;
    const std::string path = argument.substr(0, split);
    const std::string folder = argument.substr(split + 1, split2 - split - 1);
    BookLimits limits;
    if (std::sscanf(argument.c_str() + split2 + 1, "%lld %lld", &limits.largestEntryBytes, &limits.largestPagePixels) != 2)
        return kBookDamaged;
    BookContents contents;
    const int result = bookKindOf(path) == BookKind::kPdf ? takeOutPdf(path, folder, limits, contents)
                                                          : takeOutArchive(path, folder, limits, contents);
    return writeManifest(folder, contents) ? result : kLayoWriteFailed;
}

std::string stemOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? name : name.substr(0, dot);
}

std::string extensionOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : name.substr(dot);
}

// A private folder beside the outputs, removed with everything in it.
class WorkFolder {
public:
    explicit WorkFolder(const std::string& destination) {
        std::string pattern = (destination.empty() ? "." : destination) + "/.tovel-book-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~WorkFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Forwards the reports of a book's pages, named as pages of the book, and keeps what each wrote.
struct PageRelay {
    const SheetEntry* book;
    std::string outputBook;  // as reports show it
    SheetReporter reporter;
    void* context;
    std::vector<std::vector<std::string>> written;  // per page, in the work folder
    int pagesOut = 0;

    static void onPage(void* self, const SheetReport& report) { static_cast<PageRelay*>(self)->page(report); }

    void page(const SheetReport& report) {
        written[report.index] = report.outcome.written;
        if (!reporter) return;
        SheetReport shown = report;
        shown.outcome.written.clear();
        for (size_t k = 0; k < report.outcome.written.size(); ++k)
            shown.outcome.written.push_back(outputBook + " page " + std::to_string(++pagesOut));
        reporter(context, shown);
    }
};

// Puts the book's outputs together at path; false with why in message.
bool assembleBook(BookKind kind, const BookContents& contents, const std::vector<std::vector<std::string>>& written,
                  const std::string& path, std::string& message) {
    if (kind == BookKind::kPdf) {
        std::vector<PdfPageOut> pages;
        size_t page = 0;
        for (const BookItem& item : contents.items) {
            if (item.kind != BookItem::kPage) continue;
            for (const std::string& file : written[page]) {
                PdfPageOut out;
                out.image = file;
                if (item.pixelsWide > 0 && item.pixelsHigh > 0) {
                    out.pointsPerPixelX = item.widthPoints / item.pixelsWide;
                    out.pointsPerPixelY = item.heightPoints / item.pixelsHigh;
                }
                pages.push_back(out);
            }
            ++page;
        }
        return writePdf(path, pages, message);
    }
    std::vector<ArchiveEntryOut> entries;
    size_t page = 0;
    for (const BookItem& item : contents.items) {
        if (item.kind != BookItem::kPage) {
            entries.push_back(ArchiveEntryOut{item.kind, item.entryName, item.file, item.modified, item.mode});
            continue;
        }
        const std::vector<std::string>& files = written[page++];
        for (size_t k = 0; k < files.size(); ++k) {
            // A divided spread becomes NAME-1 (the right page) and NAME-2.
            std::string suffix;
            if (files.size() > 1) suffix.append("-").append(std::to_string(k + 1));
            entries.push_back(ArchiveEntryOut{BookItem::kPage, stemOf(item.entryName) + suffix + extensionOf(files[k]),
                                              files[k], item.modified, item.mode});
        }
    }
    return writeArchive(path, entries, message);
}

// Tells the reporter of the book itself: its output, or why it failed.
void reportBook(const SheetEntry& book, size_t index, int result, const std::string& writtenPath,
                const std::string& detail, SheetReporter reporter, void* context) {
    if (result != kLayoDone && result != kLayoStopped)
        trace("Error: %s: the book failed (rc=%d): %s\n", book.name.c_str(), result, detail.c_str());
    if (!reporter) return;
    SheetReport report;
    report.index = index;
    report.sheet = &book;
    report.result = result;
    report.detail = detail;
    if (result == kLayoDone) report.outcome.written.push_back(writtenPath);
    reporter(context, report);
}

}  // namespace

int readBook(const std::string& path, const std::string& workFolder, BookContents& contents, const BookLimits& limits) {
    contents = BookContents();
    if (bookKindOf(path) == BookKind::kNone) {
        contents.message = "not a book";
        return kBookDamaged;
    }
    std::string argument = path;
    argument += '\0';
    argument += workFolder;
    argument += '\0';
    argument += std::to_string(limits.largestEntryBytes) + " " + std::to_string(limits.largestPagePixels);
    const int result = runIsolated(readBookHere, argument, kReaderTimeout);
    if (result < 0 && isStopRequested()) return kLayoStopped;
    if (!readManifest(workFolder, contents) || result < 0) {
        contents.message = result < 0 ? "the book's reader crashed or hung on it" : "the book's reader left no account";
        return kBookDamaged;
    }
    return result;
}

std::string outputBookName(const std::string& bookName) { return stemOf(bookName) + "-tovel" + extensionOf(bookName); }

FolderJobReport runBookJob(const SheetEntry& book, const sjisString& destinationFolder, const LayoOptions& options,
                           const LayoStages& stages, const JobSettings& settings, SheetReporter reporter,
                           void* reporterContext) {
    FolderJobReport report;
    const std::string destination = destinationFolder.c_str();
    const std::string outputPath = (destination.empty() ? std::string() : destination + "/") + outputBookName(book.name);
    auto fail = [&](int result, const std::string& detail) {
        report.result = result;
        if (result != kLayoStopped) {
            report.failedFile = sjisString(book.name.c_str());
            report.failures.push_back(SheetFailure{0, book.name, result});
        }
        reportBook(book, 0, result, outputPath, detail, reporter, reporterContext);
        return report;
    };
    setStatusText("%s : 読み込み中。", book.name.c_str());
    const WorkFolder work(destination);
    std::error_code ec;
    if (work.path().empty() || !fs::create_directory(work.path() + "/in", ec) ||
        !fs::create_directory(work.path() + "/out", ec)) {
        return fail(kLayoWriteFailed, "cannot make a work folder in " + destination);
    }
    BookContents contents;
    const int read = readBook(book.path, work.path() + "/in", contents);
    if (read != 0) return fail(read, contents.message);

    std::vector<SheetEntry> pages;
    for (const BookItem& item : contents.items) {
        if (item.kind != BookItem::kPage) continue;
        SheetEntry page;
        page.path = item.file;
        page.name = fs::path(item.file).filename().string();
        page.label = book.name + " page " + std::to_string(pages.size() + 1);
        page.refused = item.result;
        pages.push_back(page);
    }
    if (pages.empty()) return fail(kBookDamaged, "the book holds no page image");

    PageRelay relay{&book, outputPath, reporter, reporterContext, std::vector<std::vector<std::string>>(pages.size())};
    const FolderJobReport pagesRun = runSheetList(pages, sjisString((work.path() + "/out").c_str()), options, stages,
                                                  settings, PageRelay::onPage, &relay);
    report = pagesRun;
    if (pagesRun.result == kLayoStopped) return report;
    if (pagesRun.result != kLayoDone && !settings.keepGoing) return report;
    if (pagesRun.count == 0) {
        reportBook(book, 0, kBookDamaged, outputPath, "no page could be processed", reporter, reporterContext);
        return report;
    }

    // The pages that failed (with keepGoing) are left out of the book.
    const std::string partial = work.path() + "/" + outputBookName(book.name);
    std::string message;
    if (!assembleBook(bookKindOf(book.name), contents, relay.written, partial, message) ||
        !renameSynced(partial.c_str(), outputPath.c_str())) {
        const FolderJobReport pagesReport = report;
        report = fail(kLayoWriteFailed, message.empty() ? "cannot write " + outputPath : message);
        report.count = pagesReport.count;
        return report;
    }
    reportBook(book, 0, kLayoDone, outputPath, "", reporter, reporterContext);
    return report;
}

FolderJobReport runShelfJob(const std::vector<SheetEntry>& sheets, const sjisString& destinationFolder,
                            const LayoOptions& options, const LayoStages& stages, const JobSettings& settings,
                            SheetReporter reporter, void* reporterContext) {
    FolderJobReport report;
    auto merge = [&](const FolderJobReport& part) {
        report.count += part.count;
        report.failures.insert(report.failures.end(), part.failures.begin(), part.failures.end());
        if (part.result == kLayoStopped && report.result == kLayoDone) report.result = kLayoStopped;
        if (part.result > 0 && report.result <= 0) {
            report.result = part.result;
            report.failedFile = part.failedFile;
        }
        return part.result == kLayoStopped || (part.result > 0 && !settings.keepGoing);
    };
    size_t next = 0;
    while (next < sheets.size()) {
        if (isStopRequested()) {
            if (report.result == kLayoDone) report.result = kLayoStopped;
            break;
        }
        bool ended;
        if (hasBookExtension(sjisString(sheets[next].name.c_str()))) {
            ended = merge(runBookJob(sheets[next], destinationFolder, options, stages, settings, reporter, reporterContext));
            ++next;
        } else {
            std::vector<SheetEntry> images;
            while (next < sheets.size() && !hasBookExtension(sjisString(sheets[next].name.c_str())))
                images.push_back(sheets[next++]);
            ended = merge(runSheetList(images, destinationFolder, options, stages, settings, reporter, reporterContext));
        }
        if (ended) break;
    }
    endSheetJob(report, settings.keepGoing);
    return report;
}
