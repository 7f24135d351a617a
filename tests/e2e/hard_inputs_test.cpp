// Hard inputs end to end through tovel-cli: damaged, extreme and unusual sheets, hostile folders
// and disks, and Ctrl-C. Each case checks the exit status and the message, that nothing is left
// half-written or under its final name for the sheet that failed, and that the outputs written
// before it (in this run and in an earlier one) are untouched.
#include <gtest/gtest.h>
#include <FreeImage.h>
#include <jpeglib.h>
#include <sys/mount.h>

#include <cstdio>

#include "cli_runner.h"
#include "core/progress.h"
#include "pipeline/image_io.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A tmpfs mounted on a folder while it lives; ok is false when this process may not mount.
struct ScratchDisk {
    ScratchDisk(const fs::path& at, unsigned long flags, const char* options) : at(at) {
        fs::create_directories(at);
        ok = mount("tovel-test", at.c_str(), "tmpfs", flags, options) == 0;
    }
    ~ScratchDisk() {
        if (ok) umount2(at.c_str(), MNT_DETACH);
    }
    ScratchDisk(const ScratchDisk&) = delete;
    ScratchDisk& operator=(const ScratchDisk&) = delete;
    fs::path at;
    bool ok = false;
};

// Text as the pipeline sees it: vertical lines of 14 x 13 dark blocks, lines at a pitch of 24 and
// blocks at a pitch of 15 along them, over the middle of the sheet, on light paper.
bool textAt(int x, int y, int w, int h) {
    return x > w / 10 && x < w * 9 / 10 && y > h / 10 && y < h * 9 / 10 && x % 24 < 14 && y % 15 < 13;
}

GreyImage textSheet(int w, int h) {
    return filled(w, h, [=](int x, int y) { return textAt(x, y, w, h) ? 20 : 245; });
}

void writeSheet(const fs::path& path, const GreyImage& image) {
    ASSERT_EQ(saveGreyImage(path.c_str(), image), 0) << path;
}

void writeTextSheet(const fs::path& path, int w, int h) { writeSheet(path, textSheet(w, h)); }

GreyImage noiseSheet(int w, int h, uint32_t seed) {
    return filled(w, h, [&seed](int, int) { return nextNoise(seed); });
}

// Saves and frees a FreeImage bitmap.
void saveBitmap(FIBITMAP* dib, FREE_IMAGE_FORMAT fif, const fs::path& path, int flags = 0) {
    ASSERT_TRUE(dib);
    const bool ok = FreeImage_Save(fif, dib, path.c_str(), flags);
    FreeImage_Unload(dib);
    ASSERT_TRUE(ok) << path;
}

// The text sheet at 16 bits per channel, grey (FIT_UINT16) or colour (FIT_RGB16).
FIBITMAP* deepTextSheet(FREE_IMAGE_TYPE type, int w, int h) {
    FIBITMAP* dib = FreeImage_AllocateT(type, w, h);
    const int channels = type == FIT_RGB16 ? 3 : 1;
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<uint16_t*>(FreeImage_GetScanLine(dib, h - 1 - y));
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                line[x * channels + c] = textAt(x, y, w, h) ? 5000 : 63000;
    }
    return dib;
}

// The text sheet as RGBA: opaque black text on a transparent background whose colour is black,
// as editors export a page cut out of its scan.
FIBITMAP* cutOutTextSheet(int w, int h) {
    FIBITMAP* dib = FreeImage_Allocate(w, h, 32);
    for (int y = 0; y < h; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, h - 1 - y);
        for (int x = 0; x < w; ++x) line[x * 4 + FI_RGBA_ALPHA] = textAt(x, y, w, h) ? 255 : 0;
    }
    return dib;
}

// Options of a JPEG written straight through libjpeg.
struct JpegForm {
    bool cmyk = false;        // CMYK in the inverted convention of Adobe's writers (255 = no ink),
                              // which is what CMYK JPEGs from print workflows carry; else grey
    bool progressive = false;
    int restartRows = 0;      // a restart marker after every so many rows of blocks
    std::string trailer;      // bytes after the end marker
};

