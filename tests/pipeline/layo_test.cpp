#include "pipeline/layo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "core/progress.h"
#include "lines/line_stage.h"
#include "pipeline/image_io.h"
#include "prep/wave_lengths.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A page finder that answers from a script and can fill in what a real finder would find.
struct FinderScript {
    std::vector<int> answers;
    int calls = 0;
    std::vector<std::pair<double, double>> wavesSeen;
    std::function<void(GreyImage&, int&, VerticalBandList&)> find;
};
FinderScript g_script;

int scriptedFinder(HorizontalBand&, double& waveX, double& waveY, GreyImage& image,
                   int& seamX, const LayoOptions&, VerticalBandList& pages) {
    g_script.wavesSeen.emplace_back(waveX, waveY);
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

    // The page finder answers these results in turn.
    static void script(const std::vector<int>& answers) {
        g_script = FinderScript();
        g_script.answers = answers;
    }

    // Writes a white sheet as a PNG in the source folder, with a lattice of 5 x 5 black blocks
    // at pitch 8 (text as the cleaning sees it) over columns x0 .. x1 and rows y0 .. y1, by
    // default over the top-left quarter.
    std::string sheet(const std::string& name, int w, int h, int x0 = -1, int y0 = -1,
                      int x1 = -1, int y1 = -1) {
        if (x0 < 0) {
            x0 = w / 10, y0 = h / 10, x1 = w * 45 / 100, y1 = h * 45 / 100;
        }
        return save(name, inked(w, h, [=](int x, int y) {
            return x >= x0 && x < x1 && y >= y0 && y < y1 && (x - x0) % 8 < 5 && (y - y0) % 8 < 5;
        }));
    }

    std::string save(const std::string& name, const GreyImage& image) {
        const std::string path = src / name;
        EXPECT_EQ(saveGreyImage(path.c_str(), image), 0);
        return path;
    }

    // Dark pixels in the top-left, top-right, bottom-left and bottom-right quarters, as "1" or "0".
    static std::string quarters(const GreyImage& image) {
        const int w = image.width, h = image.height;
        std::string q;
        const int xs[] = {0, w / 2, w}, ys[] = {0, h / 2, h};
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) q += darkPixels(image, xs[i], ys[j], xs[i + 1], ys[j + 1]) ? '1' : '0';
        return q;
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

    TempDir src, dst;
    LayoStages stages;
    LayoOptions options;
};

}  // namespace

TEST_F(Pipeline, MarginsCropToSixtyPercentWithoutTextAndAddTheMargins) {
    options.setMargin = 1;
    options.verticalMargin = 10;
    options.horizontalMargin = 5;
    EXPECT_EQ(run(save("m.png", flat(200, 300)), options, defaultLayoStages()), 0);
    const GreyImage out = output("m-tovel.png");
    EXPECT_EQ(out.width, 120 + 10);
    EXPECT_EQ(out.height, 180 + 20);
}

TEST_F(Pipeline, SheetsWithoutTextAreStillCleanedAndWritten) {
    uint32_t seed = 12345;
    save("blank.png", flat(300, 400, 250));
    save("noise.png", filled(300, 400, [&seed](int, int) { return nextNoise(seed); }));
    for (const char* name : {"blank", "noise"}) {
        TraceCapture capture;
        EXPECT_EQ(run(src / (std::string(name) + ".png"), options, defaultLayoStages()), 0) << name;
        double waveX = 0, waveY = 0;
        const size_t at = capture.text().find("wave length: (");
        ASSERT_NE(at, std::string::npos);
        ASSERT_EQ(std::sscanf(capture.text().c_str() + at, "wave length: (%lf, %lf)", &waveX, &waveY), 2);
        EXPECT_TRUE(usableWaveLengths(waveX, waveY, 300, 400)) << name << " " << waveX << " " << waveY;
        const GreyImage out = output(std::string(name) + "-tovel.png");
        EXPECT_EQ(out.width + out.height, 700) << "written whole, perhaps turned a quarter";
    }
    EXPECT_EQ(darkPixels(output("blank-tovel.png"), 0, 0, 300, 400), 0);
}

