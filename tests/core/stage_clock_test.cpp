#include "core/stage_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

double msOf(Stage s) { return stageTimes().ms[static_cast<int>(s)]; }

}  // namespace

TEST(StageClock, AnInnerStageCountsForItselfAloneAndEachThreadKeepsItsOwn) {
    resetStageTimes();
    {
        const ScopedStage lines(Stage::kColumnsAndLines);
        sleepMs(5);
        {
            const ScopedStage resampling(Stage::kResampling);
            sleepMs(60);
        }
        sleepMs(5);
    }
    EXPECT_GE(msOf(Stage::kResampling), 60.0);
    EXPECT_GE(msOf(Stage::kColumnsAndLines), 10.0);
    EXPECT_LT(msOf(Stage::kColumnsAndLines), 50.0) << "the inner stage's time was counted twice";

    // Another thread starts from nothing and leaves this one's times alone.
    double otherLoad = -1;
    std::thread other([&otherLoad] {
        {
            const ScopedStage load(Stage::kLoad);
            sleepMs(2);
        }
        otherLoad = stageTimes().ms[static_cast<int>(Stage::kLoad)];
    });
    other.join();
    EXPECT_GT(otherLoad, 0.0);
    EXPECT_EQ(msOf(Stage::kLoad), 0.0);

    resetStageTimes();
    EXPECT_EQ(msOf(Stage::kResampling), 0.0);
}
