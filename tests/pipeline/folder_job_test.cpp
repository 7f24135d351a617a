#include "pipeline/folder_job.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/progress.h"
#include "pipeline/image_io.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

void writeSheet(const std::string& path) {
    ASSERT_EQ(saveGreyImage(path.c_str(), filled(80, 120, [](int x, int y) { return x ^ y; })), 0) << path;
}

class FolderJob : public testing::Test {
protected:
    void SetUp() override {
        clearStopRequest();
        setJobRunning(true);
    }
    void TearDown() override { clearStopRequest(); }

    FolderJobReport run(const std::string& from, const std::string& to) {
        TraceCapture capture;
        FolderJobReport report =
            runFolderJob(sjisString(from.c_str()), sjisString(to.c_str()), options, LayoStages());
        traced = capture.text();
        return report;
    }

    TempDir src, dst;
    LayoOptions options;
    std::string traced;
};

}  // namespace

TEST(ImageExtensions, WholeKeysMatchInAnyCase) {
    for (const char* yes : {"a.JPG", "b.jpeg", "c.Tif", "scan.pict", "scan.PIC", "x.tiff", "y.Xpm"})
        EXPECT_TRUE(hasImageExtension(sjisString(yes))) << yes;
    for (const char* no : {"d.txt", "scan.pi", "noext", "a.jpg.bak", "PEG", "dir.png/readme"})
        EXPECT_FALSE(hasImageExtension(sjisString(no))) << no;
}

TEST_F(FolderJob, ProcessesEveryImageInNameOrderAndSkipsTheRest) {
    writeSheet(src / "c.Tif");
    writeSheet(src / "a.JPG");
    writeSheet(src / "b.jpeg");
    writeFile(src / "d.txt", "notes");
    writeFile(src / ".hidden.png", "not an image");
    fs::create_directory(src.path() / "sub.png");

    const FolderJobReport report = run(src.path().string(), dst.path().string() + "/");
    EXPECT_EQ(std::pair(report.result, report.count), std::pair(0, 3));
    EXPECT_EQ(listFolder(dst.path()), "a-tovel.JPG b-tovel.jpeg c-tovel.Tif");
    const size_t a = traced.find("a.JPG"), b = traced.find("b.jpeg"), c = traced.find("c.Tif");
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_EQ(takeStatusText(nullptr), "3 画像を処理しました。");
    EXPECT_FALSE(isJobRunning());
}

TEST_F(FolderJob, StopsAtTheFirstFailedSheetAndKeepsTheEarlierOutputs) {
    writeSheet(src / "a.png");
    writeFile(src / "b.png", "corrupt");
    writeSheet(src / "c.png");
    const FolderJobReport report = run(src.path().string(), dst.path().string());
    EXPECT_EQ(std::pair(report.result, report.count), std::pair(7, 1));
    EXPECT_STREQ(report.failedFile.c_str(), "b.png");
    EXPECT_TRUE(contains(traced, "Error: LAYO() reported error. rc=7\n"));
    EXPECT_EQ(listFolder(dst.path()), "a-tovel.png");
    EXPECT_EQ(takeStatusText(nullptr), "エラーが発生しました。処理を中断します。");
}

TEST_F(FolderJob, OutputsWrittenIntoTheSourceAreNotTakenAsInputs) {
    writeSheet(src / "a.png");
    writeSheet(src / "b.png");
    EXPECT_EQ(run(src.path().string(), src.path().string()).count, 2);
    EXPECT_EQ(listFolder(src.path()), "a-tovel.png a.png b-tovel.png b.png");
}

TEST_F(FolderJob, EmptyStoppedAndMissingFolders) {
    writeFile(src / "readme.txt", "no sheets here");
    EXPECT_EQ(run(src.path().string(), dst.path().string()).count, 0);
    EXPECT_EQ(takeStatusText(nullptr), "0 画像を処理しました。");

    writeSheet(src / "a.png");
    requestStop();
    EXPECT_EQ(run(src.path().string(), dst.path().string()).result, -1);
    EXPECT_EQ(takeStatusText(nullptr), "中止しました。");
    EXPECT_FALSE(isStopRequested()) << "the job clears the stop request at its end";
    EXPECT_EQ(listFolder(dst.path()), "");

    EXPECT_EQ(run((src / "nope"), dst.path().string()).result, kFolderUnreadable);
    EXPECT_EQ(takeStatusText(nullptr), "中止しました。");
}
