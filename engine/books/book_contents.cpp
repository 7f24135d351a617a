#include "books/book_contents.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// A text field as its length, a colon and its bytes, so that any name survives the trip.
void putField(std::ostream& out, const std::string& text) { out << text.size() << ':' << text; }

bool getField(std::istream& in, std::string& text) {
    size_t length = 0;
    char colon = 0;
    if (!(in >> length) || !in.get(colon) || colon != ':' || length > (1u << 16)) return false;
    text.resize(length);
    return static_cast<bool>(in.read(text.data(), static_cast<std::streamsize>(length)));
}

std::string lowerExtension(const std::string& name) {
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext;
}

}  // namespace

BookKind bookKindOf(const std::string& fileName) {
    const std::string ext = lowerExtension(fileName);
    if (ext == "pdf") return BookKind::kPdf;
    if (ext == "cbz" || ext == "zip") return BookKind::kArchive;
    return BookKind::kNone;
}

bool writeManifest(const std::string& workFolder, const BookContents& contents) {
    std::ostringstream text;
    text.precision(17);
    putField(text, contents.message);
    text << '\n' << contents.items.size() << '\n';
    for (const BookItem& item : contents.items) {
        text << static_cast<char>(item.kind) << ' ' << item.result << ' ' << item.widthPoints << ' '
             << item.heightPoints << ' ' << item.pixelsWide << ' ' << item.pixelsHigh << ' ' << item.modified << ' ' << item.mode << ' ';
        putField(text, item.file);
        text << ' ';
        putField(text, item.entryName);
        text << '\n';
    }
    const std::string path = workFolder + "/" + kManifestName;
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text.str();
        if (!out.flush()) return false;
    }
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

bool readManifest(const std::string& workFolder, BookContents& contents) {
    std::ifstream in(workFolder + "/" + kManifestName, std::ios::binary);
    if (!in) return false;
    BookContents read;
    size_t count = 0;
    if (!getField(in, read.message) || !(in >> count)) return false;
    for (size_t k = 0; k < count; ++k) {
        BookItem item;
        char kind = 0;
        if (!(in >> kind >> item.result >> item.widthPoints >> item.heightPoints >> item.pixelsWide >> item.pixelsHigh >> item.modified >> item.mode))
            return false;
        if (kind != BookItem::kPage && kind != BookItem::kCarried && kind != BookItem::kFolder) return false;
        item.kind = static_cast<BookItem::Kind>(kind);
        if (!getField(in, item.file) || !getField(in, item.entryName)) return false;
        read.items.push_back(std::move(item));
    }
    contents = std::move(read);
    return true;
}
