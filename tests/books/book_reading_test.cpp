// Reading a book in its child process: entries past the size limit are refused before they are
// unpacked, the rest come out in order, and a file that is no book fails as damaged.
#include <gtest/gtest.h>

#include "books/archive_book.h"
#include "books/book_job.h"
#include "pipeline/layo.h"
#include "test_support.h"

TEST(BookReading, EntriesPastTheLimitAreRefusedUnpackedAndTheRestComeOutInOrder) {
    TempDir work;
    writeFile(work / "small.png", std::string(100, 's'));
    writeFile(work / "big.jpg", std::string(5000, 'b'));
    writeFile(work / "big.xml", std::string(5000, 'x'));
    std::string why;
    ASSERT_TRUE(writeArchive(work / "pages.cbz",
                             {ArchiveEntryOut{BookItem::kPage, "1.png", work / "small.png"},
                              ArchiveEntryOut{BookItem::kPage, "2.jpg", work / "big.jpg"}},
                             why))
        << why;
    ASSERT_TRUE(writeArchive(work / "notes.cbz", {ArchiveEntryOut{BookItem::kCarried, "notes.xml", work / "big.xml"}}, why));
    BookLimits limits;
    limits.largestEntryBytes = 1000;

    std::filesystem::create_directory(work / "a");
    BookContents pages;
    ASSERT_EQ(readBook(work / "pages.cbz", work / "a", pages, limits), 0) << pages.message;
    ASSERT_EQ(pages.items.size(), 2u);
    EXPECT_EQ(pages.items[0].result, 0);
    EXPECT_EQ(readFile(pages.items[0].file), std::string(100, 's'));
    EXPECT_EQ(pages.items[1].result, kLayoTooLarge);
    EXPECT_FALSE(std::filesystem::exists(pages.items[1].file));

    // An entry carried over unchanged cannot be left out: the book is refused.
    std::filesystem::create_directory(work / "b");
    BookContents notes;
    EXPECT_EQ(readBook(work / "notes.cbz", work / "b", notes, limits), kLayoTooLarge);
    EXPECT_TRUE(contains(notes.message, "notes.xml"));

    writeFile(work / "junk.pdf", "not a PDF at all");
    std::filesystem::create_directory(work / "c");
    BookContents junk;
    EXPECT_EQ(readBook(work / "junk.pdf", work / "c", junk), kBookDamaged);
}
