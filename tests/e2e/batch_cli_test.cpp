// tovel-cli as a batch tool: sheets side by side, failures, what it prints, lists and shares of
// the sheets, what the outputs keep of their inputs, and the sources and destinations a newcomer
// gives it first (one file, a folder not made yet, the source folder itself).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "cli_runner.h"
#include "pipeline/image_io.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A page of two columns of character-sized blocks, different for every seed, so that the
// analysis has lines to find.
GreyImage textPage(int seed) {
    return filled(360, 480, [seed](int x, int y) {
        const bool column = (x >= 200 && x < 230) || (x >= 120 && x < 150);
        const bool character = (y + 7 * seed) % 40 < 30 && y > 40 && y < 440;
        return column && character && (x * 7 + y * 3 + seed) % 5 != 0 ? 40 : 245;
    });
}

void writeSheet(const fs::path& path, int seed, unsigned dotsPerMeter = 0) {
    SaveSettings settings;
    settings.resolution = {dotsPerMeter, dotsPerMeter};
    ASSERT_EQ(saveGreyImage(path.c_str(), textPage(seed), settings), 0) << path;
}

// The first entry of a JPEG's first quantisation table: 2 at quality 95, 8 at 75, 16 at 50.
int firstQuantiser(const std::string& jpeg) {
    const size_t at = jpeg.find("\xFF\xDB");
    return at == std::string::npos || at + 5 >= jpeg.size() ? -1 : static_cast<unsigned char>(jpeg[at + 5]);
}

class BatchCli : public testing::Test {
protected:
    void SetUp() override {
        initImageIo();
        for (const char* dir : {"in", "out", "out2"}) fs::create_directory(work.path() / dir);
    }
    CliRun run(const std::vector<std::string>& args) { return cli(args, work.path()); }
    std::string out(const std::string& name) { return readFile(work.path() / "out" / name); }
    TempDir work;
};

}  // namespace

TEST_F(BatchCli, SheetsSideBySideWriteTheSameFilesAndTraceAsOneAtATime) {
    for (int i = 0; i < 5; ++i) writeSheet(work.path() / "in" / ("p" + std::to_string(i) + ".png"), i);
    const CliRun one = run({"--jobs", "1", "--trace", "in", "out"});
    const CliRun three = run({"--jobs", "3", "--trace", "in", "out2"});
    ASSERT_EQ(one.status, 0) << one.out;
    ASSERT_EQ(three.status, 0) << three.out;
    ASSERT_EQ(listFolder(work.path() / "out"), listFolder(work.path() / "out2"));
    for (const auto& entry : fs::directory_iterator(work.path() / "out"))
        EXPECT_EQ(readFile(entry.path()), readFile(work.path() / "out2" / entry.path().filename())) << entry.path();
    // The trace of each sheet comes whole and in name order: both runs print the same text once
    // the summary lines, which name the folder and the time, are left out.
    auto traceOf = [](std::string text) {
        std::string kept;
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find('\n', start);
            const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
            if (line.find(" -> ") == std::string::npos && line.rfind("tovel-cli: ", 0) != 0) kept += line;
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return kept;
    };
    EXPECT_EQ(traceOf(one.out), traceOf(three.out));
    EXPECT_LT(one.out.find("入力画像：in/p0.png"), one.out.find("入力画像：in/p1.png"));
}

