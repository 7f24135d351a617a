#include "core/progress.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

class Progress : public testing::Test {
protected:
    void SetUp() override {
        clearStopRequest();
        setPreviewListener(nullptr, nullptr);
        setStatusText(nullptr);
    }
    void TearDown() override {
        clearStopRequest();
        setPreviewListener(nullptr, nullptr);
    }
};

struct Repaints {
    int shown = 0;
    int erased = 0;
};
void countRepaint(void* context, bool erase) {
    auto* r = static_cast<Repaints*>(context);
    (erase ? r->erased : r->shown)++;
}

}  // namespace

TEST_F(Progress, AppendingReplacesOnlyTheStageAfterTheName) {
    setStatusText("%s : 処理開始。", "p001.jpg");
    appendStatusText("前処理中……");
    bool changed = false;
    EXPECT_EQ(takeStatusText(&changed), "p001.jpg : 前処理中……");
    EXPECT_TRUE(changed);
    takeStatusText(&changed);
    EXPECT_FALSE(changed);

    setStatusText("中止しました。");
    appendStatusText("%d 画像を処理しました。", 3);
    EXPECT_EQ(takeStatusText(nullptr), "3 画像を処理しました。");
}

TEST_F(Progress, LongStatusLinesAreCutAtACharacterBoundary) {
    std::string longName(1500, 'a');
    longName.replace(1021, 3, "あ");  // a three-byte character that the 1023-byte room cuts
    setStatusText("%s", longName.c_str());
    EXPECT_EQ(takeStatusText(nullptr), std::string(1021, 'a'));
}

TEST_F(Progress, AStopRequestIsReportedButTheStatusStillChanges) {
    requestStop();
    EXPECT_TRUE(isStopRequested());
    EXPECT_FALSE(setStatusText("a : b"));
    EXPECT_FALSE(appendStatusText("c"));
    EXPECT_EQ(takeStatusText(nullptr), "a : c");
    clearStopRequest();
    EXPECT_TRUE(setStatusText("x"));
}

TEST_F(Progress, PreviewsAreKeptForAListenerAndFrozenByAStop) {
    Repaints repaints;
    GreyImage shown;
    const GreyImage page = filled(4, 3, [](int x, int) { return x; });

    EXPECT_TRUE(showPreview(page));
    EXPECT_FALSE(copyPreview(shown)) << "without a listener no copy is kept";

    setPreviewListener(countRepaint, &repaints);
    EXPECT_TRUE(showPreview(page));
    ASSERT_TRUE(copyPreview(shown));
    EXPECT_EQ(std::tuple(shown.width, shown.at(3, 2), repaints.shown), std::tuple(4, 3, 1));

    requestStop();
    EXPECT_FALSE(showPreview(flat(2, 2, 9)));
    ASSERT_TRUE(copyPreview(shown));
    EXPECT_EQ(shown.width, 4) << "the old preview stays after a stop";

    clearPreview();
    EXPECT_FALSE(copyPreview(shown));
    EXPECT_EQ(repaints.erased, 1);
}
