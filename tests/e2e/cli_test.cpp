// The command line as a user runs it: real files in, real files out, exit statuses.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <array>
#include <cstdio>
#include <filesystem>

#include "pipeline/image_io.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

// Runs tovel-cli with args in folder cwd; standard error is folded into the output.
CliRun cli(const std::string& args, const std::string& cwd) {
    const std::string command =
        "cd '" + cwd + "' && '" + std::string(TOVEL_CLI) + "' " + args + " 2>&1";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

// A blank sheet with a faint tint: nothing on it is taken for text, so it is written whole.
void writeSheet(const std::string& path, int w, int h) {
    GreyImage image;
    fillImage(image, w, h, [](int x, int) { return static_cast<unsigned char>(250 - x % 3); });
    ASSERT_EQ(saveGreyImage(path.c_str(), image), 0) << path;
}

int widthOf(const std::string& path) {
    GreyImage image;
    return loadGreyImage(path.c_str(), image) == 0 ? image.width : -1;
}

class Cli : public testing::Test {
protected:
    void SetUp() override { initImageIo(); }
    TempDir work;
};

}  // namespace

TEST_F(Cli, ProcessesAFolderAndNamesTheSheetThatFailed) {
    fs::create_directory(work.path() / "src");
    fs::create_directory(work.path() / "dst");
    writeSheet(work / "src/a.JPG", 120, 170);
    writeSheet(work / "src/b.jpeg", 130, 180);
    writeSheet(work / "src/c.Tif", 140, 190);
    writeFile(work / "src/d.txt", "notes");
    writeFile(work / "src/x.png", "\x89PNG\r\n\x1a\n broken");

    const CliRun run = cli("src dst", work.path().string());
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_EQ(listFolder(work.path() / "dst"), "a-tovel.JPG b-tovel.jpeg c-tovel.Tif");
    EXPECT_EQ(widthOf(work / "dst/b-tovel.jpeg"), 130);
    EXPECT_NE(run.out.find("処理開始。入力画像：src/a.JPG\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("処理終了。\n"), std::string::npos);
    EXPECT_NE(run.out.find("Error: LAYO() reported error. rc=7\n"), std::string::npos);
    EXPECT_NE(run.out.find("x.png: result 7"), std::string::npos) << run.out;
}

TEST_F(Cli, DividesALandscapeSheetIntoTwoHalves) {
    fs::create_directory(work.path() / "in");
    fs::create_directory(work.path() / "out");
    writeSheet(work / "in/spread.png", 400, 250);
    const CliRun run = cli("--divide-page --quiet in out", work.path().string());
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.find("処理開始"), std::string::npos) << "--quiet prints no trace";
    EXPECT_EQ(listFolder(work.path() / "out"), "spread-tovel-1.png spread-tovel-2.png");
    EXPECT_EQ(widthOf(work / "out/spread-tovel-2.png"), 201);
    EXPECT_EQ(widthOf(work / "out/spread-tovel-1.png"), 199);
}

TEST_F(Cli, TakesFoldersAndSwitchesFromTheIniFileUnlessOverridden) {
    fs::create_directory(work.path() / "in");
    fs::create_directory(work.path() / "out");
    writeSheet(work / "in/p.png", 400, 250);
    writeFile(work / "TOVEL.ini",
              "[GENERAL]\nSourceFolder=" + (work / "in") + "\nDestinationFolder=" + (work / "out") +
                  "\nDividePage=TRUE\n");
    CliRun run = cli("--no-divide-page", work.path().string());
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(listFolder(work.path() / "out"), "p-tovel.png");
    run = cli("", work.path().string());
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(listFolder(work.path() / "out"), "p-tovel-1.png p-tovel-2.png p-tovel.png");
    EXPECT_NE(run.out.find("1 画像を処理しました。"), std::string::npos);
}

TEST_F(Cli, RefusesUnusableFoldersAndBadOptionsBeforeAnyWork) {
    fs::create_directory(work.path() / "in");
    writeSheet(work / "in/p.png", 100, 100);
    CliRun run = cli("in missing", work.path().string());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("destination folder missing does not exist"), std::string::npos) << run.out;
    run = cli("", work.path().string());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("no source folder given"), std::string::npos) << run.out;
    run = cli("--margin 40 in in", work.path().string());
    EXPECT_EQ(run.status, 2);
    run = cli("--bogus in in", work.path().string());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(listFolder(work.path() / "in"), "p.png") << "nothing may be written";
    run = cli("--help", work.path().string());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--divide-page"), std::string::npos);
}

TEST_F(Cli, RealScansRunThroughAndComeOutWhole) {
    const fs::path corpus = TOVEL_REAL_CORPUS;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no real scans at " << corpus;
    fs::create_directory(work.path() / "out");
    const CliRun run = cli("--quiet '" + corpus.string() + "' out", work.path().string());
    EXPECT_EQ(run.status, 0) << run.out;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() != ".jpg") continue;
        const std::string name = entry.path().stem().string() + "-tovel.jpg";
        GreyImage in, out;
        ASSERT_EQ(loadGreyImage(entry.path().c_str(), in), 0);
        ASSERT_EQ(loadGreyImage((work.path() / "out" / name).c_str(), out), 0) << name;
        EXPECT_EQ(out.width + out.height, in.width + in.height) << name << ": whole, perhaps turned a quarter";
    }
}

TEST_F(Cli, CtrlCStopsBetweenSheetsAndLeavesNoPartialFile) {
    fs::create_directory(work.path() / "in");
    fs::create_directory(work.path() / "out");
    for (int i = 0; i < 80; ++i) writeSheet(work / ("in/s" + std::to_string(100 + i) + ".png"), 900, 1300);
    const std::string in = work / "in", out = work / "out";
    const char* argv[] = {TOVEL_CLI, "--quiet", in.c_str(), out.c_str(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, TOVEL_CLI, &quiet, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&quiet);
    while (fs::is_empty(out)) usleep(10000);  // the first sheet is written
    kill(pid, SIGINT);
    int raw = 0;
    waitpid(pid, &raw, 0);
    EXPECT_EQ(WEXITSTATUS(raw), 130);
    const std::string written = listFolder(work.path() / "out");
    EXPECT_EQ(written.find(".tovel-part"), std::string::npos) << written;
    EXPECT_LT(std::distance(fs::directory_iterator(work.path() / "out"), fs::directory_iterator()), 80);
}
