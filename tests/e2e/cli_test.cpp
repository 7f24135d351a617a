// The command line as a user runs it: real files in, real files out, exit statuses.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "cli_runner.h"
#include "pipeline/image_io.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A blank sheet with a faint tint: nothing on it is taken for text, so it is written whole.
void writeSheet(const std::string& path, int w, int h) {
    ASSERT_EQ(saveGreyImage(path.c_str(), filled(w, h, [](int x, int) { return 250 - x % 3; })), 0) << path;
}

int widthOf(const std::string& path) {
    GreyImage image;
    return loadGreyImage(path.c_str(), image) == 0 ? image.width : -1;
}

class Cli : public testing::Test {
protected:
    void SetUp() override {
        initImageIo();
        fs::create_directory(work.path() / "in");
        fs::create_directory(work.path() / "out");
    }
    CliRun run(const std::vector<std::string>& args) { return cli(args, work.path()); }
    TempDir work;
};

}  // namespace

TEST_F(Cli, DividesALandscapeSheetIntoTwoHalves) {
    writeSheet(work / "in/spread.png", 400, 250);
    const CliRun r = run({"--divide-page", "--quiet", "in", "out"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(contains(r.out, "処理開始")) << "--quiet prints no trace";
    EXPECT_EQ(listFolder(work.path() / "out"), "spread-tovel-1.png spread-tovel-2.png");
    EXPECT_EQ(widthOf(work / "out/spread-tovel-2.png"), 201);
    EXPECT_EQ(widthOf(work / "out/spread-tovel-1.png"), 199);
}

TEST_F(Cli, TakesFoldersAndSwitchesFromTheIniFileUnlessOverridden) {
    writeSheet(work / "in/p.png", 400, 250);
    writeFile(work / "TOVEL.ini", "[GENERAL]\nSourceFolder=" + (work / "in") + "\nDestinationFolder=" +
                                      (work / "out") + "\nDividePage=TRUE\n");
    CliRun r = run({"--no-divide-page"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(listFolder(work.path() / "out"), "p-tovel.png");
    r = run({});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(listFolder(work.path() / "out"), "p-tovel-1.png p-tovel-2.png p-tovel.png");
    EXPECT_TRUE(contains(r.out, "p.png -> " + (work / "out/p-tovel-1.png") + ", " + (work / "out/p-tovel-2.png")));
    EXPECT_TRUE(contains(r.out, "tovel-cli: 1 written, 0 failed in "));
}

TEST_F(Cli, RefusesUnusableFoldersAndBadOptionsBeforeAnyWork) {
    writeSheet(work / "in/p.png", 100, 100);
    const struct {
        std::vector<std::string> args;
        const char* message;
    } refusals[] = {{{"in", "in/p.png/out"}, "destination folder in/p.png/out cannot be made"},
                    {{}, "no source folder given"},
                    {{"--margin", "40", "in", "in"}, ""},
                    {{"--bogus", "in", "in"}, ""}};
    for (const auto& c : refusals) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_TRUE(contains(r.out, c.message));
    }
    EXPECT_EQ(listFolder(work.path() / "in"), "p.png") << "nothing may be written";
    const CliRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "--divide-page"));
}

TEST_F(Cli, RealScansRunThroughAndComeOutWhole) {
    const fs::path corpus = TOVEL_REAL_CORPUS;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no real scans at " << corpus;
    const CliRun r = run({"--quiet", corpus.string(), "out"});
    EXPECT_EQ(r.status, 0) << r.out;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() != ".jpg") continue;
        const std::string name = entry.path().stem().string() + "-tovel.jpg";
        GreyImage in, out;
        ASSERT_EQ(loadGreyImage(entry.path().c_str(), in), 0);
        ASSERT_EQ(loadGreyImage((work.path() / "out" / name).c_str(), out), 0) << name;
        EXPECT_EQ(out.width + out.height, in.width + in.height) << name << ": whole, perhaps turned a quarter";
    }
}

TEST_F(Cli, EveryOptionIsInTheManualPageAndTheReadmeAndTheManualPageIsInstalled) {
    const CliRun help = run({"--help"});
    ASSERT_EQ(help.status, 0);
    const std::string manual = readFile(fs::path(TOVEL_SOURCE_DIR) / "docs/tovel-cli.1");
    const std::string readme = readFile(fs::path(TOVEL_SOURCE_DIR) / "README.md");
    int options = 0;
    for (size_t at = help.out.find("--"); at != std::string::npos; at = help.out.find("--", at + 2)) {
        size_t end = at + 2;
        while (end < help.out.size() && (std::isalnum(static_cast<unsigned char>(help.out[end])) || help.out[end] == '-'))
            ++end;
        const std::string option = help.out.substr(at, end - at);
        if (option.size() < 4) continue;
        ++options;
        // roff writes a hyphen of an option as \-.
        std::string roff;
        for (char c : option) roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_TRUE(contains(manual, roff)) << option << " is missing from docs/tovel-cli.1";
        EXPECT_TRUE(contains(readme, option)) << option << " is missing from README.md";
    }
    EXPECT_GE(options, 18);

    const std::string command = std::string("cmake --install '") + TOVEL_BUILD_DIR + "' --prefix '" +
                                (work / "prefix") + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string unpack = "gzip -dc '" + (work / "prefix/share/man/man1/tovel-cli.1.gz") + "' > '" +
                               (work / "installed.1") + "'";
    ASSERT_EQ(std::system(unpack.c_str()), 0);
    EXPECT_EQ(readFile(work / "installed.1"), manual);
    EXPECT_TRUE(fs::exists(work / "prefix/bin/tovel-cli"));
}
