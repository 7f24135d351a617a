// What a book (a PDF, or a ZIP/CBZ archive of page images) holds once its pages are taken out
// into a work folder, and the manifest file through which the reading process hands it over.
#pragma once

#include <string>
#include <vector>

// Result codes of a whole book, beside the LAYO results (pipeline/layo.h).
enum BookResult {
    kBookEncrypted = 10,  // the book needs a password
    kBookDamaged = 11,    // the book cannot be read: damaged, cut short, or its reader failed
};

enum class BookKind { kNone, kPdf, kArchive };

// The kind of book fileName's extension (any case) names: .pdf, or .cbz and .zip.
BookKind bookKindOf(const std::string& fileName);

// One entry of a book in its order: a page image, or (archives only) an entry carried over
// unchanged: a file that is not an image, or a folder.
struct BookItem {
    enum Kind { kPage = 'P', kCarried = 'C', kFolder = 'D' };
    Kind kind = kPage;
    int result = 0;          // a page refused before decoding: its LAYO result; 0 when taken out
    std::string file;        // the page image or the carried entry's bytes, in the work folder
    std::string entryName;   // the path inside the archive; empty for a PDF page
    double widthPoints = 0;  // a PDF page's size, in points (1/72 inch)
    double heightPoints = 0;
    int pixelsWide = 0;      // a PDF page's pixels as taken out
    int pixelsHigh = 0;
    long long modified = 0;  // an archive entry's time of change (seconds since 1970), and mode
    unsigned mode = 0644;
};

struct BookContents {
    std::vector<BookItem> items;
    std::string message;  // why the book or a page failed, as the reader told it
};

// The manifest's name inside the work folder.
constexpr const char* kManifestName = "manifest";

// Writes contents as workFolder/manifest (whole or not at all); false when it cannot.
bool writeManifest(const std::string& workFolder, const BookContents& contents);

// Reads workFolder/manifest into contents; false when it is missing or malformed.
bool readManifest(const std::string& workFolder, BookContents& contents);