// The text sheet as a JPEG of the given form.
void writeJpeg(const fs::path& path, int w, int h, const JpegForm& form) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(file);
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    const int components = form.cmyk ? 4 : 1;
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = components;
    c.in_color_space = form.cmyk ? JCS_CMYK : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    if (form.progressive) jpeg_simple_progression(&c);
    c.restart_in_rows = form.restartRows;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * components);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool ink = textAt(x, y, w, h);
            // CMYK: a little cyan in the ink, then black.
            const JSAMPLE cmyk[] = {JSAMPLE(ink ? 200 : 255), 255, 255, JSAMPLE(ink ? 0 : 250)};
            const JSAMPLE grey[] = {JSAMPLE(ink ? 20 : 245)};
            std::copy_n(form.cmyk ? cmyk : grey, components, &row[static_cast<size_t>(x) * components]);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fwrite(form.trailer.data(), 1, form.trailer.size(), file);
    std::fclose(file);
}

// A BMP file header and palette announcing an 8-bit image of w x h pixels, with no pixels.
std::string bmpHeaderOnly(uint32_t w, uint32_t h) {
    std::string s = "BM";
    const auto put = [&s](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const uint32_t offset = 14 + 40 + 1024;
    // File size, reserved, pixel offset; info header size, width, height, planes, bits per pixel.
    for (auto [v, bytes] : {std::pair{offset + w * h, 4}, {0u, 4}, {offset, 4}, {40u, 4}, {w, 4}, {h, 4}, {1u, 2}, {8u, 2}})
        put(v, bytes);
    s.append(24, '\0');  // no compression, sizes and colour counts defaulted
    for (uint32_t i = 0; i < 256; ++i) put(0x010101u * i, 4);
    return s;
}

// A PICT whose one bitmap opcode gives rows of 0 bytes for a bitmap 160 pixels wide: FreeImage's
// PICT reader writes past its buffer and the decoding process dies.
std::string pictThatBreaksTheDecoder() {
    std::string s(512, '\0');                                 // empty file header
    s += std::string(10, '\0');                               // picture size and frame
    s += std::string("\x00\x11\x02\xFF\x0C\x00", 6);          // version 2, header opcode
    s += std::string(24, '\0');                               // header
    s += std::string("\x00\x90\x00\x00", 4);                  // BitsRect, row bytes 0
    s += std::string("\x00\x00\x00\x00\x00\xC8\x00\xA0", 8);  // bounds 200 x 160
    s += std::string(18, '\0');                               // source and destination, mode
    s += '\xE8';
    return s;
}

GreyImage loadOrEmpty(const fs::path& path) {
    GreyImage image;
    loadGreyImage(path.c_str(), image);
    return image;
}

void expectSize(const fs::path& path, int w, int h) {
    const GreyImage out = loadOrEmpty(path);
    EXPECT_EQ(out.width, w) << path.filename();
    EXPECT_EQ(out.height, h) << path.filename();
}

// Looks at an output made from a text sheet of w x h pixels: its size, light paper in the
// corners, and dark text in the middle.
void expectTextSheet(const fs::path& path, int w, int h) {
    SCOPED_TRACE(path.filename().string());
    const GreyImage out = loadOrEmpty(path);
    ASSERT_EQ(out.width, w);
    ASSERT_EQ(out.height, h);
    EXPECT_GT(out.at(2, 2), 200) << "paper";
    EXPECT_GT(out.at(w - 3, h - 3), 200) << "paper";
    int dark = 0;
    for (int y = h / 4; y < h * 3 / 4; ++y)
        for (int x = w / 4; x < w * 3 / 4; ++x) dark += out.at(x, y) < 100;
    EXPECT_GT(dark, w * h / 16) << "text";
}

class HardInputs : public testing::Test {
protected:
    // Every folder holds a good sheet that goes first (a.png), and the destination holds the
    // output of an earlier run (old-tovel.png).
    void SetUp() override {
        src = work.path() / "src";
        dst = work.path() / "dst";
        fs::create_directories(src);
        fs::create_directories(dst);
        writeTextSheet(src / "a.png", 200, 280);
        writeTextSheet(dst / "old-tovel.png", 90, 120);
        oldBytes = readFile(dst / "old-tovel.png");
    }

    // With the trace on standard output, unless quiet.
    CliRun run(std::vector<std::string> args = {}) {
        if (args.empty() || args[0] != "--quiet") args.insert(args.begin(), "--trace");
        args.push_back(src.string());
        args.push_back(dst.string());
        return cli(args, work.path());
    }

    // The destination holds exactly the good outputs: a-tovel.png from this run, whole, and
    // old-tovel.png as it was. Nothing else: no part-written file, no output of a failed sheet.
    void expectOnlyTheGoodOutputs() {
        EXPECT_EQ(listFolder(dst), "a-tovel.png old-tovel.png");
        expectTextSheet(dst / "a-tovel.png", 200, 280);
        EXPECT_EQ(readFile(dst / "old-tovel.png"), oldBytes) << "an earlier output was touched";
    }

    // The run ended with the given status and message and left only the good outputs.
    void expectFailure(const CliRun& r, const std::string& message, int status = 1) {
        EXPECT_EQ(r.status, status) << r.out;
        EXPECT_TRUE(contains(r.out, message));
        expectOnlyTheGoodOutputs();
    }

    TempDir work;
    fs::path src, dst;
    std::string oldBytes;
};

}  // namespace

