// tovel-cli on books: a PDF and a CBZ of a folder's pages come out as that folder does, and bad
// books fail on their own, naming the book and the page, leaving nothing behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "books/archive_book.h"
#include "books/pdf_book.h"
#include "cli_runner.h"
#include "pipeline/image_io.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A PDF of the given objects (numbered from 1, the first the catalogue) with a true
// cross-reference table, so that the reader finds it whole.
std::string pdfOf(const std::vector<std::string>& objects, const std::string& trailer = "") {
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t k = 0; k < objects.size(); ++k) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(k + 1) + " 0 obj\n" + objects[k] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    return pdf + "trailer\n<</Size " + std::to_string(objects.size() + 1) + "/Root 1 0 R" + trailer +
           ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

// One page of 612 x 792 points showing object 5 as its image.
std::vector<std::string> onePageShowing(const std::string& image) {
    const std::string content = "q 612 0 0 792 0 0 cm /Im0 Do Q";
    return {"<</Type/Catalog/Pages 2 0 R>>", "<</Type/Pages/Kids[3 0 R]/Count 1>>",
            "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<</XObject<</Im0 5 0 R>>>>/Contents 4 0 R>>",
            "<</Length " + std::to_string(content.size()) + ">>stream\n" + content + "\nendstream", image};
}

class BookCli : public testing::Test {
protected:
    void SetUp() override {
        initImageIo();
        for (const char* dir : {"in", "books", "out", "out2"}) fs::create_directory(work.path() / dir);
    }
    CliRun run(const std::vector<std::string>& args) { return cli(args, work.path()); }
    std::string at(const std::string& name) const { return work / name; }

    // Three sheets at 150 dpi: a page as JPEG, a spread as PNG, a page as JPEG.
    void writeSheets() {
        const std::vector<std::pair<std::string, std::string>> sheets = {
            {"p1.jpg", "--preset novel-page --seed 11"}, {"p2.png", "--preset novel-spread --seed 12"},
            {"p3.jpg", "--preset novel-page --seed 13"}};
        for (const auto& [name, how] : sheets) {
            const std::string command = std::string(TOVEL_SYNTH) + " " + how + " --paper A6 --dpi 150 " + at("in/" + name) + " >/dev/null";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            fs::remove(at("in/" + fs::path(name).stem().string() + ".json"));
        }
    }

    // The folder must hold nothing, hidden files included.
    void expectEmpty(const std::string& folder) { EXPECT_EQ(listFolder(work.path() / folder), "") << folder; }

    TempDir work;
};

GreyImage load(const std::string& path) {
    GreyImage image;
    EXPECT_EQ(loadGreyImage(path.c_str(), image), kLoaded) << path;
    return image;
}

bool samePixels(const std::string& a, const std::string& b) {
    const GreyImage x = load(a), y = load(b);
    return x.width == y.width && x.height == y.height && x.width > 0 &&
           std::equal(x.pixels.data(), x.pixels.data() + x.size(), y.pixels.data());
}

}  // namespace

