#include "core/text_strings.h"

#include <gtest/gtest.h>

TEST(PathText, ExtensionIsTheTextAfterTheLastDotOfTheFileName) {
    EXPECT_STREQ(sjisString("/scans/p001.jpg").extension().c_str(), "jpg");
    EXPECT_STREQ(sjisString("/scans/p001.tar.TIFF").extension().c_str(), "TIFF");
    EXPECT_STREQ(sjisString("/scans.d/p001").extension().c_str(), "");
    EXPECT_STREQ(sjisString("noext").extension().c_str(), "");
    EXPECT_STREQ(sjisString("trailing.").extension().c_str(), "");
}

TEST(PathText, SuffixGoesBeforeTheExtensionOrAtTheEnd) {
    sjisString a("/out/p001.jpg");
    a.insertSuffix("-tovel");
    EXPECT_STREQ(a.c_str(), "/out/p001-tovel.jpg");
    sjisString b("/out.d/p001");
    b.insertSuffix("-tovel-1");
    EXPECT_STREQ(b.c_str(), "/out.d/p001-tovel-1");
    sjisString c("/out/表紙.png");
    c.insertSuffix("-tovel-2");
    EXPECT_STREQ(c.c_str(), "/out/表紙-tovel-2.png");
}

TEST(PathText, WideTextConvertsInTheLocale) {
    const unicodeString wide(L"/スキャン/頁1.jpg");
    EXPECT_EQ(wide.length(), 12u);
    const sjisString narrow(wide);
    EXPECT_STREQ(narrow.c_str(), "/スキャン/頁1.jpg");
    const unicodeString lone(L"\xD800");  // a lone surrogate has no multibyte form
    EXPECT_STREQ(sjisString(lone).c_str(), "");
}