TEST_F(Pipeline, ASidewaysSheetIsTurnedAQuarterAndThreeQuartersWhenThatWasWrong) {
    script({2, 0});
    EXPECT_EQ(run(sheet("q.png", 320, 200), options, stages), 0);
    GreyImage out = output("q-tovel.png");
    EXPECT_EQ(out.width, 200);
    EXPECT_EQ(out.height, 320);
    EXPECT_EQ(quarters(out), "0100");  // the top-left corner went to the top right
    EXPECT_EQ(g_script.wavesSeen[1], std::make_pair(20.0, 30.0));

    script({2, 1, 0});
    TraceCapture capture;
    EXPECT_EQ(run(sheet("r.png", 320, 200), options, stages), 0);
    EXPECT_TRUE(contains(capture.text(), "画像を 90 度回転。\n"));
    EXPECT_TRUE(contains(capture.text(), "画像を 270 度回転。\n"));
    EXPECT_EQ(quarters(output("r-tovel.png")), "0010");  // the top-left corner went to the bottom left
    EXPECT_EQ(g_script.wavesSeen[2], std::make_pair(20.0, 30.0));

    script({2, 3});
    EXPECT_EQ(run(sheet("v.png", 320, 200), options, stages), 0)
        << "after one quarter turn any answer but upside down is accepted";
}

TEST_F(Pipeline, HorizontalWritingFoundAfterAQuarterTurnIsWrittenAsLoaded) {
    // The finder asks for a quarter turn, finds a page there and then reports the tier's text
    // as horizontal writing: the sheet comes out at its size, not turned, with no page found.
    for (const std::vector<int>& answers : {std::vector<int>{2, kTextReadsHorizontally}, {kTextReadsHorizontally}}) {
        script(answers);
        TraceCapture capture;
        EXPECT_EQ(run(sheet("h.png", 320, 200), options, stages), 0);
        EXPECT_TRUE(contains(capture.text(), "the text reads in horizontal lines: the sheet is written cleaned, as loaded.\n"));
        const GreyImage out = output("h-tovel.png");
        EXPECT_EQ(out.width, 320);
        EXPECT_EQ(out.height, 200);
        EXPECT_EQ(quarters(out), "1000");  // the text stays in the top-left corner
    }
}

TEST_F(Pipeline, AnUnsettledOrFailedPageFinderWritesNothing) {
    const std::pair<std::vector<int>, int> cases[] = {{{1, 2}, 4}, {{9}, 5}, {{-1}, -1}};
    TraceCapture capture;
    for (const auto& [answers, result] : cases) {
        script(answers);
        EXPECT_EQ(run(sheet("a.png", 200, 320), options, stages), result);
    }
    EXPECT_TRUE(contains(capture.text(), "画像の回転方向がわかりません。\n"));
    EXPECT_EQ(listFolder(dst.path()), "");
}

TEST_F(Pipeline, ASeamSetsTheShiftOfADividedSpread) {
    script({0});
    g_script.find = [](GreyImage&, int& seamX, VerticalBandList&) { seamX = 1010; };
    options.dividePage = 1;
    EXPECT_EQ(run(sheet("spread.png", 2000, 1400), options, stages), 0);
    const GreyImage left = output("spread-tovel-2.png"), right = output("spread-tovel-1.png");
    EXPECT_EQ(left.width, 1001);
    EXPECT_EQ(right.width, 999);
    EXPECT_GT(darkPixels(left, 0, 0, 900, 1400), 0);
    EXPECT_EQ(darkPixels(right, 0, 0, 999, 1400), 0);
}

namespace {

// One page of one tier from column left to right, holding one text column.
void onePage(VerticalBandList& pages, int left, int right, int columnLeft, int columnRight) {
    VerticalBand page = uprightBand(left, right, 0, 319, 2);
    HorizontalBand tier = levelBand(left, right, 20, 300, 1);
    tier.columns().append(uprightBand(columnLeft, columnRight, 0, 319, 4));
    page.rows().append(tier);
    pages.append(page);
}

}  // namespace

TEST_F(Pipeline, AFailedSaveIsReportedWithTheFullPath) {
    const std::string input = sheet("f.png", 100, 100);
    TraceCapture capture;
    EXPECT_EQ(runLayo(input.c_str(), (dst / "missing/f.png").c_str(), options, defaultLayoStages()), 6);
    EXPECT_TRUE(
        contains(capture.text(), "Error: JPEG に書き込めません。ファイル = " + dst / "missing/f-tovel.png" + "\n"));
    EXPECT_TRUE(contains(capture.text(), "処理終了(エラー 6)。\n"));
}

TEST_F(Pipeline, PagesThatWouldEraseNearlyAllTheInkAreNotTrusted) {
    // The finder places the text in a sliver of the sheet (as when a page frame is taken for a
    // seam): the sheet is written as loaded, cleaned, with its ink where it was.
    script({0});
    g_script.find = [](GreyImage&, int&, VerticalBandList& pages) { onePage(pages, 10, 20, 12, 18); };
    TraceCapture capture;
    EXPECT_EQ(run(sheet("e.png", 200, 320, 5, 5, 195, 315), options, stages), 0);
    EXPECT_TRUE(contains(capture.text(), "the output would keep"));
    GreyImage kept = output("e-tovel.png");
    EXPECT_GT(darkPixels(kept, 101, 21, 190, 300), 0);
    EXPECT_GT(darkPixels(kept, 31, 21, 100, 300), 0);
}