TEST_F(HardInputs, FilesThatAreNotWholeImagesStopTheJobWithResultSeven) {
    writeTextSheet(work.path() / "whole.jpg", 200, 280);
    const std::string jpeg = readFile(work.path() / "whole.jpg");
    const std::pair<const char*, std::string> cases[] = {
        {"b.png", ""},
        {"b.jpg", jpeg.substr(0, jpeg.size() * 2 / 3)},
        {"b.jpg", jpeg.substr(0, jpeg.size() - 2)},  // only the end marker missing
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(std::string(name) + ", " + std::to_string(bytes.size()) + " bytes");
        writeFile(src / name, bytes);
        const CliRun r = run();
        expectFailure(r, std::string(name) + ": result 7: the file cannot be read as an image: not an image, "
                                             "damaged or cut short; 1 sheet(s) written before it");
        EXPECT_TRUE(contains(r.out, "処理終了(エラー 7)。\n"));
        fs::remove(src / name);
        fs::remove(dst / "a-tovel.png");
    }
}

TEST_F(HardInputs, AFileThatCrashesTheDecoderIsUnreadableAndTheJobSurvivesIt) {
    writeFile(src / "b.pct", pictThatBreaksTheDecoder());
    const CliRun r = run();
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_TRUE(contains(r.out, "*** the image decoder crashed on this file (signal "));
    expectFailure(r, "b.pct: result 7: the file cannot be read as an image");
#else
    // Under a sanitizer's allocator the decoder's overrun goes unnoticed (the library is not
    // instrumented): the PICT decodes, and fails later as a format that cannot be written.
    expectFailure(r, "b.pct: result ");
#endif
}

TEST_F(HardInputs, ADecoderStuckInALoopIsGivenUpAtTheTimeLimitOrAtOnceOnAStop) {
    writeFile(src / "b.pct", "");  // FreeImage's PICT reader never returns on a file this short
    const auto timeLoad = [this](int& result) {
        const auto start = std::chrono::steady_clock::now();
        GreyImage image;
        result = loadGreyImage((src / "b.pct").c_str(), image);
        return std::chrono::steady_clock::now() - start;
    };
    int result = -1;
    setDecoderTimeout(1);
    {
        TraceCapture capture;
        EXPECT_LT(timeLoad(result), std::chrono::seconds(10));
        EXPECT_TRUE(contains(capture.text(), "the image decoder gave no answer within 1 s"));
    }
    EXPECT_EQ(result, kLoadUnreadable);

    setDecoderTimeout(60);
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        requestStop();
    });
    EXPECT_LT(timeLoad(result), std::chrono::seconds(10));
    stopper.join();
    clearStopRequest();
    EXPECT_EQ(result, kLoadUnreadable);
}

