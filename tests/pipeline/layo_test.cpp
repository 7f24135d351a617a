#include "pipeline/layo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "core/progress.h"
#include "pipeline/image_io.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A page finder that answers from a script and can fill in what a real finder would find.
struct FinderScript {
    std::vector<int> answers;
    int calls = 0;
    std::vector<std::pair<double, double>> wavesSeen;
    std::vector<std::pair<int, int>> sizesSeen;
    std::function<void(GreyImage&, int&, VerticalBandList&)> find;
};
FinderScript g_script;

int scriptedFinder(HorizontalBand& sheet, double& waveX, double& waveY, GreyImage& image,
                   int& seamX, const LayoOptions&, VerticalBandList& pages) {
    g_script.wavesSeen.emplace_back(waveX, waveY);
    g_script.sizesSeen.emplace_back(sheet.xRight + 1, sheet.yBottomLeft + 1);
    if (g_script.calls == 0) {
        waveX = 30.0;
        waveY = 20.0;
    }
    const int answer = g_script.answers.at(static_cast<size_t>(g_script.calls++));
    if (answer == 0 && g_script.find) g_script.find(image, seamX, pages);
    return answer;
}

class Pipeline : public testing::Test {
protected:
    void SetUp() override {
        g_script = FinderScript();
        clearStopRequest();
        stages.findPages = scriptedFinder;
    }
    void TearDown() override { clearStopRequest(); }

    // Writes a sheet whose pixel (x, y) is (x + 2y) mod 200 as a PNG in the source folder.
    std::string sheet(const std::string& name, int w, int h) {
        GreyImage image;
        fillImage(image, w, h, [](int x, int y) { return static_cast<unsigned char>((x + 2 * y) % 200); });
        const std::string path = src / name;
        EXPECT_EQ(saveGreyImage(path.c_str(), image), 0);
        return path;
    }

    int run(const std::string& input, const LayoOptions& options, const LayoStages& which) {
        const std::string output = dst / fs::path(input).filename().string();
        return runLayo(input.c_str(), output.c_str(), options, which);
    }

    GreyImage output(const std::string& name) {
        GreyImage image;
        EXPECT_EQ(loadGreyImage((dst / name).c_str(), image), 0) << name;
        return image;
    }

    static int source(int x, int y) { return (x + 2 * y) % 200; }

    TempDir src, dst;
    LayoStages stages;
    LayoOptions options;
};

}  // namespace

TEST_F(Pipeline, APortraitSheetIsWrittenWholeAtItsSize) {
    const std::string input = sheet("p001.png", 120, 200);
    TraceCapture capture;
    EXPECT_EQ(run(input, options, defaultLayoStages()), 0);
    const GreyImage out = output("p001-tovel.png");
    EXPECT_EQ(out.width, 120);
    EXPECT_EQ(out.height, 200);
    EXPECT_EQ(out.at(119, 199), source(119, 199));
    const std::string sep = "-----------------------------------------------\n";
    EXPECT_EQ(capture.text(), sep + "処理開始。入力画像：" + input + "\n処理終了。\n" + sep);
    EXPECT_EQ(takeStatusText(nullptr), "p001.png : 処理終了。");
    EXPECT_EQ(listFolder(dst.path()), "p001-tovel.png");
}

TEST_F(Pipeline, DividingWritesTheRightPageFirstAndTheLeftPageSecond) {
    options.dividePage = 1;
    EXPECT_EQ(run(sheet("s.png", 300, 200), options, defaultLayoStages()), 0);
    const GreyImage right = output("s-tovel-1.png");
    const GreyImage left = output("s-tovel-2.png");
    EXPECT_EQ(left.width, 151);
    EXPECT_EQ(right.width, 149);
    EXPECT_EQ(right.height, 200);
    EXPECT_EQ(left.at(150, 7), source(150, 7));
    EXPECT_EQ(right.at(0, 7), source(151, 7));

    options.dividePage = 0;
    EXPECT_EQ(run(sheet("w.png", 300, 200), options, defaultLayoStages()), 0);
    EXPECT_EQ(output("w-tovel.png").width, 300) << "a landscape sheet without dividing stays whole";
}

TEST_F(Pipeline, MarginsCropToSixtyPercentWithoutTextAndAddTheMargins) {
    options.setMargin = 1;
    options.verticalMargin = 10;
    options.horizontalMargin = 5;
    EXPECT_EQ(run(sheet("m.png", 200, 300), options, defaultLayoStages()), 0);
    const GreyImage out = output("m-tovel.png");
    EXPECT_EQ(out.width, 120 + 10);
    EXPECT_EQ(out.height, 180 + 20);
    EXPECT_EQ(out.at(5, 10), source(40, 60));
}

TEST_F(Pipeline, UnreadableTinyAndStoppedSheetsWriteNothing) {
    writeFile(src / "x.png", "garbage");
    TraceCapture capture;
    EXPECT_EQ(run(src / "x.png", options, defaultLayoStages()), 7);
    EXPECT_NE(capture.text().find("処理終了(エラー 7)。\n"), std::string::npos);
    EXPECT_EQ(takeStatusText(nullptr), "x.png : 処理終了(エラー 7)。");

    EXPECT_EQ(run(sheet("t.png", 69, 500), options, defaultLayoStages()), 8);
    EXPECT_EQ(run(sheet("ok.png", 70, 70), options, defaultLayoStages()), 0);

    requestStop();
    EXPECT_EQ(run(sheet("s.png", 100, 100), options, defaultLayoStages()), -1);
    EXPECT_NE(capture.text().find("処理中断。\n"), std::string::npos);
    EXPECT_EQ(listFolder(dst.path()), "ok-tovel.png");
}

