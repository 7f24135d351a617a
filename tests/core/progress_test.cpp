#include "core/progress.h"

#include <gtest/gtest.h>

TEST(Progress, AppendingReplacesOnlyTheStageAfterTheName) {
    clearStopRequest();
    setStatusText("%s : 処理開始。", "p001.jpg");
    appendStatusText("前処理中……");
    bool changed = false;
    EXPECT_EQ(takeStatusText(&changed), "p001.jpg : 前処理中……");
    EXPECT_TRUE(changed);
    takeStatusText(&changed);
    EXPECT_FALSE(changed);

    // Without a name before ": " the whole line is replaced.
    setStatusText("中止しました。");
    appendStatusText("%d 画像を処理しました。", 3);
    EXPECT_EQ(takeStatusText(nullptr), "3 画像を処理しました。");
}