TEST_F(BatchCli, AFailureStopsTheJobUnlessKeepGoingTriesEverySheetAndListsTheFailures) {
    writeSheet(work.path() / "in/a.png", 1);
    writeFile(work.path() / "in/b.png", "not an image");
    writeSheet(work.path() / "in/c.png", 2);
    writeFile(work.path() / "in/d.png", "");
    CliRun r = run({"--jobs", "1", "in", "out"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(contains(r.out, "tovel-cli: b.png: result 7: the file cannot be read as an image: not an image, "
                                "damaged or cut short; 1 sheet(s) written before it"));
    EXPECT_EQ(listFolder(work.path() / "out"), "a-tovel.png") << "no sheet starts after the failure";

    r = run({"--keep-going", "in", "out2"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(listFolder(work.path() / "out2"), "a-tovel.png c-tovel.png");
    EXPECT_TRUE(contains(r.out, "tovel-cli: 2 written, 2 failed in "));
    EXPECT_TRUE(contains(r.out, "tovel-cli: 2 sheet(s) failed:\n  b.png: result 7: the file cannot be read as an "
                                "image: not an image, damaged or cut short\n  d.png: result 7:"));
}

TEST_F(BatchCli, SaysALinePerSheetAndASummaryOrOnlyFailuresOrTheTraceIntoFiles) {
    writeSheet(work.path() / "in/a.png", 1);
    writeSheet(work.path() / "in/b.png", 2);
    CliRun r = run({"in", "out"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "a.png -> out/a-tovel.png\nb.png -> out/b-tovel.png\n"));
    EXPECT_TRUE(contains(r.out, "tovel-cli: 2 written, 0 failed in "));
    EXPECT_TRUE(contains(r.out, " sheets per minute)\n"));
    EXPECT_FALSE(contains(r.out, "処理開始")) << "no trace without --trace";

    fs::create_directory(work.path() / "traces");
    r = run({"--quiet", "--trace-dir", "traces", "in", "out2"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "") << "--quiet prints only failures";
    EXPECT_EQ(listFolder(work.path() / "traces"), "a.png.trace.txt b.png.trace.txt");
    const std::string a = readFile(work.path() / "traces/a.png.trace.txt");
    EXPECT_TRUE(contains(a, "処理開始。入力画像：in/a.png\n"));
    EXPECT_FALSE(contains(a, "b.png")) << "each file holds its own sheet's trace";

    writeFile(work.path() / "in/c.png", "broken");
    r = run({"--quiet", "--keep-going", "in", "out2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "tovel-cli: c.png: result 7"));
    EXPECT_FALSE(contains(r.out, "a.png ->"));
}

TEST_F(BatchCli, ListedSheetsAndTheirSharesTogetherMakeTheWholeJob) {
    fs::create_directory(work.path() / "more");
    std::string list;
    for (int i = 0; i < 5; ++i) {
        const std::string path = (i % 2 ? "more/s" : "in/s") + std::to_string(i) + ".png";
        writeSheet(work.path() / path, i);
        list += path + "\n\n";  // blank lines are skipped
    }
    writeFile(work.path() / "list.txt", list);
    CliRun r = run({"--files-from", "list.txt", "out"});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string all = listFolder(work.path() / "out");
    EXPECT_EQ(all, "s0-tovel.png s1-tovel.png s2-tovel.png s3-tovel.png s4-tovel.png");

    // Shares of the list, round robin in name order: 1/2 takes s0, s2, s4 and 2/2 takes s1, s3.
    std::set<std::string> seen;
    for (const char* shard : {"1/2", "2/2"}) {
        const fs::path dest = work.path() / (std::string("shard") + shard[0]);
        fs::create_directory(dest);
        r = run({"--files-from", "list.txt", "--shard", shard, dest.string()});
        ASSERT_EQ(r.status, 0) << r.out;
        for (const auto& entry : fs::directory_iterator(dest)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(seen.insert(name).second) << name << " written by two shares";
            EXPECT_EQ(readFile(entry.path()), out(name)) << name;
        }
    }
    EXPECT_EQ(listFolder(work.path() / "shard1"), "s0-tovel.png s2-tovel.png s4-tovel.png");
    EXPECT_EQ(seen.size(), 5u);

    for (const auto& bad : std::vector<std::vector<std::string>>{{"--shard", "3/2", "in", "out"},
                                                                  {"--shard", "0/2", "in", "out"},
                                                                  {"--files-from", "list.txt", "in", "out"},
                                                                  {"--files-from", "missing.txt", "out"}}) {
        EXPECT_EQ(run(bad).status, 2) << bad[1];
    }
    writeSheet(work.path() / "more/s0.png", 9);
    writeFile(work.path() / "dup.txt", "in/s0.png\nmore/s0.png\n");
    r = run({"--files-from", "dup.txt", "out2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.out, "in/s0.png and more/s0.png would write the same outputs"));
    EXPECT_EQ(listFolder(work.path() / "out2"), "");
}

TEST_F(BatchCli, ListedSheetsMayComeOnStandardInput) {
    writeSheet(work.path() / "in/a.png", 1);
    writeFile(work.path() / "list.txt", "in/a.png\n");
    const std::string command = std::string("cd '") + work.path().string() + "' && " + TOVEL_CLI +
                                " --quiet --files-from - out < list.txt";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(listFolder(work.path() / "out"), "a-tovel.png");
}

TEST_F(BatchCli, OutputsKeepTheResolutionAndJpegsTheirQuality) {
    constexpr unsigned k300Dpi = 11811;  // dots per metre
    writeSheet(work.path() / "in/a.png", 1, k300Dpi);
    writeSheet(work.path() / "in/b.jpg", 2, k300Dpi);
    writeSheet(work.path() / "in/c.tif", 3, k300Dpi);
    CliRun r = run({"in", "out"});
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* name : {"a-tovel.png", "b-tovel.jpg", "c-tovel.tif"}) {
        GreyImage image;
        ImageResolution resolution;
        ASSERT_EQ(loadGreyImage((work.path() / "out" / name).c_str(), image, &resolution), 0) << name;
        // JPEG keeps dots per inch: 300 dpi is 11811 dots per metre to within the rounding.
        EXPECT_NEAR(resolution.dotsPerMeterX, k300Dpi, 1) << name;
        EXPECT_NEAR(resolution.dotsPerMeterY, k300Dpi, 1) << name;
    }
    EXPECT_EQ(firstQuantiser(out("b-tovel.jpg")), 2) << "JPEG at quality 95 unless asked";

    r = run({"--jpeg-quality", "50", "--format", "jpg", "in", "out2"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(listFolder(work.path() / "out2"), "a-tovel.jpg b-tovel.jpg c-tovel.jpg");
    EXPECT_EQ(firstQuantiser(readFile(work.path() / "out2/a-tovel.jpg")), 16);

    for (const char* format : {"png", "tif"}) {
        fs::remove_all(work.path() / "out2");
        fs::create_directory(work.path() / "out2");
        r = run({"--format", format, "in", "out2"});
        ASSERT_EQ(r.status, 0) << r.out;
        const std::string ext = std::string(".") + format;
        EXPECT_EQ(listFolder(work.path() / "out2"), "a-tovel" + ext + " b-tovel" + ext + " c-tovel" + ext);
    }
    // A lossless format holds the same pixels whatever the input's format.
    GreyImage fromPng, fromTif;
    ASSERT_EQ(loadGreyImage((work.path() / "out/a-tovel.png").c_str(), fromPng), 0);
    ASSERT_EQ(loadGreyImage((work.path() / "out2/a-tovel.tif").c_str(), fromTif), 0);
    ASSERT_EQ(fromPng.size(), fromTif.size());
    EXPECT_TRUE(std::equal(fromPng.pixels.data(), fromPng.pixels.data() + fromPng.size(), fromTif.pixels.data()));
    EXPECT_EQ(run({"--format", "gif", "in", "out2"}).status, 2);
    // Two sheets of one name in two formats would overwrite each other's output in one format.
    writeSheet(work.path() / "in/a.jpg", 4);
    fs::remove_all(work.path() / "out2");
    fs::create_directory(work.path() / "out2");
    r = run({"--format", "png", "in", "out2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.out, "in/a.jpg and in/a.png would write the same outputs in --format png"));
    EXPECT_EQ(listFolder(work.path() / "out2"), "");
    EXPECT_EQ(run({"--jpeg-quality", "0", "in", "out2"}).status, 2);
}

TEST_F(BatchCli, OneFileAsSourceComesOutAsItWouldFromAFolderAndOtherFilesAreRefused) {
    writeSheet(work.path() / "in/a.png", 1);
    ASSERT_EQ(run({"in", "out"}).status, 0);
    const CliRun one = run({"in/a.png", "out2"});
    ASSERT_EQ(one.status, 0) << one.out;
    EXPECT_EQ(listFolder(work.path() / "out2"), "a-tovel.png");
    EXPECT_EQ(readFile(work.path() / "out2/a-tovel.png"), out("a-tovel.png"));

    std::ofstream(work.path() / "in/notes.txt") << "not a sheet";
    const CliRun text = run({"in/notes.txt", "out2"});
    EXPECT_EQ(text.status, 2);
    EXPECT_NE(text.out.find("neither an image nor a book"), std::string::npos) << text.out;
}

TEST_F(BatchCli, AMissingDestinationIsMadeAndOneThatCannotBeIsRefusedWithTheReason) {
    writeSheet(work.path() / "in/a.png", 1);
    const CliRun made = run({"in", "new/deeper/out"});
    ASSERT_EQ(made.status, 0) << made.out;
    EXPECT_NE(made.out.find("made the destination folder new/deeper/out"), std::string::npos) << made.out;
    EXPECT_TRUE(fs::exists(work.path() / "new/deeper/out/a-tovel.png"));
    const CliRun again = run({"in", "new/deeper/out"});
    EXPECT_EQ(again.out.find("made the destination"), std::string::npos) << "said only when made";

    std::ofstream(work.path() / "plain-file") << "x";
    const CliRun blocked = run({"in", "plain-file/out"});
    EXPECT_EQ(blocked.status, 2);
    EXPECT_NE(blocked.out.find("cannot be made: "), std::string::npos) << blocked.out;
}

TEST_F(BatchCli, AFolderThatIsItsOwnDestinationNeverTakesItsOutputsAsSheetsAgain) {
    writeSheet(work.path() / "in/a.png", 1);
    writeSheet(work.path() / "in/b-tovel-x.png", 2);  // a sheet whose name only looks like an output
    ASSERT_EQ(run({"in", "in"}).status, 0);
    const CliRun second = run({"in", "in"});
    ASSERT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("skipped 2 file(s)"), std::string::npos) << second.out;
    EXPECT_EQ(listFolder(work.path() / "in"), "a-tovel.png a.png b-tovel-x-tovel.png b-tovel-x.png");

    // Another destination takes every image of the source, outputs of earlier runs included.
    const CliRun elsewhere = run({"in", "out"});
    ASSERT_EQ(elsewhere.status, 0) << elsewhere.out;
    EXPECT_TRUE(fs::exists(work.path() / "out/a-tovel-tovel.png"));
}

TEST_F(BatchCli, VersionNamesTheLibrariesItRunsWith) {
    const CliRun version = run({"--version"});
    ASSERT_EQ(version.status, 0);
    for (const char* part : {"tovel-cli (TOVEL) ", "\nFreeImage 3.", "\nFFTW fftw-3.", "\nQt 6."})
        EXPECT_NE(version.out.find(part), std::string::npos) << part << " in " << version.out;
}
