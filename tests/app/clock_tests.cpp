#include <gtest/gtest.h>

#include "app/clock.h"
#include "platform/fake/fake_platform.h"

namespace {

TEST(FrameClock, CounterReadingsAreElapsedCountsTimesSinglePrecisionResolution) {
  FakeReset();
  FakeSetCounter(true, 3579545, 1000000);
  StartFrameClock();
  EXPECT_EQ(frameClock.hasCounter, 1);
  EXPECT_EQ(frameClock.counterStart, 1000000);
  EXPECT_EQ(frameClock.resolution, static_cast<float>(1.0 / 3579545.0));
  EXPECT_EQ(ReadFrameClock(), 0.0);
  FakeSetCounter(true, 3579545, 1000000 + 3579545);
  double oneSecond = ReadFrameClock();
  EXPECT_EQ(oneSecond, 3579545.0 * static_cast<float>(1.0 / 3579545.0) * 1000.0f);
  EXPECT_NEAR(oneSecond, 1000.0, 1e-3);
}

TEST(FrameClock, CounterReadingsNeverDecreaseAndRestartFromZero) {
  FakeReset();
  FakeSetCounter(true, 1000000, 5, 250);
  StartFrameClock();
  double previous = -1.0;
  for (int i = 0; i < 20; ++i) {
    double now = ReadFrameClock();
    EXPECT_GT(now, previous);
    previous = now;
  }
  StartFrameClock();
  EXPECT_LT(ReadFrameClock(), 0.5);
}

TEST(FrameClock, MillisecondTimerFallbackSurvivesWrapAround) {
  FakeReset();
  FakeSetCounter(false, 0, 0);
  FakeSetMilliseconds(0xFFFFFF00u);
  StartFrameClock();
  EXPECT_EQ(frameClock.hasCounter, 0);
  EXPECT_EQ(frameClock.frequency, 1000);
  EXPECT_EQ(frameClock.resolution, 0.001f);
  EXPECT_EQ(frameClock.timerStart, 0xFFFFFF00u);
  FakeSetMilliseconds(0x100u); // 512 ms later, past the wrap
  EXPECT_DOUBLE_EQ(ReadFrameClock(), 512 * 1.0000000474974513);
  FakeSetMilliseconds(0xFFFFFF00u + 7);
  EXPECT_DOUBLE_EQ(ReadFrameClock(), 7 * 1.0000000474974513);
}

} // namespace
