#include "pipeline/image_io.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

GreyImage gradient(int w, int h) {
    return filled(w, h, [](int x, int y) { return (x * 7 + y * 3) % 256; });
}

}  // namespace

TEST(ImageFiles, LosslessFormatsRoundTripExactly) {
    TempDir dir;
    const GreyImage image = gradient(37, 21);
    for (const char* name : {"a.png", "a.tif", "a.bmp", "a.pgm"}) {
        SCOPED_TRACE(name);
        TraceCapture capture;
        ASSERT_EQ(saveGreyImage((dir / name).c_str(), image), 0);
        EXPECT_EQ(capture.text(), "") << "a good save says nothing";
        GreyImage back;
        ASSERT_EQ(loadGreyImage((dir / name).c_str(), back), 0);
        ASSERT_EQ(std::pair(back.width, back.height), std::pair(37, 21));
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x) ASSERT_EQ(back.at(x, y), image.at(x, y)) << x << "," << y;
    }
}

TEST(ImageFiles, JpegOutputIsEightBitGrey) {
    TempDir dir;
    const std::string path = dir / "p.jpg";
    ASSERT_EQ(saveGreyImage(path.c_str(), gradient(64, 48)), 0);
    FIBITMAP* dib = FreeImage_Load(FIF_JPEG, path.c_str(), 0);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(dib), 8u);
    EXPECT_EQ(FreeImage_GetColorType(dib), FIC_MINISBLACK);
    FreeImage_Unload(dib);
}

TEST(ImageFiles, UnreadableFilesAndUnwritableNamesFailCleanly) {
    TempDir dir;
    writeFile(dir / "x.png", "this is not a picture");
    GreyImage image = gradient(10, 10);
    EXPECT_EQ(loadGreyImage((dir / "x.png").c_str(), image), 1);
    EXPECT_EQ(std::pair(image.width, image.size()), std::pair(0, 0u));
    EXPECT_EQ(loadGreyImage((dir / "missing.jpg").c_str(), image), 1);

    image = gradient(10, 10);
    EXPECT_EQ(saveGreyImage((dir / "out.unknown").c_str(), image), 1);
    EXPECT_EQ(saveGreyImage((dir / "out").c_str(), image), 1);
    EXPECT_EQ(saveGreyImage((dir / "no-folder/out.png").c_str(), image), 1);
    EXPECT_EQ(listFolder(dir.path()), "x.png") << "a failed save leaves nothing behind";
}

TEST(ImageFiles, TheFormatComesFromTheFileNamesExtensionWhateverItsCase) {
    for (const char* name : {"a.png", "b.PNG", "c.JpG", "d.jpeg", "e.tiff", "f.TIF", "g.bmp",
                             "dir.png/h.pgm", "i.tar.png"})
        EXPECT_TRUE(canSaveGreyAs(name)) << name;
    for (const char* name : {"png", "a.", "a.pngx", "dir.png/h", "a.unknown", "/x/.png.d/y"})
        EXPECT_FALSE(canSaveGreyAs(name)) << name;
}

// Sheets are saved from several threads at once; finding a format must not depend on what the
// other threads are doing. A lookup through state shared by the process (strtok) is caught here
// at once under the address sanitizer, and now and then as a wrong answer without it.
TEST(ImageFiles, SavesFromSeveralThreadsAtOnceAllSucceed) {
    TempDir dir;
    const GreyImage image = gradient(8, 8);
    std::atomic<int> wrongAnswers{0}, failedSaves{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const char* names[] = {"x.png", "x.tif", "x.jpg", "x.bmp"};
            for (int k = 0; k < 20000; ++k)
                if (!canSaveGreyAs(names[(t + k) % 4])) ++wrongAnswers;
            for (int k = 0; k < 20; ++k) {
                const std::string path = dir / (std::to_string(t) + "-" + std::to_string(k) + ".png");
                if (saveGreyImage(path.c_str(), image) != 0) ++failedSaves;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrongAnswers.load(), 0);
    EXPECT_EQ(failedSaves.load(), 0);
}