TEST_F(Pipeline, AnUpsideDownSheetIsTurnedHalfWayAndAnalysedAgain) {
    g_script.answers = {1, 0};
    TraceCapture capture;
    EXPECT_EQ(run(sheet("u.png", 100, 160), options, stages), 0);
    EXPECT_NE(capture.text().find("画像を 180 度回転。\n"), std::string::npos);
    const GreyImage out = output("u-tovel.png");
    EXPECT_EQ(out.width, 100);
    EXPECT_EQ(out.at(0, 0), source(99, 159));
    EXPECT_EQ(g_script.wavesSeen[1], std::make_pair(30.0, 20.0)) << "a half turn keeps the waves";
}

TEST_F(Pipeline, ASidewaysSheetIsTurnedAQuarterAndThreeQuartersWhenThatWasWrong) {
    g_script.answers = {2, 0};
    EXPECT_EQ(run(sheet("q.png", 160, 100), options, stages), 0);
    GreyImage out = output("q-tovel.png");
    EXPECT_EQ(out.width, 100);
    EXPECT_EQ(out.height, 160);
    EXPECT_EQ(out.at(99, 0), source(0, 0));  // the top row became the right column
    EXPECT_EQ(g_script.wavesSeen[1], std::make_pair(20.0, 30.0));
    EXPECT_EQ(g_script.sizesSeen[1], std::make_pair(100, 160));

    g_script = FinderScript();
    g_script.answers = {2, 1, 0};
    TraceCapture capture;
    EXPECT_EQ(run(sheet("r.png", 160, 100), options, stages), 0);
    EXPECT_NE(capture.text().find("画像を 90 度回転。\n"), std::string::npos);
    EXPECT_NE(capture.text().find("画像を 270 度回転。\n"), std::string::npos);
    out = output("r-tovel.png");
    EXPECT_EQ(out.at(0, 159), source(0, 0));  // the top row became the left column
    EXPECT_EQ(g_script.wavesSeen[2], std::make_pair(20.0, 30.0));

    g_script = FinderScript();
    g_script.answers = {2, 3};
    EXPECT_EQ(run(sheet("v.png", 160, 100), options, stages), 0)
        << "after one quarter turn any answer but upside down is accepted";
}

TEST_F(Pipeline, AnUnsettledOrFailedPageFinderWritesNothing) {
    g_script.answers = {1, 2};
    TraceCapture capture;
    EXPECT_EQ(run(sheet("a.png", 100, 160), options, stages), 4);
    EXPECT_NE(capture.text().find("画像の回転方向がわかりません。\n"), std::string::npos);
    g_script = FinderScript();
    g_script.answers = {9};
    EXPECT_EQ(run(sheet("b.png", 100, 160), options, stages), 5);
    g_script = FinderScript();
    g_script.answers = {-1};
    EXPECT_EQ(run(sheet("c.png", 100, 160), options, stages), -1);
    EXPECT_EQ(listFolder(dst.path()), "");
}

TEST_F(Pipeline, ASeamSetsTheShiftOfADividedSpread) {
    g_script.answers = {0};
    g_script.find = [](GreyImage&, int& seamX, VerticalBandList&) { seamX = 1010; };
    options.dividePage = 1;
    EXPECT_EQ(run(sheet("spread.png", 2000, 1400), options, stages), 0);
    const GreyImage left = output("spread-tovel-2.png");
    const GreyImage right = output("spread-tovel-1.png");
    EXPECT_EQ(left.width, 1001);
    EXPECT_EQ(left.at(0, 3), source(10, 3));
    EXPECT_EQ(right.width, 999);
    EXPECT_EQ(right.at(0, 3), source(1011, 3));
    EXPECT_EQ(right.at(988, 3), source(1999, 3));
    EXPECT_EQ(right.at(989, 3), 255);  // past the sheet's edge
}

TEST_F(Pipeline, HeadersGoWithEverythingElseOutsideTheText) {
    g_script.answers = {0};
    g_script.find = [](GreyImage&, int&, VerticalBandList& pages) {
        VerticalBand page = uprightBand(10, 89, 0, 159, 2);
        HorizontalBand tier = levelBand(10, 89, 20, 150, 1);
        tier.columns().append(uprightBand(30, 60, 0, 159, 4));
        page.rows().append(levelBand(10, 89, 5, 12, 4));  // the running header
        page.rows().append(tier);
        pages.append(page);
    };
    EXPECT_EQ(run(sheet("h.png", 100, 160), options, stages), 0);
    GreyImage kept = output("h-tovel.png");
    EXPECT_EQ(kept.at(40, 8), source(40, 8)) << "without removal the header stays";
    EXPECT_EQ(kept.at(40, 80), source(40, 80));
    EXPECT_EQ(kept.at(5, 80), 255);
    EXPECT_EQ(kept.at(70, 80), 255);

    g_script.calls = 0;
    options.removeHeader = 1;
    EXPECT_EQ(run(sheet("h.png", 100, 160), options, stages), 0);
    GreyImage removed = output("h-tovel.png");
    EXPECT_EQ(removed.at(40, 8), 255);
    EXPECT_EQ(removed.at(40, 80), source(40, 80));
}

TEST_F(Pipeline, AFailedSaveIsReportedWithTheFullPath) {
    const std::string input = sheet("f.png", 100, 100);
    const std::string output = dst / "missing/f.png";
    TraceCapture capture;
    EXPECT_EQ(runLayo(input.c_str(), output.c_str(), options, defaultLayoStages()), 6);
    EXPECT_NE(capture.text().find("Error: JPEG に書き込めません。ファイル = " + dst / "missing/f-tovel.png" + "\n"),
              std::string::npos);
    EXPECT_NE(capture.text().find("処理終了(エラー 6)。\n"), std::string::npos);
}
