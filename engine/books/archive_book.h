// ZIP and CBZ books through libarchive: taking their entries out, and writing them back.
#pragma once

#include <string>
#include <vector>

#include "books/book_contents.h"
#include "books/book_limits.h"

// Takes every entry of the archive at path out into workFolder, in the archive's order: image
// entries as pages (files named "BOOK page N.EXT", N counting pages from 1), everything else
// carried over as it is. Answers 0, kBookEncrypted or kBookDamaged (the archive cannot be read
// on: contents.message says where), or kLayoTooLarge when an entry that is not an image is
// larger than limits allows. An image entry that is too large or cannot be unpacked is a page
// refused (its result set), not a failure of the book. Runs in the calling process: a caller
// that must survive a broken archive runs it through readBook.
int takeOutArchive(const std::string& path, const std::string& workFolder, const BookLimits& limits,
                   BookContents& contents);

// One entry of an archive being written: the bytes of file under name, or a folder or a
// symbolic link (file then holds the link's target).
struct ArchiveEntryOut {
    BookItem::Kind kind = BookItem::kCarried;
    std::string name;
    std::string file;
    long long modified = 0;
    unsigned mode = 0644;
};

// Writes entries in order as a ZIP archive at path (JPEG entries stored as they are, the others
// deflated). Answers true when the archive is complete; on false, message says why and path may
// hold a partial file for the caller to remove.
bool writeArchive(const std::string& path, const std::vector<ArchiveEntryOut>& entries, std::string& message);
