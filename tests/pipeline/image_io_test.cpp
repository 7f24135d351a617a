#include "pipeline/image_io.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

void gradient(GreyImage& image, int w, int h) {
    fillImage(image, w, h, [](int x, int y) { return static_cast<unsigned char>((x * 7 + y * 3) % 256); });
}

}  // namespace

TEST(ImageFiles, LosslessFormatsRoundTripExactly) {
    TempDir dir;
    GreyImage image, back;
    gradient(image, 37, 21);
    for (const char* name : {"a.png", "a.tif", "a.bmp", "a.pgm"}) {
        TraceCapture capture;
        ASSERT_EQ(saveGreyImage((dir / name).c_str(), image), 0) << name;
        EXPECT_EQ(capture.text(), "") << "a good save says nothing";
        ASSERT_EQ(loadGreyImage((dir / name).c_str(), back), 0) << name;
        EXPECT_EQ(back.width, 37);
        EXPECT_EQ(back.height, 21);
        EXPECT_EQ(back.at(36, 20), image.at(36, 20)) << name;
        EXPECT_EQ(back.at(5, 0), image.at(5, 0)) << "rows must stay top-down in " << name;
    }
}

TEST(ImageFiles, JpegOutputIsEightBitGrey) {
    TempDir dir;
    GreyImage image;
    gradient(image, 64, 48);
    const std::string path = dir / "p.jpg";
    ASSERT_EQ(saveGreyImage(path.c_str(), image), 0);
    FIBITMAP* dib = FreeImage_Load(FIF_JPEG, path.c_str(), 0);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(dib), 8u);
    EXPECT_EQ(FreeImage_GetColorType(dib), FIC_MINISBLACK);
    FreeImage_Unload(dib);
}

TEST(ImageFiles, ColourAndSixteenBitSheetsLoadAsGrey) {
    TempDir dir;
    FIBITMAP* colour = FreeImage_Allocate(8, 4, 24);
    RGBQUAD red{0, 0, 255, 0};  // blue, green, red
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 8; ++x) FreeImage_SetPixelColor(colour, x, y, &red);
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, colour, (dir / "c.png").c_str(), 0));
    FreeImage_Unload(colour);

    FIBITMAP* deep = FreeImage_AllocateT(FIT_UINT16, 5, 3);
    for (unsigned y = 0; y < 3; ++y) {
        auto* line = reinterpret_cast<uint16_t*>(FreeImage_GetScanLine(deep, static_cast<int>(y)));
        for (unsigned x = 0; x < 5; ++x) line[x] = 65535;
    }
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, deep, (dir / "d.png").c_str(), 0));
    FreeImage_Unload(deep);

    GreyImage image;
    ASSERT_EQ(loadGreyImage((dir / "c.png").c_str(), image), 0);
    EXPECT_EQ(image.width, 8);
    EXPECT_EQ(image.size(), 32u);
    EXPECT_GT(image.at(0, 0), 40);
    EXPECT_LT(image.at(0, 0), 100);  // red is a middle grey
    ASSERT_EQ(loadGreyImage((dir / "d.png").c_str(), image), 0);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.at(4, 2), 255);
}

TEST(ImageFiles, UnreadableFilesAndUnwritableNamesFailCleanly) {
    TempDir dir;
    writeFile(dir / "x.png", "this is not a picture");
    GreyImage image;
    gradient(image, 10, 10);
    EXPECT_EQ(loadGreyImage((dir / "x.png").c_str(), image), 1);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.size(), 0u);
    EXPECT_EQ(loadGreyImage((dir / "missing.jpg").c_str(), image), 1);

    gradient(image, 10, 10);
    EXPECT_EQ(saveGreyImage((dir / "out.unknown").c_str(), image), 1);
    EXPECT_EQ(saveGreyImage((dir / "out").c_str(), image), 1);
    EXPECT_EQ(saveGreyImage((dir / "no-folder/out.png").c_str(), image), 1);
    EXPECT_EQ(listFolder(dir.path()), "x.png") << "a failed save leaves nothing behind";
}

TEST(ImageFiles, FreeImageMessagesAreFramed) {
    TraceCapture capture;
    freeImageMessage(-1, "bad %s header");
    freeImageMessage(FIF_PNG, "broken");
    EXPECT_EQ(capture.text(), "\n*** bad %s header ***\n\n*** PNG Format\nbroken ***\n");
}
