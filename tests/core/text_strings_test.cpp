#include "core/text_strings.h"

#include <gtest/gtest.h>

TEST(PathText, TheSuffixGoesBeforeTheExtensionOfTheFileNameOnly) {
    const struct {
        const char *path, *suffixed;
    } cases[] = {{"/scans/p001.tar.TIFF", "/scans/p001.tar-tovel.TIFF"},
                 {"/scans.d/p001", "/scans.d/p001-tovel"},
                 {"/out/表紙.png", "/out/表紙-tovel.png"}};
    for (const auto& c : cases) {
        sjisString path(c.path);
        path.insertSuffix("-tovel");
        EXPECT_STREQ(path.c_str(), c.suffixed);
    }
    const unicodeString lone(L"\xD800");  // a lone surrogate has no multibyte form
    EXPECT_STREQ(sjisString(lone).c_str(), "");
}
