// Hard inputs end to end through tovel-cli: damaged, extreme and unusual sheets, hostile folders
// and disks, and Ctrl-C. Each case checks the exit status and the message, that nothing is left
// half-written or under its final name for the sheet that failed, and that the outputs written
// before it (in this run and in an earlier one) are untouched.
#include <gtest/gtest.h>
#include <FreeImage.h>
#include <fcntl.h>
#include <jpeglib.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/progress.h"
#include "pipeline/image_io.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;  // exit status; -1 when the process did not exit normally
    std::string out;  // standard output and standard error
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A running tovel-cli, its standard output and error going to a log file.
class Child {
public:
    // fileSizeLimit >= 0 makes every write past that many bytes of a file fail, as on a full
    // disk (SIGXFSZ is ignored so that the write returns an error instead of ending the process).
    Child(const std::vector<std::string>& args, const fs::path& cwd, long long fileSizeLimit = -1)
        : log_(cwd / ".cli-log") {
        std::vector<std::string> all{TOVEL_CLI};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int logFd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(cwd.c_str()) != 0) _exit(127);
            dup2(logFd, 1);
            dup2(logFd, 2);
            if (fileSizeLimit >= 0) {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{static_cast<rlim_t>(fileSizeLimit),
                                   static_cast<rlim_t>(fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(logFd);
    }

    // A run that a failed check left behind is ended.
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    std::string log() const { return readFile(log_); }

    void interrupt() const { kill(pid_, SIGINT); }

    CliRun wait() {
        int raw = 0;
        waitpid(pid_, &raw, 0);
        pid_ = -1;
        CliRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = log();
        fs::remove(log_);
        return run;
    }

private:
    fs::path log_;
    pid_t pid_ = -1;
};

CliRun cli(const std::vector<std::string>& args, const fs::path& cwd) {
    return Child(args, cwd).wait();
}

// Waits up to 60 seconds for done(); false when it never came.
template <class Condition>
bool waitFor(Condition done) {
    for (int i = 0; i < 6000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A tmpfs mounted on a folder while it lives; ok() is false when this process may not mount.
class ScratchDisk {
public:
    ScratchDisk(const fs::path& at, unsigned long flags, const char* options) : at_(at) {
        fs::create_directories(at);
        ok_ = mount("tovel-test", at.c_str(), "tmpfs", flags, options) == 0;
    }
    ~ScratchDisk() {
        if (ok_) umount2(at_.c_str(), MNT_DETACH);
    }
    ScratchDisk(const ScratchDisk&) = delete;
    ScratchDisk& operator=(const ScratchDisk&) = delete;
    bool ok() const { return ok_; }

private:
    fs::path at_;
    bool ok_ = false;
};

// Text as the pipeline sees it: vertical lines of 14 x 13 dark blocks, lines at a pitch of 24 and
// blocks at a pitch of 15 along them, over the middle of the
// sheet, on light paper.
bool textAt(int x, int y, int w, int h) {
    return x > w / 10 && x < w * 9 / 10 && y > h / 10 && y < h * 9 / 10 && x % 24 < 14 &&
           y % 15 < 13;
}

void writeTextSheet(const fs::path& path, int w, int h) {
    GreyImage image;
    fillImage(image, w, h, [=](int x, int y) {
        return static_cast<unsigned char>(textAt(x, y, w, h) ? 20 : 245);
    });
    ASSERT_EQ(saveGreyImage(path.c_str(), image), 0) << path;
}

void writeGreySheet(const fs::path& path, int w, int h,
                    const std::function<unsigned char(int, int)>& value) {
    GreyImage image;
    fillImage(image, w, h, value);
    ASSERT_EQ(saveGreyImage(path.c_str(), image), 0) << path;
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
            JSAMPLE* p = &row[static_cast<size_t>(x) * components];
            if (form.cmyk) {
                p[0] = ink ? 200 : 255;  // a little cyan in the ink
                p[1] = 255;
                p[2] = 255;
                p[3] = ink ? 0 : 250;  // black
            } else {
                p[0] = ink ? 20 : 245;
            }
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
std::string bmpHeaderOnly(int w, int h) {
    std::string s;
    auto put = [&s](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const uint32_t offset = 14 + 40 + 1024;
    s += "BM";
    put(offset + static_cast<uint32_t>(w) * static_cast<uint32_t>(h), 4);
    put(0, 4);
    put(offset, 4);
    put(40, 4);
    put(static_cast<uint32_t>(w), 4);
    put(static_cast<uint32_t>(h), 4);
    put(1, 2);                              // planes
    put(8, 2);                              // bits per pixel
    for (int i = 0; i < 6; ++i) put(0, 4);  // no compression, sizes and colour counts defaulted
    for (int i = 0; i < 256; ++i) put(0x010101u * static_cast<uint32_t>(i), 4);
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

    CliRun run(const std::vector<std::string>& options = {}) {
        std::vector<std::string> args = options;
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

    TempDir work;
    fs::path src, dst;
    std::string oldBytes;
};

}  // namespace

TEST_F(HardInputs, FilesThatAreNotWholeImagesStopTheJobWithResultSeven) {
    writeTextSheet(work.path() / "whole.jpg", 200, 280);
    const std::string jpeg = readFile(work.path() / "whole.jpg");
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"b.png", ""},
        {"b.jpg", jpeg.substr(0, jpeg.size() * 2 / 3)},
        {"b.jpg", jpeg.substr(0, jpeg.size() - 2)},  // only the end marker missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(c.bytes.size()) + " bytes");
        writeFile(src / c.name, c.bytes);
        const CliRun r = run();
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(std::string(c.name) +
                             ": result 7: the file cannot be read as an image: not an image, "
                             "damaged or cut short; 1 sheet(s) written before it"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("処理終了(エラー 7)。\n"), std::string::npos);
        expectOnlyTheGoodOutputs();
        fs::remove(src / c.name);
        fs::remove(dst / "a-tovel.png");
    }
}

TEST_F(HardInputs, AFileThatCrashesTheDecoderIsUnreadableAndTheJobSurvivesIt) {
    writeFile(src / "b.pct", pictThatBreaksTheDecoder());
    const CliRun r = run();
    EXPECT_EQ(r.status, 1) << r.out;
#ifndef __SANITIZE_ADDRESS__
    EXPECT_NE(r.out.find("*** the image decoder crashed on this file (signal "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("b.pct: result 7: the file cannot be read as an image"), std::string::npos)
        << r.out;
#else
    // Under AddressSanitizer's allocator the decoder's overrun goes unnoticed (the library is
    // not instrumented): the PICT decodes, and fails later as a format that cannot be written.
    EXPECT_NE(r.out.find("b.pct: result "), std::string::npos) << r.out;
#endif
    expectOnlyTheGoodOutputs();
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
        EXPECT_NE(capture.text().find("the image decoder gave no answer within 1 s"),
                  std::string::npos);
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
    Child child({"src", "dst"}, work.path());
    ASSERT_TRUE(waitFor([&] { return child.log().find("入力画像：src/b.pct") != std::string::npos; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    child.interrupt();
    const CliRun r = child.wait();
    EXPECT_EQ(r.status, 130) << r.out;
    EXPECT_NE(r.out.find("tovel-cli: stopped; 1 sheet(s) written before the stop"),
              std::string::npos)
        << r.out;
    expectOnlyTheGoodOutputs();
}

TEST_F(HardInputs, JpegsThatReachTheirEndMarkerAreReadWhateverTheirStructure) {
    JpegForm progressive, restarts, trailer;
    progressive.progressive = true;
    restarts.restartRows = 1;
    trailer.trailer = std::string("\xFF\xD8 camera notes", 15);
    writeJpeg(src / "progressive.jpg", 160, 200, progressive);
    writeJpeg(src / "restarts.jpg", 160, 200, restarts);
    writeJpeg(src / "trailer.jpg", 160, 200, trailer);
    for (const char* name : {"progressive.jpg", "restarts.jpg", "trailer.jpg"}) {
        GreyImage image;
        EXPECT_EQ(loadGreyImage((src / name).c_str(), image), kLoaded) << name;
        EXPECT_EQ(image.width, 160) << name;
    }
}

TEST_F(HardInputs, SheetsBelowSeventyPixelsAreRefusedAndSeventyIsEnough) {
    for (const int side : {1, 69}) {
        SCOPED_TRACE(side);
        writeGreySheet(src / "b.png", side, side, [](int, int) { return 128; });
        const CliRun r = run();
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(
            r.out.find("b.png: result 8: the sheet is smaller than 70 pixels on its shorter side"),
            std::string::npos)
            << r.out;
        expectOnlyTheGoodOutputs();
        fs::remove(dst / "a-tovel.png");
    }
    writeGreySheet(src / "b.png", 70, 70, [](int, int) { return 128; });
    const CliRun r = run();
    EXPECT_EQ(r.status, 0) << r.out;
    const GreyImage out = loadOrEmpty(dst / "b-tovel.png");
    EXPECT_EQ(out.width, 70);
    EXPECT_EQ(out.height, 70);
}

TEST_F(HardInputs, BlankBlackNoisyAndLongThinSheetsComeOutWholeAtTheirSize) {
    uint32_t noise = 12345;
    auto next = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<unsigned char>(noise >> 24);
    };
    writeGreySheet(src / "b-white.png", 300, 400, [](int, int) { return 255; });
    writeGreySheet(src / "c-black.png", 300, 400, [](int, int) { return 0; });
    writeGreySheet(src / "d-noise.png", 300, 400, [&](int, int) { return next(); });
    writeGreySheet(src / "e-thin.png", 100, 20000, [](int x, int y) {  // one line of text
        return static_cast<unsigned char>(x >= 40 && x < 60 && y % 30 < 20 ? 30 : 240);
    });
    const CliRun r = run({"--quiet"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("5 画像を処理しました。"), std::string::npos) << r.out;
    const struct {
        const char* name;
        int w, h;
    } outputs[] = {{"b-white-tovel.png", 300, 400},
                   {"c-black-tovel.png", 300, 400},
                   {"d-noise-tovel.png", 300, 400},
                   {"e-thin-tovel.png", 100, 20000}};
    for (const auto& o : outputs) {
        const GreyImage out = loadOrEmpty(dst / o.name);
        EXPECT_EQ(out.width, o.w) << o.name;
        EXPECT_EQ(out.height, o.h) << o.name;
    }
    const GreyImage white = loadOrEmpty(dst / "b-white-tovel.png");
    for (const unsigned char v : white.pixels) ASSERT_EQ(v, 255) << "ink appeared on a blank sheet";
}

TEST_F(HardInputs, DeepColourTransparentAndMisnamedSheetsAreReadAsGreyPages) {
    const int w = 240, h = 320;
    GreyImage page;
    fillImage(page, w, h, [=](int x, int y) {
        return static_cast<unsigned char>(textAt(x, y, w, h) ? 20 : 245);
    });
    FIBITMAP* png =
        FreeImage_ConvertFromRawBits(page.pixels.data(), w, h, w, 8, 0xFF0000, 0xFF00, 0xFF, TRUE);
    saveBitmap(png, FIF_PNG, src / "b-misnamed.jpg");
    saveBitmap(deepTextSheet(FIT_UINT16, w, h), FIF_TIFF, src / "c-grey16.tif");
    saveBitmap(deepTextSheet(FIT_RGB16, w, h), FIF_TIFF, src / "d-colour48.tif");
    JpegForm cmyk;
    cmyk.cmyk = true;
    writeJpeg(src / "e-cmyk.jpg", w, h, cmyk);
    saveBitmap(cutOutTextSheet(w, h), FIF_PNG, src / "f-cutout.png");

    const CliRun r = run({"--quiet"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(listFolder(dst),
              "a-tovel.png b-misnamed-tovel.jpg c-grey16-tovel.tif d-colour48-tovel.tif "
              "e-cmyk-tovel.jpg f-cutout-tovel.png old-tovel.png");
    for (const char* name : {"b-misnamed-tovel.jpg", "c-grey16-tovel.tif", "d-colour48-tovel.tif",
                             "e-cmyk-tovel.jpg", "f-cutout-tovel.png"}) {
        expectTextSheet(dst / name, w, h);
    }
    EXPECT_EQ(FreeImage_GetFileType((dst / "b-misnamed-tovel.jpg").c_str(), 0), FIF_JPEG)
        << "the output takes the format its name says";
}

TEST_F(HardInputs, ASheetInAFormatThatCannotBeWrittenFailsWithResultSixAndSaysWhy) {
    std::string xbm = "#define b_width 80\n#define b_height 80\nstatic char b_bits[] = {\n";
    for (int i = 0; i < 80 * 10; ++i) xbm += i % 10 > 2 && i % 10 < 7 ? "0x0f," : "0x00,";
    writeFile(src / "b.xbm", xbm + "};\n");
    const CliRun r = run();
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("b.xbm: result 6: the output keeps the input's format, and .xbm files "
                         "cannot be written; 1 sheet(s) written before it"),
              std::string::npos)
        << r.out;
    expectOnlyTheGoodOutputs();
}

TEST_F(HardInputs, NamesWithSpacesAndJapaneseCharactersPassThrough) {
    const fs::path in = work.path() / "原稿 第1巻";
    const fs::path out = work.path() / "出力 先";
    fs::create_directories(in);
    fs::create_directories(out);
    writeTextSheet(in / "第 1 頁　スキャン.png", 200, 280);
    const CliRun r = cli({"原稿 第1巻", "出力 先"}, work.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("処理開始。入力画像：原稿 第1巻/第 1 頁　スキャン.png\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(listFolder(out), "第 1 頁　スキャン-tovel.png");
    expectTextSheet(out / "第 1 頁　スキャン-tovel.png", 200, 280);
}

TEST_F(HardInputs, AReadOnlyDestinationIsRefusedBeforeAnyWork) {
    const fs::path locked = work.path() / "locked";
    ScratchDisk readOnly(locked, MS_RDONLY, "size=64k");
    if (!readOnly.ok()) {
        if (geteuid() == 0) GTEST_SKIP() << "root ignores permission bits and may not mount here";
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    }
    const CliRun r = cli({"src", "locked"}, work.path());
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("the destination folder locked cannot be written"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("処理開始"), std::string::npos) << "no sheet is started";
    EXPECT_EQ(listFolder(src), "a.png");
    std::error_code ignored;
    fs::permissions(locked, fs::perms::owner_all, ignored);
}

TEST_F(HardInputs, AFullDiskFailsTheSheetWithoutLeavingAPartialFile) {
    uint32_t noise = 99;
    writeGreySheet(src / "b.png", 400, 400, [&noise](int, int) {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<unsigned char>(noise >> 24);
    });
    // The small outputs fit; the noisy sheet's output, tens of kilobytes, does not.
    const fs::path disk = work.path() / "disk";
    ScratchDisk full(disk, 0, "size=24k");
    std::string expected = "b.png: result 6: the output file could not be written";
    CliRun r;
    if (full.ok()) {
        fs::copy_file(dst / "old-tovel.png", disk / "old-tovel.png");
        dst = disk;
        expected += ": the destination disk is full";
        r = run({"--quiet"});
    } else {
        r = Child({"--quiet", "src", "dst"}, work.path(), 16 * 1024).wait();
    }
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    expectOnlyTheGoodOutputs();
}

TEST_F(HardInputs, ASourceFolderThatDisappearsEndsTheJobAndKeepsWhatWasWritten) {
    for (int i = 0; i < 30; ++i)
        writeTextSheet(src / ("s" + std::to_string(100 + i) + ".png"), 900, 1300);
    Child child({"src", "dst"}, work.path());
    ASSERT_TRUE(waitFor([&] { return fs::exists(dst / "a-tovel.png"); }));
    fs::remove_all(src);
    const CliRun r = child.wait();
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(": result 7: the file is gone: it was moved or deleted during the run"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(readFile(dst / "old-tovel.png"), oldBytes);
    int written = 0;
    for (const auto& entry : fs::directory_iterator(dst)) {
        const std::string name = entry.path().filename().string();
        if (name == "old-tovel.png") continue;
        ++written;
        EXPECT_EQ(name.find(".tovel-part"), std::string::npos) << name;
        if (name == "a-tovel.png") continue;
        const GreyImage out = loadOrEmpty(entry.path());
        EXPECT_EQ(out.width, 900) << name << " is whole";
        EXPECT_EQ(out.height, 1300) << name << " is whole";
    }
    EXPECT_LT(written, 31);
}

TEST_F(HardInputs, CtrlCInTheMiddleOfASheetAbandonsItAndKeepsTheEarlierOutputs) {
    // b takes a while: a noisy sheet keeps the island cleaning busy.
    uint32_t noise = 7;
    writeGreySheet(src / "b.png", 1600, 2200, [&noise](int, int) {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<unsigned char>(noise >> 24);
    });
    writeTextSheet(src / "c.png", 200, 280);
    Child child({"src", "dst"}, work.path());
    const std::string started = "処理開始。入力画像：src/b.png\n";
    ASSERT_TRUE(waitFor([&] {
        const std::string log = child.log();
        const size_t at = log.find(started);
        return at != std::string::npos &&
               log.find("cleanBySweeping4()...", at) != std::string::npos;
    }));
    child.interrupt();
    const CliRun r = child.wait();
    EXPECT_EQ(r.status, 130) << r.out;
    EXPECT_NE(r.out.find("処理中断。\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("tovel-cli: stopped; 1 sheet(s) written before the stop"),
              std::string::npos)
        << r.out;
    expectOnlyTheGoodOutputs();
}

TEST_F(HardInputs, SheetsAboveThePixelLimitAreRefusedFromTheirHeader) {
    // 20000 x 20001 pixels: one row past the limit. The file holds no pixels at all, so only a
    // refusal based on the header gives result 9.
    static_assert(kLargestSheetPixels == 20000LL * 20000);
    writeFile(src / "b.bmp", bmpHeaderOnly(20000, 20001));
    const CliRun r = run();
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("b.bmp: result 9: the sheet has more than 400 million pixels"),
              std::string::npos)
        << r.out;
    expectOnlyTheGoodOutputs();
}
