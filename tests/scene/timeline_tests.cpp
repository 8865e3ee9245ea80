#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main.h"
#include "music/music.h"
#include "platform/fake/fake_platform.h"
#include "scene/scene_init.h"
#include "scene/sprites.h"
#include "scene/timeline.h"
#include "tests/scene/fake_music.h"

namespace {

class TimelineTest : public ::testing::Test {
protected:
  AppWindow window{};
  KeyTable keys{};

  void SetUp() override {
    FakeReset();
    fakeMusic = FakeMusicState{};
    SpriteTable = {};
    InitSpriteTable();
    TimelineStep = -1;
    keepRunning = 1;
    window.keys = &keys;
    sceneWindow = &window;
    sceneKeys = &keys;
    MusicHandle = 0x10000;
  }

  void At(uint32_t order, uint32_t row) {
    MusicPosition = {order, row};
    RunTimeline();
  }

  std::vector<int> Active() {
    std::vector<int> out;
    for (int i = 0; i < spriteCount; ++i)
      if (SpriteTable[i].active == 1) out.push_back(i);
    return out;
  }

  int QuitRequests() { return FakeCallCount("PostMessageA"); }
};

TEST_F(TimelineTest, FirstCardWaitsForRow63AndOneFrameCanRevealSeveral) {
  At(0, 62);
  EXPECT_EQ(TimelineStep, -1);
  At(0, 63);
  EXPECT_EQ(TimelineStep, 0);
  EXPECT_EQ(Active(), std::vector<int>{0});

  SetUp();
  At(0, 191); // first look already at row 191: cards 0, 1 and 2 at once
  EXPECT_EQ(TimelineStep, 2);
  EXPECT_EQ(Active(), (std::vector<int>{0, 1, 2}));
  At(1, 200); // order-only row, then rows 63, 127, 191 of order 1
  EXPECT_EQ(TimelineStep, 6);
}

TEST_F(TimelineTest, AMissedOrderMakesTheTimelineWaitForItsReturn) {
  At(0, 191);
  At(2, 0); // order 1 was never seen
  EXPECT_EQ(TimelineStep, 2);
  At(0, 0); // the module looped
  At(1, 0);
  EXPECT_EQ(TimelineStep, 3);
}

TEST_F(TimelineTest, IrregularOrdersHoldTheirCards) {
  At(0, 255);
  for (uint32_t order = 1; order <= 6; ++order) At(order, 255);
  EXPECT_EQ(TimelineStep, 26);
  At(7, 255); // order 7 has no row-191 step
  EXPECT_EQ(TimelineStep, 29);
  At(8, 255);
  At(9, 255);
  EXPECT_EQ(TimelineStep, 37);
  At(10, 126); // order 10 reveals at row 127 only
  EXPECT_EQ(TimelineStep, 37);
  At(10, 127);
  EXPECT_EQ(TimelineStep, 38);
  At(11, 0);
  EXPECT_EQ(TimelineStep, 39);
  At(11, 127); // arms the end, reveals nothing
  EXPECT_EQ(TimelineStep, 40);
  EXPECT_EQ(SpriteTable[40].active, 0);
  EXPECT_EQ(QuitRequests(), 0);
}

TEST_F(TimelineTest, EndComesWhenOrderZeroReturnsAfterTheLastStep) {
  TimelineStep = 40;
  At(12, 100);
  EXPECT_EQ(QuitRequests(), 0);
  At(0, 37);
  EXPECT_EQ(fakeMusic.calls, (std::vector<std::string>{"Slide(65536,-1,-2,-101,2000)", "Stop"}));
  EXPECT_EQ(FakeSleptMilliseconds(), 2000u);
  EXPECT_EQ(QuitRequests(), 1);
  EXPECT_EQ(keepRunning, 0);
  EXPECT_EQ(TimelineStep, 40);
}

TEST_F(TimelineTest, EscapeEndsBeforeTheFirstCardAndAfterTheLast) {
  for (int32_t step : {-1, 40}) {
    SetUp();
    TimelineStep = step;
    keys[VK_ESCAPE] = 1;
    At(5, 5);
    EXPECT_EQ(fakeMusic.calls, (std::vector<std::string>{"Slide(65536,0,-2,-101,1000)", "Stop"}));
    EXPECT_EQ(FakeSleptMilliseconds(), 1000u);
    EXPECT_EQ(QuitRequests(), 1);
  }
}

TEST_F(TimelineTest, EndAndEscapeInOneFrameWaitThreeSecondsAndQuitTwice) {
  TimelineStep = 39;
  keys[VK_ESCAPE] = 1;
  At(0, 0);                     // step 39 waits for order 11, but the end test only needs step 40
  EXPECT_EQ(QuitRequests(), 1); // Escape alone
  SetUp();
  TimelineStep = 40;
  keys[VK_ESCAPE] = 1;
  At(0, 0);
  EXPECT_EQ(fakeMusic.calls, (std::vector<std::string>{"Slide(65536,-1,-2,-101,2000)", "Stop",
                                                       "Slide(65536,0,-2,-101,1000)", "Stop"}));
  EXPECT_EQ(FakeSleptMilliseconds(), 3000u);
  EXPECT_EQ(QuitRequests(), 2);
}

TEST_F(TimelineTest, EscapeIsTestedEvenWhenTheWalkStoppedEarly) {
  keys[VK_ESCAPE] = 1;
  At(3, 0); // nothing to reveal at order 3 with the step at -1
  EXPECT_EQ(TimelineStep, -1);
  EXPECT_EQ(QuitRequests(), 1);
}

} // namespace
