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

namespace {

// A sheet job over src's sheets, its reports collected in the order they arrive.
struct SheetJob {
    std::vector<SheetEntry> sheets;  // the reports point into it
    std::vector<SheetReport> reports;
    FolderJobReport report;

    static void collect(void* self, const SheetReport& r) { static_cast<SheetJob*>(self)->reports.push_back(r); }

    SheetJob(const fs::path& src, const fs::path& dst, const JobSettings& settings) {
        EXPECT_TRUE(listSheets(sjisString(src.c_str()), sheets));
        clearStopRequest();
        setJobRunning(true);
        const TraceCapture quiet;  // the job's own trace, outside the sheets' captures
        report = runSheetJob(sheets, sjisString(dst.c_str()), LayoOptions(), LayoStages(), settings, collect, this);
    }
};

}  // namespace

TEST_F(FolderJob, SheetsSideBySideReportInListOrderEachWithItsWholeTrace) {
    // Seven sheets on three workers: every report comes once, in list order, with the trace of
    // its own sheet alone, and the outputs are those of a run one sheet at a time.
    for (char c = 'a'; c <= 'g'; ++c) writeSheet(src / (std::string(1, c) + ".png"));
    JobSettings settings;
    settings.jobs = 3;
    settings.captureTrace = true;
    const SheetJob job(src.path(), dst.path(), settings);
    EXPECT_EQ(std::pair(job.report.result, job.report.count), std::pair(0, 7));
    ASSERT_EQ(job.reports.size(), 7u);
    for (size_t i = 0; i < job.reports.size(); ++i) {
        const SheetReport& r = job.reports[i];
        const std::string name(1, static_cast<char>('a' + i));
        EXPECT_EQ(r.index, i);
        EXPECT_EQ(r.sheet->name, name + ".png");
        ASSERT_EQ(r.outcome.written.size(), 1u);
        EXPECT_EQ(fs::path(r.outcome.written[0]).filename(), name + "-tovel.png");
        EXPECT_TRUE(contains(r.trace, "入力画像：" + (src / (name + ".png"))));
        EXPECT_EQ(r.trace.find("処理開始"), r.trace.rfind("処理開始")) << "one sheet's trace only";
        EXPECT_TRUE(r.trace.find("処理終了。") != std::string::npos);
    }
    EXPECT_EQ(takeStatusText(nullptr), "7 画像を処理しました。");
    EXPECT_FALSE(isJobRunning());
}

TEST_F(FolderJob, AFailureStopsNewSheetsUnlessKeepGoingTriesThemAll) {
    for (char c = 'a'; c <= 'f'; ++c) writeSheet(src / (std::string(1, c) + ".png"));
    writeFile(src / "b.png", "corrupt");
    writeFile(src / "e.png", "corrupt too");

    JobSettings settings;
    settings.jobs = 1;
    SheetJob stopped(src.path(), dst.path(), settings);
    EXPECT_EQ(std::pair(stopped.report.result, stopped.report.count), std::pair(7, 1));
    EXPECT_STREQ(stopped.report.failedFile.c_str(), "b.png");
    EXPECT_EQ(stopped.reports.size(), 2u) << "no sheet starts after the failure";
    EXPECT_EQ(listFolder(dst.path()), "a-tovel.png");

    // Side by side, sheets already running when b fails may end and are kept; the first failure
    // in list order is the one reported whatever order they ended in.
    fs::remove_all(dst.path());
    fs::create_directory(dst.path());
    settings.jobs = 4;
    SheetJob parallel(src.path(), dst.path(), settings);
    EXPECT_STREQ(parallel.report.failedFile.c_str(), "b.png");
    EXPECT_EQ(parallel.reports.size(), static_cast<size_t>(parallel.report.count) + parallel.report.failures.size());
    EXPECT_EQ(takeStatusText(nullptr), "エラーが発生しました。処理を中断します。");

    fs::remove_all(dst.path());
    fs::create_directory(dst.path());
    settings.keepGoing = true;
    SheetJob all(src.path(), dst.path(), settings);
    EXPECT_EQ(all.report.result, 7);
    EXPECT_EQ(all.report.count, 4);
    ASSERT_EQ(all.report.failures.size(), 2u);
    EXPECT_EQ(all.report.failures[0].name, "b.png");
    EXPECT_EQ(all.report.failures[1].name, "e.png");
    EXPECT_EQ(all.reports.size(), 6u);
    EXPECT_EQ(listFolder(dst.path()), "a-tovel.png c-tovel.png d-tovel.png f-tovel.png");
}

TEST_F(FolderJob, AStopRequestedBeforeTheJobStartsNoSheet) {
    writeSheet(src / "a.png");
    writeSheet(src / "b.png");
    std::vector<SheetEntry> sheets;
    ASSERT_TRUE(listSheets(sjisString(src.path().c_str()), sheets));
    JobSettings settings;
    settings.jobs = 2;
    requestStop();
    const FolderJobReport report = runSheetJob(sheets, sjisString(dst.path().c_str()), options, LayoStages(), settings);
    EXPECT_EQ(std::pair(report.result, report.count), std::pair(-1, 0));
    EXPECT_EQ(listFolder(dst.path()), "");
    EXPECT_FALSE(isStopRequested());
}

TEST(OwnOutputs, NamesAreTheSheetAndBookSuffixesOnly) {
    for (const char* name : {"a-tovel.png", "p 1-tovel-1.JPG", "x-tovel-2.tif", "book-tovel.pdf", "b-tovel.cbz"})
        EXPECT_TRUE(isOwnOutputName(name)) << name;
    for (const char* name : {"-tovel.png", "a-tovel-3.png", "a-tovel.txt", "atovel.png", "a-tovel-x.png", "a.png"})
        EXPECT_FALSE(isOwnOutputName(name)) << name;
}