TEST_F(BookCli, APdfAndACbzOfAFoldersPagesComeOutAsTheFoldersRunDoes) {
    writeSheets();
    std::string why;
    const double at150 = 72.0 / 150;
    ASSERT_TRUE(writePdf(at("books/book.pdf"),
                         {PdfPageOut{at("in/p1.jpg"), at150, at150}, PdfPageOut{at("in/p2.png"), at150, at150},
                          PdfPageOut{at("in/p3.jpg"), at150, at150}},
                         why))
        << why;
    writeFile(at("notes.txt"), "not a page");
    ASSERT_TRUE(writeArchive(at("books/book.cbz"),
                             {ArchiveEntryOut{BookItem::kFolder, "pages/", "", 0, 0755},
                              ArchiveEntryOut{BookItem::kPage, "pages/p1.jpg", at("in/p1.jpg"), 0, 0644},
                              ArchiveEntryOut{BookItem::kCarried, "pages/notes.txt", at("notes.txt"), 0, 0644},
                              ArchiveEntryOut{BookItem::kPage, "pages/p2.png", at("in/p2.png"), 0, 0644},
                              ArchiveEntryOut{BookItem::kPage, "pages/p3.jpg", at("in/p3.jpg"), 0, 0644}},
                             why))
        << why;

    const CliRun folder = run({"--divide-page", "--jobs", "1", "in", "out"});
    ASSERT_EQ(folder.status, 0) << folder.out;
    const CliRun books = run({"--divide-page", "--jobs", "2", "books", "out2"});
    ASSERT_EQ(books.status, 0) << books.out;
    EXPECT_EQ(listFolder(work.path() / "out2"), "book-tovel.cbz book-tovel.pdf");
    EXPECT_TRUE(contains(books.out, "book.pdf page 2 -> out2/book-tovel.pdf page 2, out2/book-tovel.pdf page 3"));
    EXPECT_TRUE(contains(books.out, "book.cbz -> out2/book-tovel.cbz"));

    // The archive: the same entries in place, each page as the folder's output.
    fs::create_directory(at("cbz"));
    BookContents cbz;
    ASSERT_EQ(takeOutArchive(at("out2/book-tovel.cbz"), at("cbz"), BookLimits(), cbz), 0) << cbz.message;
    std::vector<std::string> names;
    for (const BookItem& item : cbz.items) names.push_back(item.entryName);
    EXPECT_EQ(names, (std::vector<std::string>{"pages/", "pages/p1.jpg", "pages/notes.txt", "pages/p2-1.png",
                                               "pages/p2-2.png", "pages/p3.jpg"}));
    ASSERT_EQ(cbz.items.size(), 6u);
    EXPECT_EQ(readFile(cbz.items[1].file), readFile(at("out/p1-tovel.jpg")));
    EXPECT_EQ(readFile(cbz.items[2].file), "not a page");
    EXPECT_EQ(readFile(cbz.items[3].file), readFile(at("out/p2-tovel-1.png")));
    EXPECT_EQ(readFile(cbz.items[4].file), readFile(at("out/p2-tovel-2.png")));
    EXPECT_EQ(readFile(cbz.items[5].file), readFile(at("out/p3-tovel.jpg")));

    // The PDF: a JPEG page carries the folder's JPEG bytes, a lossless page its pixels, and a
    // page keeps the input page's size.
    fs::create_directory(at("pdf"));
    BookContents pdf;
    ASSERT_EQ(takeOutPdf(at("out2/book-tovel.pdf"), at("pdf"), BookLimits(), pdf), 0) << pdf.message;
    ASSERT_EQ(pdf.items.size(), 4u);
    EXPECT_EQ(readFile(pdf.items[0].file), readFile(at("out/p1-tovel.jpg")));
    EXPECT_TRUE(samePixels(pdf.items[1].file, at("out/p2-tovel-1.png")));
    EXPECT_TRUE(samePixels(pdf.items[2].file, at("out/p2-tovel-2.png")));
    EXPECT_EQ(readFile(pdf.items[3].file), readFile(at("out/p3-tovel.jpg")));
    const GreyImage first = load(at("in/p1.jpg"));
    EXPECT_NEAR(pdf.items[0].widthPoints, first.width * at150, 0.01);
    EXPECT_NEAR(pdf.items[0].heightPoints, first.height * at150, 0.01);
}

