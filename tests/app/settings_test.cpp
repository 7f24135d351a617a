#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "settings/app_settings.h"
#include "settings/ini_file.h"
#include "test_support.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(IniValues, SwitchesAreOnOnlyForUpperCaseTrue) {
    EXPECT_TRUE(parseSwitch("TRUE"));
    EXPECT_FALSE(parseSwitch("true"));
    EXPECT_FALSE(parseSwitch("1"));
    EXPECT_FALSE(parseSwitch(""));
    EXPECT_STREQ(formatSwitch(true), "TRUE");
    EXPECT_STREQ(formatSwitch(false), "FALSE");
}

TEST(IniValues, MarginsTakeTheLeadingInteger) {
    EXPECT_EQ(parseMargin("12abc"), 12);
    EXPECT_EQ(parseMargin("abc"), 0);
    EXPECT_EQ(parseMargin("  -7px"), -7);
    EXPECT_EQ(parseMargin("+30"), 30);
    EXPECT_EQ(parseMargin(""), 0);
    EXPECT_EQ(parseMargin("99999999999"), 2147483647);
    EXPECT_EQ(parseMargin("-99999999999"), -2147483647 - 1);
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
    EXPECT_EQ(options.removeHeader, 0);
    EXPECT_EQ(options.setMargin, 1);
    EXPECT_EQ(options.verticalMargin, 12);
    EXPECT_EQ(options.horizontalMargin, 0);

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
    EXPECT_EQ(readAll(path),
              "; written by hand\n[GENERAL]\nSourceFolder=/a\n\nDividePage=TRUE\n"
              "VerticalMargin=40\n[X]\nk=v\n");

    const std::string fresh = dir / "new.ini";
    ASSERT_TRUE(saveSetting(fresh, "SetMargin", "FALSE"));
    EXPECT_EQ(readAll(fresh), "[GENERAL]\nSetMargin=FALSE\n");
    EXPECT_EQ(listFolder(dir.path()), "TOVEL.ini new.ini") << "no temporary file is left";

    EXPECT_FALSE(saveSetting((dir / "no-such-folder") + "/TOVEL.ini", "SetMargin", "TRUE"));
}

TEST(IniFile, LongValuesAreCutToTheReadBuffer) {
    TempDir dir;
    const std::string path = dir / "TOVEL.ini";
    writeFile(path, "[GENERAL]\nSourceFolder=" + std::string(2000, 'x') + "\n");
    EXPECT_EQ(IniFile(path).get("GENERAL", "SourceFolder", "").size(), 1023u);
}
