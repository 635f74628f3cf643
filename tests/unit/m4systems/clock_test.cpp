#include "m4systems/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

class ClockTest : public ::testing::Test {
  protected:
    void TearDown() override { M4_SetClockScale(1.0); }
};

TEST_F(ClockTest, ScaledSleepTakesATenthOfTheRealTime) {
    M4_InitClock();
    M4_SetClockScale(10.0);
    auto real_start = std::chrono::steady_clock::now();
    uint32_t start = M4_GetSysClock();
    M4_Sleep(2000);
    uint32_t elapsed = M4_GetSysClock() - start;
    auto real_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - real_start)
                       .count();
    EXPECT_GE(elapsed, 2000u);
    // 200 ms of real time are expected; a full second would mean the scale is not applied.
    EXPECT_LT(real_ms, 1000);
    M4_StopClock();
}

TEST_F(ClockTest, ChangingTheScaleNeverMovesTheClockBack) {
    M4_SetClockScale(50.0);
    M4_Sleep(500);
    uint32_t before = M4_GetSysClock();
    M4_SetClockScale(1.0);
    EXPECT_GE(M4_GetSysClock(), before);
    EXPECT_LT(M4_GetSysClock() - before, 100u);
    M4_SetClockScale(0.0);  // refused
    M4_SetClockScale(-3.0);
    EXPECT_EQ(M4_GetClockScale(), 1.0);
}

}  // namespace
