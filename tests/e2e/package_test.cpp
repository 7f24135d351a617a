// The Debian package as a user gets it: built by CPack from this build, unpacked, and its
// tovel-cli run on a generated sheet, writing what the build's own tovel-cli writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// Runs command in a shell with its output going to log; answers its exit status.
int shell(const std::string& command, const fs::path& log) {
    const std::string line = command + " > '" + log.string() + "' 2>&1";
    const int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

TEST(Package, UnpacksWithItsDependenciesAndItsToolRunsAsTheBuildsDoes) {
    TempDir work;
    const fs::path log = work.path() / "log";
    ASSERT_EQ(shell("cd '" + std::string(TOVEL_BUILD_DIR) + "' && cpack -G DEB -B '" + work.path().string() + "'", log), 0)
        << readFile(log);
    fs::path deb;
    for (const auto& entry : fs::directory_iterator(work.path()))
        if (entry.path().extension() == ".deb") deb = entry.path();
    ASSERT_FALSE(deb.empty()) << readFile(log);
    EXPECT_TRUE(deb.filename().string().starts_with("tovel_")) << deb;

    ASSERT_EQ(shell("dpkg-deb -I '" + deb.string() + "'", log), 0);
    const std::string info = readFile(log);
    for (const char* dependency : {"libfreeimage3", "libfftw3-double3", "libqt6widgets6", "libarchive13"})
        EXPECT_NE(info.find(dependency), std::string::npos) << dependency << " not among the dependencies:\n" << info;

    const fs::path root = work.path() / "root";
    ASSERT_EQ(shell("dpkg-deb -x '" + deb.string() + "' '" + root.string() + "'", log), 0) << readFile(log);
    for (const char* file : {"usr/bin/tovel", "usr/bin/tovel-cli", "usr/share/man/man1/tovel-cli.1.gz",
                             "usr/share/man/man1/tovel.1.gz", "usr/share/applications/tovel.desktop",
                             "usr/share/icons/hicolor/scalable/apps/tovel.svg", "usr/share/doc/tovel/copyright"})
        EXPECT_TRUE(fs::exists(root / file)) << file;

    fs::create_directories(work.path() / "in");
    ASSERT_EQ(shell(std::string(TOVEL_SYNTH) + " --preset novel-page --seed 3 --dpi 150 '" +
                        (work.path() / "in/page.jpg").string() + "'",
                    log),
              0)
        << readFile(log);
    fs::remove(work.path() / "in/page.json");
    const std::string packaged = (root / "usr/bin/tovel-cli").string();
    ASSERT_EQ(shell("'" + packaged + "' --version", log), 0) << readFile(log);
    EXPECT_NE(readFile(log).find("FreeImage"), std::string::npos);
    ASSERT_EQ(shell("cd '" + work.path().string() + "' && '" + packaged + "' in out-packaged", log), 0) << readFile(log);
    ASSERT_EQ(shell("cd '" + work.path().string() + "' && '" + TOVEL_CLI + "' in out-built", log), 0) << readFile(log);
    EXPECT_EQ(readFile(work.path() / "out-packaged/page-tovel.jpg"), readFile(work.path() / "out-built/page-tovel.jpg"));
    EXPECT_FALSE(readFile(work.path() / "out-packaged/page-tovel.jpg").empty());

    if (shell("command -v lintian", log) != 0) GTEST_SKIP() << "lintian is not installed";
    shell("lintian '" + deb.string() + "'", log);
    const std::string verdict = readFile(log);
    EXPECT_EQ(verdict.find("\nE: "), std::string::npos) << verdict;
    EXPECT_FALSE(verdict.starts_with("E: ")) << verdict;
}
