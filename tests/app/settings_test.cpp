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

TEST(IniFile, ReadsTheGeneralSectionWithDefaultsForWhatIsMissing) {
    TempDir dir;
    const std::string path = dir / "TOVEL.ini";
    writeFile(path,
              "[OTHER]\r\nDividePage=TRUE\r\n"
              "[general]\r\n  sourcefolder = /scans/本 \r\nDividePage=true\r\n"
              "SetMargin=TRUE\r\nVerticalMargin=12abc\r\n");
    AppSettings settings;
    settings.iniPath = path;
    LayoOptions options;
    loadSettings(settings, options);
    EXPECT_EQ(settings.sourceFolder, "/scans/本");
    EXPECT_EQ(settings.destinationFolder, "");
    EXPECT_EQ(options.dividePage, 0) << "lower-case true is off, and other sections do not count";
    EXPECT_EQ(std::tuple(options.removeHeader, options.setMargin, options.verticalMargin, options.horizontalMargin),
              std::tuple(0, 1, 12, 0));

    AppSettings missing;
    missing.iniPath = dir / "absent.ini";
    LayoOptions defaults;
    defaults.dividePage = 1;
    loadSettings(missing, defaults);
    EXPECT_EQ(defaults.dividePage, 0);
    EXPECT_EQ(missing.sourceFolder, "");
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

TEST(IniFile, LongValuesAreCutToTheReadBuffer) {
    TempDir dir;
    const std::string path = dir / "TOVEL.ini";
    writeFile(path, "[GENERAL]\nSourceFolder=" + std::string(2000, 'x') + "\n");
    EXPECT_EQ(IniFile(path).get("GENERAL", "SourceFolder", "").size(), 1023u);
}
