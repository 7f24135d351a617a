#include <gtest/gtest.h>

#include "settings/app_settings.h"
#include "settings/ini_file.h"
#include "test_support.h"

TEST(IniValues, SwitchesAreOnOnlyForUpperCaseTrueAndMarginsTakeTheLeadingInteger) {
    EXPECT_TRUE(parseSwitch("TRUE"));
    for (const char* off : {"true", "1", ""}) EXPECT_FALSE(parseSwitch(off)) << off;
    const std::pair<const char*, int> margins[] = {{"12abc", 12}, {"abc", 0}, {"  -7px", -7}, {"+30", 30}, {"", 0},
                                                   {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}};
    for (auto [text, value] : margins) EXPECT_EQ(parseMargin(text), value) << text;
}

TEST(IniFile, WritingOneKeyKeepsEveryOtherLine) {
    TempDir dir;
    const std::string path = dir / "TOVEL.ini";
    writeFile(path, "; written by hand\n[GENERAL]\nSourceFolder=/a\n\nDividePage=FALSE\n[X]\nk=v\n");
    ASSERT_TRUE(saveSetting(path, "DividePage", "TRUE"));
    ASSERT_TRUE(saveSetting(path, "VerticalMargin", "40"));
    EXPECT_EQ(readFile(path),
              "; written by hand\n[GENERAL]\nSourceFolder=/a\n\nDividePage=TRUE\n"
              "VerticalMargin=40\n[X]\nk=v\n");

    const std::string fresh = dir / "new.ini";
    ASSERT_TRUE(saveSetting(fresh, "SetMargin", "FALSE"));
    EXPECT_EQ(readFile(fresh), "[GENERAL]\nSetMargin=FALSE\n");
    EXPECT_EQ(listFolder(dir.path()), "TOVEL.ini new.ini") << "no temporary file is left";

    EXPECT_FALSE(saveSetting((dir / "no-such-folder") + "/TOVEL.ini", "SetMargin", "TRUE"));
}

TEST(IniValues, JobsReadAsACountWhereZeroOrLessMeansTheCores) {
    TempDir dir;
    const std::string path = dir / "TOVEL.ini";
    const std::pair<const char*, int> cases[] = {{"", 0}, {"Jobs=3\n", 3}, {"Jobs=-2\n", 0}, {"Jobs=two\n", 0}};
    for (auto [line, jobs] : cases) {
        writeFile(path, std::string("[GENERAL]\n") + line);
        AppSettings settings;
        settings.iniPath = path;
        LayoOptions options;
        loadSettings(settings, options);
        EXPECT_EQ(settings.jobs, jobs) << line;
    }
    EXPECT_EQ(jobsFor(3, 8), 3);
    EXPECT_EQ(jobsFor(0, 8), 8);
    EXPECT_EQ(jobsFor(0, 0), 1) << "a machine that cannot tell its cores runs one sheet at a time";
}
