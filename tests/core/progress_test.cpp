#include "core/progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

TEST(Progress, ABatchShowsTheWholeJobAndTheSheetStartedLastOwnsTheStatusLine) {
    setStatusText("idle");
    {
        const BatchProgress batch(4);
        std::atomic<int> stage{0};
        // An older sheet on another thread keeps running while a newer one starts here.
        std::thread older([&] {
            const SheetScope sheet;
            setProgress(0.5f);
            setStatusText("older");
            stage = 1;
            while (stage != 2) std::this_thread::yield();
            EXPECT_TRUE(setStatusText("older again")) << "a sheet that does not own the line is not stopped";
            stage = 3;
        });
        while (stage != 1) std::this_thread::yield();
        EXPECT_EQ(takeStatusText(nullptr), "older");
        {
            const SheetScope sheet;
            setProgress(0.25f);
            EXPECT_DOUBLE_EQ(progressFraction(), (0.5 + 0.25) / 4);
            setStatusText("newer");
            stage = 2;
            while (stage != 3) std::this_thread::yield();
            EXPECT_EQ(takeStatusText(nullptr), "newer") << "only the sheet started last writes the line";
        }
        older.join();
        EXPECT_DOUBLE_EQ(progressFraction(), 2.0 / 4) << "two sheets finished";
    }
    setProgress(0.7f);
    EXPECT_DOUBLE_EQ(progressFraction(), static_cast<double>(0.7f)) << "without a batch, one sheet's fraction";
}
