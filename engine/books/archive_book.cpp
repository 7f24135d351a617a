#include "books/archive_book.h"

#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "pipeline/folder_job.h"
#include "pipeline/layo.h"

namespace {

struct ReadArchiveFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteArchiveFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
struct FileClose {
    void operator()(FILE* f) const { std::fclose(f); }
};

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extensionOf(const std::string& name) {
    const std::string base = baseName(name);
    const size_t dot = base.rfind('.');
    return dot == std::string::npos ? "" : base.substr(dot);
}

// An entry read as a page: an image by its extension, and not hidden (as "__MACOSX/._p1.jpg",
// the resource forks some archivers add, are not).
bool isPageEntry(const std::string& name) {
    const std::string base = baseName(name);
    return !base.empty() && base[0] != '.' && name.rfind("__MACOSX/", 0) != 0 &&
           hasImageExtension(sjisString(base.c_str()));
}

enum class Copy { kDone, kTooLarge, kBroken, kUnwritable };

// Copies the current entry's data into file, at most limit bytes.
Copy copyEntry(archive* a, const std::string& file, long long limit, std::string& message) {
    const std::unique_ptr<FILE, FileClose> out(std::fopen(file.c_str(), "wb"));
    if (!out) {
        message = "cannot write " + file;
        return Copy::kUnwritable;
    }
    char buffer[1 << 16];
    long long total = 0;
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            const char* why = archive_error_string(a);
            message = why ? why : "unreadable data";
            return Copy::kBroken;
        }
        total += n;
        if (total > limit) return Copy::kTooLarge;
        if (std::fwrite(buffer, 1, static_cast<size_t>(n), out.get()) != static_cast<size_t>(n)) {
            message = "cannot write " + file;
            return Copy::kUnwritable;
        }
    }
    return std::fflush(out.get()) == 0 ? Copy::kDone : Copy::kUnwritable;
}

}  // namespace

int takeOutArchive(const std::string& path, const std::string& workFolder, const BookLimits& limits,
                   BookContents& contents) {
    contents = BookContents();
    const std::unique_ptr<archive, ReadArchiveFree> a(archive_read_new());
    archive_read_support_format_zip(a.get());
    if (archive_read_open_filename(a.get(), path.c_str(), 1 << 16) != ARCHIVE_OK) {
        const char* why = archive_error_string(a.get());
        contents.message = why ? why : "not a ZIP archive";
        return kBookDamaged;
    }
    const std::string book = baseName(path);
    int pages = 0;
    for (int index = 0;; ++index) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(a.get(), &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN) {
            const char* why = archive_error_string(a.get());
            contents.message = std::string("after entry ") + std::to_string(index) + ": " + (why ? why : "damaged");
            return kBookDamaged;
        }
        BookItem item;
        const char* name = archive_entry_pathname(entry);
        item.entryName = name ? name : "";
        item.modified = archive_entry_mtime(entry);
        item.mode = archive_entry_perm(entry);
        if (archive_entry_is_encrypted(entry)) {
            contents.message = item.entryName + " is encrypted";
            return kBookEncrypted;
        }
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            item.kind = BookItem::kFolder;
            contents.items.push_back(item);
            continue;
        }
        if (type == AE_IFLNK) {
            item.kind = BookItem::kCarried;
            const char* target = archive_entry_symlink(entry);
            item.file = target ? target : "";
            item.mode |= 0120000;
            contents.items.push_back(item);
            continue;
        }
        const bool page = isPageEntry(item.entryName);
        item.kind = page ? BookItem::kPage : BookItem::kCarried;
        item.file = workFolder + "/" + (page ? book + " page " + std::to_string(++pages) + extensionOf(item.entryName)
                                             : "entry-" + std::to_string(index));
        std::string why;
        const bool declaredTooLarge = archive_entry_size_is_set(entry) && archive_entry_size(entry) > limits.largestEntryBytes;
        const Copy copied = declaredTooLarge ? Copy::kTooLarge : copyEntry(a.get(), item.file, limits.largestEntryBytes, why);
        if (copied == Copy::kUnwritable) {
            contents.message = why;
            return kLayoWriteFailed;
        }
        if (copied == Copy::kTooLarge && !page) {
            contents.message = item.entryName + " is larger than " + std::to_string(limits.largestEntryBytes) + " bytes";
            return kLayoTooLarge;
        }
        if (copied == Copy::kBroken && !page) {
            contents.message = item.entryName + ": " + why;
            return kBookDamaged;
        }
        if (copied != Copy::kDone) {
            unlink(item.file.c_str());
            item.result = copied == Copy::kTooLarge ? kLayoTooLarge : kLayoUnreadable;
            if (contents.message.empty()) contents.message = item.entryName + (copied == Copy::kTooLarge ? ": too large" : ": " + why);
        }
        contents.items.push_back(item);
    }
    return 0;
}

bool writeArchive(const std::string& path, const std::vector<ArchiveEntryOut>& entries, std::string& message) {
    const std::unique_ptr<archive, WriteArchiveFree> a(archive_write_new());
    auto failed = [&](const char* what) {
        const char* why = archive_error_string(a.get());
        message = std::string(what) + (why ? std::string(": ") + why : "");
        return false;
    };
    if (archive_write_set_format_zip(a.get()) != ARCHIVE_OK) return failed("ZIP format");
    if (archive_write_open_filename(a.get(), path.c_str()) != ARCHIVE_OK) return failed("cannot create the archive");
    for (const ArchiveEntryOut& e : entries) {
        const std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), e.name.c_str());
        archive_entry_set_mtime(entry.get(), static_cast<time_t>(e.modified), 0);
        archive_entry_set_perm(entry.get(), e.mode & 07777);
        std::unique_ptr<FILE, FileClose> in;
        if (e.kind == BookItem::kFolder) {
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
        } else if ((e.mode & 0170000) == 0120000) {
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_symlink(entry.get(), e.file.c_str());
        } else {
            in.reset(std::fopen(e.file.c_str(), "rb"));
            if (!in || std::fseek(in.get(), 0, SEEK_END) != 0) {
                message = "cannot read " + e.file;
                return false;
            }
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_size(entry.get(), std::ftell(in.get()));
            std::rewind(in.get());
            // A JPEG gains nothing from deflating: it is stored as it is.
            const std::string ext = extensionOf(e.name);
            const bool jpeg = ext == ".jpg" || ext == ".jpeg" || ext == ".JPG" || ext == ".JPEG";
            if (jpeg) {
                archive_write_zip_set_compression_store(a.get());
            } else {
                archive_write_zip_set_compression_deflate(a.get());
            }
        }
        if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK) return failed(e.name.c_str());
        if (!in) continue;
        char buffer[1 << 16];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
            if (archive_write_data(a.get(), buffer, n) != static_cast<la_ssize_t>(n)) return failed(e.name.c_str());
        if (std::ferror(in.get())) {
            message = "cannot read " + e.file;
            return false;
        }
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK) return failed("closing the archive");
    return true;
}