namespace {

std::vector<std::string> g_notices;

void collectNotice(void*, const char* inputPath, const char* text) {
    g_notices.push_back(fs::path(inputPath).filename().string() + ": " + text);
}

}  // namespace

TEST_F(Pipeline, NoShiftOrCropPushesTheTextFoundOffTheSheet) {
    // Text from x 50 to 350 and a mark right of the page, at x 370 to 390, which the whitening
    // outside the text takes away.
    const GreyImage textAndMark = inked(400, 320, [](int x, int y) {
        const bool text = x >= 50 && x < 350 && y >= 30 && y < 290 && (x - 50) % 8 < 5 && (y - 30) % 8 < 5;
        return text || (x >= 370 && x < 390 && y >= 100 && y < 200);
    });
    // A book edge taken for a seam near the left side of a portrait sheet: the shift it asks
    // for would move the right part of the page past the sheet's edge.
    g_notices.clear();
    stages.notice = collectNotice;
    script({0});
    g_script.find = [](GreyImage&, int& seamX, VerticalBandList& pages) {
        onePage(pages, 40, 360, 40, 360);
        seamX = 30;
    };
    TraceCapture capture;
    EXPECT_EQ(run(save("edge.png", textAndMark), options, stages), 0);
    EXPECT_TRUE(contains(capture.text(), "the output would cut text found off the sheet"));
    ASSERT_EQ(g_notices.size(), 1u);
    EXPECT_EQ(g_notices[0], "edge.png: the shift or crop would cut text off the sheet");
    const GreyImage kept = output("edge-tovel.png");
    ASSERT_EQ(kept.width, 400);
    EXPECT_GT(darkPixels(kept, 300, 40, 350, 280), 0) << "the right part of the text is still there";
    EXPECT_GT(darkPixels(kept, 370, 100, 390, 200), 0) << "written as loaded: nothing whitened";

    // The same page with no seam is trusted: its text stays and nothing is reported.
    g_notices.clear();
    script({0});
    g_script.find = [](GreyImage&, int&, VerticalBandList& pages) { onePage(pages, 40, 360, 40, 360); };
    EXPECT_EQ(run(save("page.png", textAndMark), options, stages), 0);
    EXPECT_TRUE(g_notices.empty());
    const GreyImage page = output("page-tovel.png");
    EXPECT_EQ(darkPixels(page, 365, 0, 400, 320), 0) << "whitened right of the page";
    EXPECT_GT(darkPixels(page, 300, 40, 350, 280), 0);
}

TEST_F(Pipeline, AnOutputKeepingClearlyLessThanTheTextIsNotWritten) {
    // The columns found hold only the left third of a tier's text, and the rest, apart from
    // them, is dots each too small for a mark: whitening between columns would take it.
    g_notices.clear();
    stages.notice = collectNotice;
    script({0});
    g_script.find = [](GreyImage&, int&, VerticalBandList& pages) { onePage(pages, 10, 190, 10, 70); };
    TraceCapture capture;
    const GreyImage lost = inked(200, 320, [](int x, int y) {
        return (x < 65 || x >= 100) && x >= 20 && x < 180 && y >= 30 && y < 290 && x % 8 < 5 && (y - 30) % 8 < 5;
    });
    EXPECT_EQ(run(save("lost.png", lost), options, stages), 0);
    EXPECT_TRUE(contains(capture.text(), "the output would keep"));
    ASSERT_EQ(g_notices.size(), 1u);
    EXPECT_EQ(g_notices[0], "lost.png: the re-layout would lose text");
    EXPECT_GT(darkPixels(output("lost-tovel.png"), 120, 30, 180, 290), 0);

    // Turned a quarter by the analysis, the sheet is written as loaded but upright. The column
    // found holds the text's first rows, from whichever end the turn puts first.
    g_notices.clear();
    script({2, 0});
    g_script.find = [](GreyImage&, int&, VerticalBandList& pages) { onePage(pages, 10, 310, 10, 40); };
    const GreyImage sideways = inked(200, 320, [](int x, int y) {
        const bool rows = (y >= 30 && y < 40) || (y >= 80 && y < 240) || (y >= 280 && y < 290);
        return rows && x >= 20 && x < 180 && x % 8 < 5 && y % 8 < 5;
    });
    EXPECT_EQ(run(save("turned.png", sideways), options, stages), 0);
    EXPECT_EQ(g_notices.size(), 1u);
    const GreyImage turned = output("turned-tovel.png");
    EXPECT_EQ(turned.width, 320);
    EXPECT_EQ(turned.height, 200);
}
