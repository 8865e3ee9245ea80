// The stepper against stand-ins for what it drives: a virtual clock, the
// player (each sample carries its own position), and a scene whose frames can
// sleep as a fade does. Nothing here needs GL or the module.
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "capture/stepper.h"
#include "music/player_core.h"
#include "platform/virtual_clock.h"

namespace {

struct Seen {
  int64_t clock, heard, rendered;
  double delta;
};

struct World {
  int64_t clock = 0;
  uint64_t heard = 0;
  int64_t rendered = 0;
  std::vector<int> blocks;   // the length of each PlayerRender
  std::map<int, int> sleeps; // SceneFrame call -> milliseconds slept in it
  std::vector<Seen> frames;  // one per SceneFrame
  int swaps = 0;
};
World world;

class StepperTest : public ::testing::Test {
protected:
  void SetUp() override { world = World{}; }
};

// The sound a stepper hands on, checked as it arrives: in order, without a gap.
struct Heard {
  int64_t next = 0;
  bool inOrder = true;
};

void Listen(Stepper *stepper, Heard *heard) {
  stepper->sound = [heard](const float *stereo, int frames, int64_t at) {
    for (int i = 0; i < frames; ++i)
      if (stereo[2 * i] != static_cast<float>(heard->next + i)) heard->inOrder = false;
    if (at != heard->next) heard->inOrder = false;
    heard->next = at + frames;
    return true;
  };
}

} // namespace

int64_t VirtualClockNow() { return world.clock; }
void VirtualClockSet(int64_t position) { world.clock = position; }
void VirtualClockSetHeard(uint64_t position) { world.heard = position; }

void PlayerRender(float *out, int frames) {
  for (int i = 0; i < frames; ++i)
    out[2 * i] = out[2 * i + 1] = static_cast<float>(world.rendered + i);
  world.rendered += frames;
  world.blocks.push_back(frames);
}

void SceneFrame(double delta) {
  world.frames.push_back({world.clock, static_cast<int64_t>(world.heard), world.rendered, delta});
  auto sleep = world.sleeps.find(static_cast<int>(world.frames.size()) - 1);
  // The back ends' Sleep: the time passes on the clock instead of in waiting.
  if (sleep != world.sleeps.end()) world.clock += int64_t{sleep->second} * audioRate / 1000;
}

BOOL SwapBuffers(HDC) {
  ++world.swaps;
  return TRUE;
}

// 240 fps does not divide the audio rate: frame moments round down.
TEST_F(StepperTest, EachFrameSeesTheClockAndTheSoundOfItsOwnMoment) {
  Stepper stepper;
  stepper.fps = 240;
  Heard heard;
  Listen(&stepper, &heard);
  StepShown shown;
  for (int64_t v = 0; v < 9; ++v) {
    ASSERT_TRUE(StepFrame(&stepper, &shown));
    EXPECT_EQ(shown.first, v);
    EXPECT_EQ(shown.end, v + 1);
    EXPECT_EQ(world.swaps, v + 1);
    // After a step the music is rendered up to the next frame's moment.
    EXPECT_EQ(world.rendered, (v + 1) * audioRate / 240);
  }
  ASSERT_EQ(world.frames.size(), 9u);
  for (int64_t v = 0; v < 9; ++v) {
    const Seen &seen = world.frames[v];
    const int64_t moment = v * audioRate / 240;
    EXPECT_EQ(seen.clock, moment) << "frame " << v;
    EXPECT_EQ(seen.heard, moment) << "frame " << v;
    EXPECT_EQ(seen.rendered, moment) << "frame " << v;
    EXPECT_DOUBLE_EQ(seen.delta, 1.0 / 240);
  }
  EXPECT_EQ(AudioPositionOfVideoFrame(7, 240), 1286); // 1286.25
  EXPECT_TRUE(heard.inOrder);
  EXPECT_EQ(heard.next, world.rendered);
}

// A fade sleeps inside a frame: the picture stands for every video frame that
// starts before the clock woke, the music goes on under it, and the next
// frame is drawn at its own moment, not where the sleep left the clock.
TEST_F(StepperTest, AFramesSleepHoldsThePictureWhileTheMusicGoesOn) {
  world.sleeps[3] = 250; // 0.3 s + 0.25 s: video frames 4 and 5 start before 0.55 s
  Stepper stepper;
  stepper.fps = 10;
  Heard heard;
  Listen(&stepper, &heard);
  std::vector<StepShown> pictures;
  while (stepper.videoFrame < 8) {
    StepShown shown;
    ASSERT_TRUE(StepFrame(&stepper, &shown));
    pictures.push_back(shown);
  }
  ASSERT_EQ(pictures.size(), 6u);
  EXPECT_EQ(pictures[3].first, 3);
  EXPECT_EQ(pictures[3].end, 6);
  EXPECT_EQ(pictures[4].first, 6);
  EXPECT_EQ(pictures[4].end, 7);
  EXPECT_EQ(world.frames[4].clock, 6 * 4410);
  EXPECT_EQ(world.frames[4].heard, 6 * 4410);
  EXPECT_EQ(world.frames[4].rendered, 6 * 4410);
  EXPECT_TRUE(heard.inOrder);
  EXPECT_EQ(heard.next, 8 * 4410);
  for (int block : world.blocks) EXPECT_LE(block, 4096);
}

// The capture's span ends the music and the held picture alike.
TEST_F(StepperTest, TheSoundEndCutsAHoldShort) {
  world.sleeps[3] = 250;
  Stepper stepper;
  stepper.fps = 10;
  stepper.soundEnd = AudioPositionOfVideoFrame(5, 10);
  StepShown shown;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(StepFrame(&stepper, &shown));
  EXPECT_EQ(shown.first, 3);
  EXPECT_EQ(shown.end, 5);
  EXPECT_EQ(world.rendered, 5 * 4410);
}

// The frame shown at a moment is the held picture when the moment falls in
// its hold, and the first picture that reaches the moment.
TEST_F(StepperTest, TheFrameShownAtAMomentIsTheFirstPictureThatReachesIt) {
  world.sleeps[3] = 250;
  Stepper stepper;
  stepper.fps = 10;
  const int64_t moment = 45 * audioRate / 100; // 0.45 s, inside the hold
  StepShown shown;
  int steps = 0;
  do {
    ASSERT_TRUE(StepFrame(&stepper, &shown));
    ++steps;
  } while (!StepReaches(&stepper, shown, moment));
  EXPECT_EQ(steps, 4);
  EXPECT_EQ(shown.first, 3);
  // Exactly at a frame's moment, that frame is the one shown.
  Stepper exact;
  exact.fps = 10;
  EXPECT_FALSE(StepReaches(&exact, {2, 3}, 3 * 4410));
  EXPECT_TRUE(StepReaches(&exact, {3, 4}, 3 * 4410));
}

// A sound that cannot be kept (the capture's file is full) fails the step
// whose music it was: the third frame's hold renders from 0.2 s.
TEST_F(StepperTest, ARefusedSoundFailsTheStep) {
  Stepper stepper;
  stepper.fps = 10;
  stepper.sound = [](const float *, int, int64_t at) { return at < 2 * 4410; };
  StepShown shown;
  EXPECT_TRUE(StepFrame(&stepper, &shown));
  EXPECT_TRUE(StepFrame(&stepper, &shown));
  EXPECT_FALSE(StepFrame(&stepper, &shown));
  EXPECT_EQ(world.frames.size(), 3u);
}
