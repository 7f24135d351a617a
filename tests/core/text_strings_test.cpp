#include "core/text_strings.h"

#include <gtest/gtest.h>

TEST(PathText, ExtensionIsTheTextAfterTheLastDotOfTheFileNameAndTheSuffixGoesBeforeIt) {
    const struct {
        const char *path, *extension, *suffixed;
    } cases[] = {{"/scans/p001.jpg", "jpg", "/scans/p001-tovel.jpg"},
                 {"/scans/p001.tar.TIFF", "TIFF", "/scans/p001.tar-tovel.TIFF"},
                 {"/scans.d/p001", "", "/scans.d/p001-tovel"},
                 {"/out/表紙.png", "png", "/out/表紙-tovel.png"},
                 {"noext", "", "noext-tovel"}};
    for (const auto& c : cases) {
        sjisString path(c.path);
        EXPECT_STREQ(path.extension().c_str(), c.extension) << c.path;
        path.insertSuffix("-tovel");
        EXPECT_STREQ(path.c_str(), c.suffixed);
    }
    EXPECT_STREQ(sjisString("trailing.").extension().c_str(), "");
}

TEST(PathText, WideTextConvertsInTheLocale) {
    const unicodeString wide(L"/スキャン/頁1.jpg");
    EXPECT_EQ(wide.length(), 12u);
    const sjisString narrow(wide);
    EXPECT_STREQ(narrow.c_str(), "/スキャン/頁1.jpg");
    const unicodeString lone(L"\xD800");  // a lone surrogate has no multibyte form
    EXPECT_STREQ(sjisString(lone).c_str(), "");
}