TEST_F(BookCli, ABadBookFailsWithACodeOfItsOwnNamingItAndLeavesNothingBehind) {
    writeSheets();
    std::string why;
    ASSERT_TRUE(writePdf(at("whole.pdf"), {PdfPageOut{at("in/p1.jpg")}, PdfPageOut{at("in/p3.jpg")}}, why)) << why;
    ASSERT_TRUE(writeArchive(at("whole.cbz"),
                             {ArchiveEntryOut{BookItem::kPage, "p1.jpg", at("in/p1.jpg")},
                              ArchiveEntryOut{BookItem::kPage, "p3.jpg", at("in/p3.jpg")}},
                             why))
        << why;
    const std::string pdf = readFile(at("whole.pdf")), cbz = readFile(at("whole.cbz"));
    writeFile(at("books/cut.pdf"), pdf.substr(0, pdf.size() * 2 / 3));
    writeFile(at("books/cut.cbz"), cbz.substr(0, cbz.size() / 3));
    // Encryption flagged in every header of the archive (bit 0 of the flags).
    std::string locked = cbz;
    for (const auto& [signature, flags] : {std::pair<std::string, size_t>{"PK\x03\x04", 6}, {"PK\x01\x02", 8}})
        for (size_t at = locked.find(signature); at != std::string::npos; at = locked.find(signature, at + 1))
            locked[at + flags] = static_cast<char>(locked[at + flags] | 1);
    writeFile(at("books/locked.cbz"), locked);
    std::vector<std::string> encrypted = onePageShowing(
        "<</Type/XObject/Subtype/Image/Width 1/Height 1/ColorSpace/DeviceGray/BitsPerComponent 8/Length 1>>stream\nA\nendstream");
    encrypted.push_back("<</Filter/Standard/V 1/R 2/O<" + std::string(64, 'a') + ">/U<" + std::string(64, 'b') + ">/P -4>>");
    writeFile(at("books/locked.pdf"), pdfOf(encrypted, "/Encrypt 6 0 R/ID[<00112233445566778899aabbccddeeff><00112233445566778899aabbccddeeff>]"));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"cut.pdf", "cut.pdf: result 11: the book cannot be read"},
        {"cut.cbz", "cut.cbz: result 11: the book cannot be read"},
        {"locked.pdf", "locked.pdf: result 10: the book is encrypted"},
        {"locked.cbz", "locked.cbz: result 10: the book is encrypted"}};
    for (const auto& [book, message] : cases) {
        const CliRun r = run({"books/" + book, "out"});
        EXPECT_EQ(r.status, 1) << book << "\n" << r.out;
        EXPECT_TRUE(contains(r.out, message)) << book;
        expectEmpty("out");
    }
}

TEST_F(BookCli, APageTooLargeIsRefusedUnreadAndKeepGoingLeavesABadPageOutSayingWhich) {
    // 900 million pixels declared over one byte of data: refused before anything is decoded.
    writeFile(at("books/huge.pdf"),
              pdfOf(onePageShowing("<</Type/XObject/Subtype/Image/Width 30000/Height 30000/ColorSpace/DeviceGray"
                                   "/BitsPerComponent 8/Length 1>>stream\nA\nendstream")));
    const CliRun huge = run({"books/huge.pdf", "out"});
    EXPECT_EQ(huge.status, 1) << huge.out;
    EXPECT_TRUE(contains(huge.out, "huge.pdf page 1: result 9"));
    expectEmpty("out");

    writeSheets();
    const std::string jpeg = readFile(at("in/p3.jpg"));
    writeFile(at("cut.jpg"), jpeg.substr(0, jpeg.size() / 2));
    std::string why;
    ASSERT_TRUE(writeArchive(at("books/book.cbz"),
                             {ArchiveEntryOut{BookItem::kPage, "p1.jpg", at("in/p1.jpg")},
                              ArchiveEntryOut{BookItem::kPage, "p2.jpg", at("cut.jpg")},
                              ArchiveEntryOut{BookItem::kPage, "p3.jpg", at("in/p3.jpg")}},
                             why))
        << why;
    const CliRun stops = run({"--jobs", "2", "books/book.cbz", "out"});
    EXPECT_EQ(stops.status, 1) << stops.out;
    EXPECT_TRUE(contains(stops.out, "book.cbz page 2: result 7"));
    expectEmpty("out");

    const CliRun goesOn = run({"--jobs", "2", "--keep-going", "books/book.cbz", "out"});
    EXPECT_EQ(goesOn.status, 1) << goesOn.out;
    EXPECT_TRUE(contains(goesOn.out, "1 sheet(s) failed:\n  book.cbz page 2: result 7"));
    fs::create_directory(at("back"));
    BookContents back;
    ASSERT_EQ(takeOutArchive(at("out/book-tovel.cbz"), at("back"), BookLimits(), back), 0) << back.message;
    ASSERT_EQ(back.items.size(), 2u);
    EXPECT_EQ(back.items[0].entryName, "p1.jpg");
    EXPECT_EQ(back.items[1].entryName, "p3.jpg");
}