TEST_F(HardInputs, CtrlCWhileTheDecoderIsStuckStopsTheJobAtOnce) {
    writeFile(src / "b.pct", "");
    Child child({"--trace", "--jobs", "1", "src", "dst"}, work.path());
    ASSERT_TRUE(waitFor([&] { return contains(child.log(), "入力画像：src/b.pct"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    child.interrupt();
    expectFailure(child.wait(), "tovel-cli: stopped; 1 sheet(s) written before the stop", 130);
}

TEST_F(HardInputs, JpegsThatReachTheirEndMarkerAreReadWhateverTheirStructure) {
    JpegForm progressive, restarts, trailer;
    progressive.progressive = true;
    restarts.restartRows = 1;
    trailer.trailer = std::string("\xFF\xD8 camera notes", 15);
    for (const auto& [name, form] : {std::pair{"progressive.jpg", progressive}, {"restarts.jpg", restarts},
                                     {"trailer.jpg", trailer}}) {
        writeJpeg(src / name, 160, 200, form);
        GreyImage image;
        EXPECT_EQ(loadGreyImage((src / name).c_str(), image), kLoaded) << name;
        EXPECT_EQ(image.width, 160) << name;
    }
}

TEST_F(HardInputs, SheetsBelowSeventyPixelsAreRefusedAndSeventyIsEnough) {
    for (const int side : {1, 69}) {
        SCOPED_TRACE(side);
        writeSheet(src / "b.png", flat(side, side, 128));
        expectFailure(run(), "b.png: result 8: the sheet is smaller than 70 pixels on its shorter side");
        fs::remove(dst / "a-tovel.png");
    }
    writeSheet(src / "b.png", flat(70, 70, 128));
    EXPECT_EQ(run().status, 0);
    expectSize(dst / "b-tovel.png", 70, 70);
}

TEST_F(HardInputs, BlankBlackNoisyAndLongThinSheetsComeOutWholeAtTheirSize) {
    writeSheet(src / "b-white.png", flat(300, 400, 255));
    writeSheet(src / "c-black.png", flat(300, 400, 0));
    writeSheet(src / "d-noise.png", noiseSheet(300, 400, 12345));
    writeSheet(src / "e-thin.png", filled(100, 20000, [](int x, int y) {  // one line of text
                   return x >= 40 && x < 60 && y % 30 < 20 ? 30 : 240;
               }));
    const CliRun r = run({"--quiet"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "") << "--quiet prints only failures";
    for (const char* name : {"b-white-tovel.png", "c-black-tovel.png", "d-noise-tovel.png"})
        expectSize(dst / name, 300, 400);
    expectSize(dst / "e-thin-tovel.png", 100, 20000);
    const GreyImage white = loadOrEmpty(dst / "b-white-tovel.png");
    for (const unsigned char v : white.pixels) ASSERT_EQ(v, 255) << "ink appeared on a blank sheet";
}

TEST_F(HardInputs, DeepColourTransparentAndMisnamedSheetsAreReadAsGreyPages) {
    const int w = 240, h = 320;
    GreyImage page = textSheet(w, h);
    saveBitmap(FreeImage_ConvertFromRawBits(page.pixels.data(), w, h, w, 8, 0xFF0000, 0xFF00, 0xFF, TRUE), FIF_PNG,
               src / "b-misnamed.jpg");
    saveBitmap(deepTextSheet(FIT_UINT16, w, h), FIF_TIFF, src / "c-grey16.tif");
    saveBitmap(deepTextSheet(FIT_RGB16, w, h), FIF_TIFF, src / "d-colour48.tif");
    JpegForm cmyk;
    cmyk.cmyk = true;
    writeJpeg(src / "e-cmyk.jpg", w, h, cmyk);
    saveBitmap(cutOutTextSheet(w, h), FIF_PNG, src / "f-cutout.png");

    const CliRun r = run({"--quiet"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(listFolder(dst), "a-tovel.png b-misnamed-tovel.jpg c-grey16-tovel.tif d-colour48-tovel.tif "
                               "e-cmyk-tovel.jpg f-cutout-tovel.png old-tovel.png");
    for (const char* name : {"b-misnamed-tovel.jpg", "c-grey16-tovel.tif", "d-colour48-tovel.tif",
                             "e-cmyk-tovel.jpg", "f-cutout-tovel.png"})
        expectTextSheet(dst / name, w, h);
    EXPECT_EQ(FreeImage_GetFileType((dst / "b-misnamed-tovel.jpg").c_str(), 0), FIF_JPEG)
        << "the output takes the format its name says";
}

TEST_F(HardInputs, ASheetInAFormatThatCannotBeWrittenFailsWithResultSixAndSaysWhy) {
    std::string xbm = "#define b_width 80\n#define b_height 80\nstatic char b_bits[] = {\n";
    for (int i = 0; i < 80 * 10; ++i) xbm += i % 10 > 2 && i % 10 < 7 ? "0x0f," : "0x00,";
    writeFile(src / "b.xbm", xbm + "};\n");
    expectFailure(run(), "b.xbm: result 6: the output keeps the input's format, and .xbm files cannot be "
                         "written; 1 sheet(s) written before it");
}

TEST_F(HardInputs, NamesWithSpacesAndJapaneseCharactersPassThrough) {
    const fs::path in = work.path() / "原稿 第1巻", out = work.path() / "出力 先";
    fs::create_directories(in);
    fs::create_directories(out);
    writeTextSheet(in / "第 1 頁　スキャン.png", 200, 280);
    const CliRun r = cli({"--trace", "原稿 第1巻", "出力 先"}, work.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "処理開始。入力画像：原稿 第1巻/第 1 頁　スキャン.png\n"));
    EXPECT_EQ(listFolder(out), "第 1 頁　スキャン-tovel.png");
    expectTextSheet(out / "第 1 頁　スキャン-tovel.png", 200, 280);
}

TEST_F(HardInputs, AReadOnlyDestinationIsRefusedBeforeAnyWork) {
    const fs::path locked = work.path() / "locked";
    ScratchDisk readOnly(locked, MS_RDONLY, "size=64k");
    if (!readOnly.ok) {
        if (geteuid() == 0) GTEST_SKIP() << "root ignores permission bits and may not mount here";
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    }
    const CliRun r = cli({"src", "locked"}, work.path());
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_TRUE(contains(r.out, "the destination folder locked cannot be written"));
    EXPECT_FALSE(contains(r.out, "処理開始")) << "no sheet is started";
    EXPECT_EQ(listFolder(src), "a.png");
    std::error_code ignored;
    fs::permissions(locked, fs::perms::owner_all, ignored);
}

TEST_F(HardInputs, AFullDiskFailsTheSheetWithoutLeavingAPartialFile) {
    writeSheet(src / "b.png", noiseSheet(400, 400, 99));
    // The small outputs fit; the noisy sheet's output, tens of kilobytes, does not.
    const fs::path disk = work.path() / "disk";
    ScratchDisk full(disk, 0, "size=24k");
    std::string expected = "b.png: result 6: the output file could not be written";
    CliRun r;
    if (full.ok) {
        fs::copy_file(dst / "old-tovel.png", disk / "old-tovel.png");
        dst = disk;
        expected += ": the destination disk is full";
        r = run({"--quiet"});
    } else {
        r = Child({"--quiet", "src", "dst"}, work.path(), 16 * 1024).wait();
    }
    expectFailure(r, expected);
}

TEST_F(HardInputs, ASourceFolderThatDisappearsEndsTheJobAndKeepsWhatWasWritten) {
    for (int i = 0; i < 30; ++i) writeTextSheet((src / "s") += std::to_string(100 + i) + ".png", 900, 1300);
    Child child({"--trace", "--jobs", "1", "src", "dst"}, work.path());
    ASSERT_TRUE(waitFor([&] { return fs::exists(dst / "a-tovel.png"); }));
    fs::remove_all(src);
    const CliRun r = child.wait();
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(contains(r.out, ": result 7: the file is gone: it was moved or deleted during the run"));
    EXPECT_EQ(readFile(dst / "old-tovel.png"), oldBytes);
    int written = 0;
    for (const auto& entry : fs::directory_iterator(dst)) {
        const std::string name = entry.path().filename().string();
        if (name == "old-tovel.png") continue;
        ++written;
        EXPECT_EQ(name.find(".tovel-part"), std::string::npos) << name;
        if (name != "a-tovel.png") expectSize(entry.path(), 900, 1300);  // whole
    }
    EXPECT_LT(written, 31);
}

TEST_F(HardInputs, CtrlCInTheMiddleOfASheetAbandonsItAndKeepsTheEarlierOutputs) {
    writeSheet(src / "b.png", noiseSheet(1600, 2200, 7));  // a noisy sheet keeps the island cleaning busy
    writeTextSheet(src / "c.png", 200, 280);
    Child child({"--trace", "--jobs", "1", "src", "dst"}, work.path());
    ASSERT_TRUE(waitFor([&] {
        const std::string log = child.log();
        const size_t at = log.find("処理開始。入力画像：src/b.png\n");
        return at != std::string::npos && log.find("cleanBySweeping4()...", at) != std::string::npos;
    }));
    child.interrupt();
    const CliRun r = child.wait();
    EXPECT_TRUE(contains(r.out, "処理中断。\n"));
    expectFailure(r, "tovel-cli: stopped; 1 sheet(s) written before the stop", 130);
}

TEST_F(HardInputs, SheetsAboveThePixelLimitAreRefusedFromTheirHeader) {
    // 20000 x 20001 pixels: one row past the limit. The file holds no pixels at all, so only a
    // refusal based on the header gives result 9.
    static_assert(kLargestSheetPixels == 20000LL * 20000);
    writeFile(src / "b.bmp", bmpHeaderOnly(20000, 20001));
    expectFailure(run(), "b.bmp: result 9: the sheet has more than 400 million pixels");
}
