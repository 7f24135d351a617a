// Fuzz target: arbitrary bytes as an image file, through loading and the whole sheet pipeline;
// bytes that start as a PDF or a ZIP archive go through the book readers and writers instead.
//
// Each input is written to a file and handed to the pipeline exactly as the folder job would
// hand over a sheet. Besides crashes, hangs and sanitizer reports, a run aborts when a sheet
// breaks the rules of the output folder: a temporary file left behind, an output written for a
// sheet that failed, no output for a sheet that succeeded, or a result code nobody knows.
#include <dirent.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "books/archive_book.h"
#include "books/book_contents.h"
#include "books/pdf_book.h"
#include "core/arrays.h"
#include "core/trace.h"
#include "pipeline/image_io.h"
#include "pipeline/layo.h"

namespace {

// Sheets above this many pixels are only loaded: the pipeline on them costs too much time per
// input for fuzzing to get anywhere.
constexpr long long kLargestPipelineSheet = 200 * 200;

// The extensions an input file may carry: the one chosen decides the format the output is
// written in and, when the contents name no format, the format the input is read as.
const char* const kExtensions[] = {"bmp", "gif", "ico", "jpg",  "pbm",  "pcd",
                                   "pgm", "pct", "pic", "png",  "ppm",  "psd",
                                   "tif", "xbm", "xpm", "jpeg", "tiff", "pict"};
constexpr size_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];

std::string g_inFolder;
std::string g_outFolder;

void fail(const char* what, int result) {
    std::fprintf(stderr, "sheet_fuzzer: %s (result %d)\n", what, result);
    std::abort();
}

// Names of the entries of folder, without "." and "..".
std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    closedir(dir);
    return names;
}

std::string makeFolder(const char* base, const char* role) {
    std::string pattern = std::string(base) + "/tovel-fuzz-" + role + "-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("sheet_fuzzer: mkdtemp");
        std::exit(1);
    }
    return pattern;
}

void removeFolderAtExit() {
    for (const std::string* folder : {&g_inFolder, &g_outFolder}) {
        for (const std::string& name : entriesOf(*folder)) unlink((*folder + "/" + name).c_str());
        rmdir(folder->c_str());
    }
}

bool writeBytes(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// A book: its pages and entries are taken out (in this process, so that the sanitizers watch the
// readers), written back as a book of the same kind, and that book read again. A book read whole
// must come back with as many pages; every result must be one the job knows.
void fuzzBook(const uint8_t* data, size_t size, bool pdf) {
    const std::string input = g_inFolder + (pdf ? "/book.pdf" : "/book.cbz");
    if (!writeBytes(input, data, size)) return;
    BookLimits limits;
    limits.largestEntryBytes = 1 << 20;
    limits.largestPagePixels = kLargestPipelineSheet * 4;
    BookContents contents;
    const int result = pdf ? takeOutPdf(input, g_outFolder, limits, contents)
                           : takeOutArchive(input, g_outFolder, limits, contents);
    if (result != 0 && result != kBookEncrypted && result != kBookDamaged && result != kLayoTooLarge)
        fail("an unknown book result", result);
    BookContents again;
    if (!writeManifest(g_outFolder, contents) || !readManifest(g_outFolder, again) ||
        again.items.size() != contents.items.size())
        fail("the manifest does not survive its trip", result);
    size_t pages = 0;
    std::vector<PdfPageOut> pdfPages;
    std::vector<ArchiveEntryOut> entries;
    for (const BookItem& item : contents.items) {
        if (item.result != 0 && item.result != kLayoTooLarge && item.result != kLayoUnreadable)
            fail("an unknown page result", item.result);
        if (item.kind == BookItem::kPage && item.result != 0) continue;
        if (item.kind == BookItem::kPage) ++pages;
        pdfPages.push_back(PdfPageOut{item.file, 0.5, 0.5});
        entries.push_back(ArchiveEntryOut{item.kind, item.entryName, item.file, item.modified, item.mode});
    }
    if (result == 0 && pages > 0) {
        const std::string copy = g_outFolder + (pdf ? "/copy.pdf" : "/copy.cbz");
        std::string why;
        // A page the reader took out but the writer cannot read (a decoder's limits differ) is
        // not a fault; a book written must read back with its pages.
        if (pdf ? writePdf(copy, pdfPages, why) : writeArchive(copy, entries, why)) {
            const std::string folder = g_outFolder + "/again";
            mkdir(folder.c_str(), 0700);
            BookContents reread;
            const int r = pdf ? takeOutPdf(copy, folder, limits, reread) : takeOutArchive(copy, folder, limits, reread);
            if (r != 0 || reread.items.size() != (pdf ? pages : entries.size()))
                fail("a book written does not read back whole", r);
            for (const std::string& name : entriesOf(folder)) unlink((folder + "/" + name).c_str());
            rmdir(folder.c_str());
        }
    }
    for (const std::string& name : entriesOf(g_outFolder)) unlink((g_outFolder + "/" + name).c_str());
    unlink(input.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceTrace();
    setArrayErrorFunction([](const char*) {});
    initImageIo();
    setDecoderTimeout(5);  // the inputs are small; a decoder busy that long is stuck
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    g_inFolder = makeFolder(base, "in");
    g_outFolder = makeFolder(base, "out");
    std::atexit(removeFolderAtExit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The options and the extension come from the input's length, so that every byte of the
    // input stays image data and a valid seed stays a valid file.
    LayoOptions options;
    options.dividePage = size & 1;
    options.removeHeader = (size >> 1) & 1;
    options.setMargin = (size >> 2) & 1;
    options.horizontalMargin = options.verticalMargin = static_cast<int>(size % 13);
    const char* extension = kExtensions[(size >> 3) % kExtensionCount];
    if (size >= 4 && (std::memcmp(data, "%PDF", 4) == 0 || std::memcmp(data, "PK", 2) == 0)) {
        fuzzBook(data, size, data[0] == '%');
        return 0;
    }

    const std::string input = g_inFolder + "/sheet." + extension;
    const std::string output = g_outFolder + "/sheet." + extension;
    if (!writeBytes(input, data, size)) return 0;

    // Loaded once here only to skip large sheets. FreeImage reads uninitialised memory on some
    // damaged files, so this load and the pipeline's may disagree; only the pipeline's answer
    // is checked.
    GreyImage image;
    const int loaded = loadGreyImage(input.c_str(), image);
    const bool small = static_cast<long long>(image.width) * image.height <= kLargestPipelineSheet;
    if (loaded == kLoaded && !small) {
        unlink(input.c_str());
        return 0;
    }
    image = GreyImage();

    const int result = LAYO(input.c_str(), output.c_str(), options);
    unlink(input.c_str());

    const std::vector<std::string> written = entriesOf(g_outFolder);
    for (const std::string& name : written) {
        if (name.compare(0, 11, ".tovel-part") == 0)
            fail("a temporary file was left behind", result);
        unlink((g_outFolder + "/" + name).c_str());
    }
    switch (result) {
        case kLayoDone:
            if (written.empty()) fail("a sheet that succeeded wrote nothing", result);
            break;
        case kLayoWriteFailed:
            // A divided sheet whose second file failed keeps its first one.
            if (written.size() > 1) fail("a failed save left more than one file", result);
            break;
        case kLayoUnsettled:
        case kLayoPagesFailed:
        case kLayoUnreadable:
        case kLayoTooSmall:
        case kLayoTooLarge:
            if (!written.empty()) fail("a sheet that failed wrote a file", result);
            break;
        default: fail("an unknown result code", result);
    }
    return 0;
}
