// The parts of the browser back end that need no browser: its key table, the
// arithmetic that says which frame the audio worklet rendered is being heard,
// its reports written into the ring, and the batches that immediate mode is
// drawn in.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "music/player_core.h"
#include "platform/web/web_heard_clock.h"
#include "platform/web/web_immediate.h"
#include "platform/web/web_keys.h"
#include "platform/web/web_runs.h"

namespace {

TEST(WebKeys, CodesGiveTheDesktopsVirtualKeys) {
  EXPECT_EQ(WebVirtualKey("KeyA"), WPARAM{'A'});
  EXPECT_EQ(WebVirtualKey("KeyZ"), WPARAM{'Z'});
  EXPECT_EQ(WebVirtualKey("Digit0"), WPARAM{'0'});
  EXPECT_EQ(WebVirtualKey("Digit9"), WPARAM{'9'});
  EXPECT_EQ(WebVirtualKey("F1"), VK_F1);
  EXPECT_EQ(WebVirtualKey("F4"), VK_F4);
  EXPECT_EQ(WebVirtualKey("F10"), VK_F10);
  EXPECT_EQ(WebVirtualKey("F12"), VK_F1 + 11);
  EXPECT_EQ(WebVirtualKey("Numpad0"), VK_NUMPAD0);
  EXPECT_EQ(WebVirtualKey("Numpad9"), VK_NUMPAD0 + 9);
  EXPECT_EQ(WebVirtualKey("Escape"), VK_ESCAPE);
  EXPECT_EQ(WebVirtualKey("Enter"), VK_RETURN);
  EXPECT_EQ(WebVirtualKey("NumpadEnter"), VK_RETURN);
  EXPECT_EQ(WebVirtualKey("Space"), VK_SPACE);
  EXPECT_EQ(WebVirtualKey("ShiftRight"), VK_SHIFT);
  EXPECT_EQ(WebVirtualKey("ControlLeft"), VK_CONTROL);
  EXPECT_EQ(WebVirtualKey("AltRight"), VK_MENU);
  EXPECT_EQ(WebVirtualKey("ArrowDown"), VK_DOWN);
  EXPECT_EQ(WebVirtualKey("PageUp"), VK_PRIOR);
  EXPECT_EQ(WebVirtualKey("NumpadDivide"), VK_DIVIDE);
}

TEST(WebKeys, CodesWithoutAVirtualKeyGiveNone) {
  for (const char *code : {"", "Key", "KeyAB", "Keya", "Digit", "Digit10", "F", "F0", "F13", "F1x",
                           "Fn", "Numpad", "NumpadX", "MetaLeft", "IntlBackslash"})
    EXPECT_EQ(WebVirtualKey(code), 0u) << code;
  EXPECT_EQ(WebVirtualKey(nullptr), 0u);
}

constexpr uint64_t run = 1024;   // frames the worklet reports at a time
constexpr uint64_t begin = 5000; // context frame at which the show's sound began

// A worklet that renders and reports runs, as velmor_processor.js does.
struct Worklet {
  uint64_t context = begin;                    // the context frame it renders next
  uint64_t player = 0;                         // the player frame it renders next
  std::vector<std::array<uint64_t, 3>> unread; // reports not yet read by the page

  void Render(uint64_t runs) {
    for (uint64_t i = 0; i < runs; ++i) {
      unread.push_back({context, player, run});
      context += run;
      player += run;
    }
  }
  void Stop(uint64_t frames) { context += frames; }
  void Deliver(WebHeardClock *clock) {
    for (const auto &r : unread) WebHeardClockReceive(clock, r[0], r[1], r[2]);
    unread.clear();
  }
};

TEST(WebHeardClock, NothingIsHeardBeforeTheFirstReport) {
  WebHeardClock clock;
  EXPECT_EQ(WebHeardClockHeard(&clock, 0.0), 0u);
  EXPECT_EQ(WebHeardClockHeard(&clock, 1e6), 0u);
  Worklet w;
  w.Render(2);
  w.Deliver(&clock);
  // Before the first run was rendered, the player's first frame waits.
  EXPECT_EQ(WebHeardClockHeard(&clock, begin - 300.0), 0u);
}

TEST(WebHeardClock, TheHeardContextFrameMapsThroughTheRunsItFallsIn) {
  WebHeardClock clock;
  Worklet w;
  w.Render(8);
  w.Deliver(&clock);
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + 100.5), 100u);
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + 3 * run + 7.0), 3 * run + 7);
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + 8 * run - 1.0), 8 * run - 1);
}

TEST(WebHeardClock, NeverAheadOfWhatWasReceivedNorGoingBack) {
  WebHeardClock clock;
  Worklet w;
  w.Render(4);
  w.Deliver(&clock);
  // Rendered but not yet reported: the end of what was received waits.
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + 9.0 * run), 4 * run);
  EXPECT_EQ(clock.received, 4 * run);
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + 1.0 * run), 4 * run);
  w.Render(2);
  w.Deliver(&clock);
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + 5.0 * run + 1), 5 * run + 1);
}

TEST(WebHeardClock, AHeldPageFloodedWithOldReportsCatchesUpWithoutJumpingAhead) {
  WebHeardClock clock;
  Worklet w;
  w.Render(10);
  w.Deliver(&clock);
  double heard = begin + 9.5 * run;
  uint64_t before = WebHeardClockHeard(&clock, heard);
  // The page's thread is held 1.5 s: the worklet renders on, unread.
  uint64_t held = static_cast<uint64_t>(1.5 * 44100) / run + 1;
  w.Render(held);
  heard += 1.5 * 44100;
  EXPECT_EQ(WebHeardClockHeard(&clock, heard), 10 * run) << "stands at what was received";
  // The reports arrive all at once, oldest first, with frames read between.
  uint64_t last = before;
  auto reports = w.unread;
  w.unread.clear();
  for (const auto &r : reports) {
    WebHeardClockReceive(&clock, r[0], r[1], r[2]);
    uint64_t now = WebHeardClockHeard(&clock, heard);
    EXPECT_GE(now, last);
    EXPECT_LE(now, clock.received);
    last = now;
  }
  EXPECT_EQ(last, static_cast<uint64_t>(heard) - begin) << "exact once all are read";
  EXPECT_GT(last, 10 * run + 60000);
}

TEST(WebHeardClock, AStoppedWorkletHoldsTheHeardFrameAndAStartMovesItFromTheNewRun) {
  WebHeardClock clock;
  Worklet w;
  w.Render(4);
  w.Stop(3 * 44100);
  uint64_t restartAt = w.context;
  w.Render(2);
  w.Deliver(&clock);
  // While stopped, the context runs on and the last frame rendered is heard.
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + 4.0 * run + 10), 4 * run);
  EXPECT_EQ(WebHeardClockHeard(&clock, restartAt - 1.0), 4 * run);
  // Started again, the player goes on from its place.
  EXPECT_EQ(WebHeardClockHeard(&clock, restartAt + 300.0), 4 * run + 300);
}

TEST(WebHeardClock, ARepeatedReportIsTakenOnce) {
  WebHeardClock clock;
  EXPECT_EQ(WebHeardClockReceive(&clock, begin, 0, run), 0u);
  EXPECT_EQ(WebHeardClockReceive(&clock, begin, 0, run), run);
  EXPECT_EQ(WebHeardClockReceive(&clock, begin + 512, 512, run), 512u);
  EXPECT_EQ(clock.received, run + 512);
  EXPECT_EQ(clock.count, 2u);
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + run + 100.0), run + 100);
}

TEST(WebHeardClock, OlderThanEveryRunKeptTheHeardFrameStays) {
  WebHeardClock clock;
  Worklet w;
  w.Render(WebHeardClock::kept + 20);
  w.Deliver(&clock);
  EXPECT_EQ(WebHeardClockHeard(&clock, begin + 5.0), 0u);
  uint64_t late = WebHeardClockHeard(&clock, begin + (WebHeardClock::kept + 10.0) * run);
  EXPECT_EQ(late, (WebHeardClock::kept + 10) * run);
}

WebOutputTimes Times(double current) {
  WebOutputTimes t{};
  t.currentTime = current;
  t.performanceNow = 50000.0;
  return t;
}

TEST(WebHeardContextTime, TheOutputTimestampMovesOnByTheTimeSinceItWasTaken) {
  WebOutputTimes t = Times(10.0);
  t.stamped = true;
  t.stampContext = 9.9;
  t.stampPerformance = 49970.0; // 30 ms ago
  t.outputLatency = 0.5;        // the timestamp has it already
  EXPECT_NEAR(WebHeardContextTime(t), 9.93, 1e-9);
  // Never past the context's own clock, never behind the stamp.
  t.stampPerformance = 49000.0;
  EXPECT_NEAR(WebHeardContextTime(t), 10.0, 1e-9);
  t.stampPerformance = 51000.0;
  EXPECT_NEAR(WebHeardContextTime(t), 9.9, 1e-9);
}

TEST(WebHeardContextTime, WithoutATimestampTheClockLessItsLatenciesIsHeard) {
  WebOutputTimes t = Times(10.0);
  t.outputLatency = 0.040;
  t.baseLatency = 0.010;
  EXPECT_NEAR(WebHeardContextTime(t), 9.95, 1e-9);
  // A timestamp that has not started yet (contextTime 0) is no timestamp.
  t.stamped = true;
  t.stampPerformance = t.performanceNow;
  EXPECT_NEAR(WebHeardContextTime(t), 9.95, 1e-9);
  EXPECT_EQ(WebHeardContextTime(Times(0.01)), 0.01);
  t.currentTime = 0.02;
  EXPECT_EQ(WebHeardContextTime(t), 0.0);
}

TEST(WebHeardContextTime, OutputLatencyDelaysTheHeardFrame) {
  WebHeardClock clock;
  Worklet w;
  w.Render(50);
  w.Deliver(&clock);
  WebHeardClock later = clock;
  WebOutputTimes t = Times((begin + 40.0 * run) / 44100.0);
  uint64_t prompt = WebHeardClockHeard(&clock, WebHeardContextTime(t) * 44100.0);
  t.outputLatency = 0.1;
  uint64_t delayed = WebHeardClockHeard(&later, WebHeardContextTime(t) * 44100.0);
  EXPECT_NEAR(static_cast<double>(prompt - delayed), 4410.0, 1.0);
}

// The page's ring after the worklet's reports: samples, marks and their order.
class WebRuns : public ::testing::Test {
protected:
  void SetUp() override { PlayerReset(); }
  void TearDown() override { PlayerReset(); }

  // What the music calls hand the sink to take the reports with.
  static void Take(const float *stereo, int frames, uint32_t position) {
    PlayerRingWrite(stereo, frames, position & 0xFFFF, position >> 16);
  }

  // A run whose samples are their player frame's number, marked `order`
  // and a row per block.
  void Report(uint64_t context, uint64_t player, int frames, uint32_t order) {
    samples.assign(2 * static_cast<size_t>(frames), 0.0f);
    for (int i = 0; i < frames; ++i)
      samples[2 * i] = samples[2 * i + 1] = static_cast<float>(player + i) / 65536.0f;
    marks.clear();
    for (uint64_t b = player / renderChunk; b * renderChunk < player + frames; ++b)
      marks.push_back(order | static_cast<uint32_t>(b % 64) << 16);
    WebReceiveRun(&received, {context, player, frames, samples.data(), marks.data()}, Take);
  }

  WebReceived received;
  WebHeardClock &clock = received.clock;
  std::vector<float> samples;
  std::vector<uint32_t> marks;
};

TEST_F(WebRuns, ReportsFillTheRingWithTheirMarksAtTheirFrames) {
  Report(begin, 0, 1024, 3);
  Report(begin + 1024, 1024, 1024, 3);
  EXPECT_EQ(PlayerFramesRendered(), 2048u);
  EXPECT_EQ(PlayerPositionAt(0), 3u);
  EXPECT_EQ(PlayerPositionAt(127), 3u);
  EXPECT_EQ(PlayerPositionAt(128), 3u | 1u << 16);
  EXPECT_EQ(PlayerPositionAt(1500), 3u | (1500u / 128) << 16);
  EXPECT_EQ(PlayerPositionAt(WebHeardClockHeard(&clock, begin + 1030.0)), 3u | 8u << 16);
}

TEST_F(WebRuns, ARepeatedReportIsWrittenOnceAndAGapIsSilence) {
  Report(begin, 0, 1024, 1);
  Report(begin, 0, 1024, 1);
  EXPECT_EQ(PlayerFramesRendered(), 1024u);
  // Half of it again, and half new: only the new half is written.
  Report(begin + 512, 512, 1024, 1);
  EXPECT_EQ(PlayerFramesRendered(), 1536u);
  std::array<float, 256> magnitudes;
  PlayerSpectrumAt(1536, magnitudes.data());
  EXPECT_NEAR(magnitudes[0], (1280.0f / 65536.0f), 1e-3f) << "the frames before 1536 in order";
  Report(begin + 1536, 1536, 512, 1);
  // Frames 2048 to 3071 never came.
  Report(begin + 3072, 3072, 1024, 2);
  EXPECT_EQ(PlayerFramesRendered(), 4096u);
  EXPECT_EQ(PlayerPositionAt(2500), 1u | 15u << 16) << "the gap keeps the last position";
  EXPECT_EQ(PlayerPositionAt(3072), 2u | 24u << 16);
  // The spectrum before frame 3072 is the gap's silence.
  PlayerSpectrumAt(3072, magnitudes.data());
  for (float m : magnitudes) EXPECT_EQ(m, 0.0f);
  PlayerSpectrumAt(4096, magnitudes.data());
  EXPECT_NEAR(magnitudes[0], 3839.5f / 65536.0f, 1e-3f);
}

TEST_F(WebRuns, ARestartedSongIsHeardFromItsStartAtTheFrameItWasRendered) {
  Report(begin, 0, 1024, 5);
  // The worklet restarted the song at its frame 1024: order 0 from there.
  std::vector<float> quiet(2 * 1024, 0.0f);
  std::vector<uint32_t> fromStart(8);
  for (uint32_t b = 0; b < 8; ++b) fromStart[b] = b << 16;
  WebReceiveRun(&received, {begin + 1024, 1024, 1024, quiet.data(), fromStart.data()}, Take);
  EXPECT_EQ(PlayerPositionAt(WebHeardClockHeard(&clock, begin + 1023.0)), 5u | 7u << 16);
  EXPECT_EQ(PlayerPositionAt(WebHeardClockHeard(&clock, begin + 1024.0)), 0u);
  EXPECT_EQ(PlayerPositionAt(WebHeardClockHeard(&clock, begin + 1300.0)), 2u << 16);
}

// Vertices in the colours given, grey levels for short.
std::vector<WebVertex> InGreys(std::initializer_list<float> greys) {
  std::vector<WebVertex> vertices;
  for (float g : greys) vertices.push_back({{g, g, g, 1.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}});
  return vertices;
}

std::vector<WebDraw> Draws(GLenum mode, const std::vector<WebVertex> &vertices) {
  std::vector<WebDraw> draws{{99, 99, false}}; // whatever was there before goes
  WebImmediateDraws(mode, vertices.data(), vertices.size(), &draws);
  return draws;
}

void ExpectDraw(const WebDraw &draw, size_t first, size_t count, bool oneColour) {
  EXPECT_EQ(draw.first, first);
  EXPECT_EQ(draw.count, count);
  EXPECT_EQ(draw.oneColour, oneColour);
}

TEST(WebImmediate, QuadsOfOneColourAreOneDraw) {
  std::vector<WebDraw> draws =
      Draws(GL_QUADS, InGreys({0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f}));
  ASSERT_EQ(draws.size(), 1u);
  ExpectDraw(draws[0], 0, 8, true);
}

TEST(WebImmediate, QuadsInColoursOfTheirOwnAreADrawEach) {
  // The glow: a colour before each quad.
  std::vector<WebDraw> draws = Draws(GL_QUADS, InGreys({0.3f, 0.3f, 0.3f, 0.3f, 0.28f, 0.28f, 0.28f,
                                                        0.28f, 0.26f, 0.26f, 0.26f, 0.26f}));
  ASSERT_EQ(draws.size(), 3u);
  for (size_t i = 0; i < 3; ++i) ExpectDraw(draws[i], 4 * i, 4, true);
}

TEST(WebImmediate, APrimitiveThatChangesColourWithinKeepsAColourPerVertex) {
  std::vector<WebDraw> draws =
      Draws(GL_TRIANGLES,
            InGreys({0.5f, 0.5f, 0.5f, 0.1f, 0.2f, 0.3f, 0.4f, 0.4f, 0.5f, 0.5f, 0.5f, 0.5f}));
  ASSERT_EQ(draws.size(), 3u);
  ExpectDraw(draws[0], 0, 3, true);
  // Two triangles that each change colour go together.
  ExpectDraw(draws[1], 3, 6, false);
  ExpectDraw(draws[2], 9, 3, true);
}

TEST(WebImmediate, ConnectedPrimitivesAreNeverSplit) {
  std::vector<WebDraw> one = Draws(GL_TRIANGLE_STRIP, InGreys({0.7f, 0.7f, 0.7f, 0.7f}));
  ASSERT_EQ(one.size(), 1u);
  ExpectDraw(one[0], 0, 4, true);
  std::vector<WebDraw> changing = Draws(GL_TRIANGLE_FAN, InGreys({0.7f, 0.7f, 0.1f, 0.1f, 0.1f}));
  ASSERT_EQ(changing.size(), 1u);
  ExpectDraw(changing[0], 0, 5, false);
}

TEST(WebImmediate, AnUnfinishedPrimitiveDrawsNothing) {
  std::vector<WebDraw> draws = Draws(GL_QUADS, InGreys({0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f}));
  ASSERT_EQ(draws.size(), 1u);
  ExpectDraw(draws[0], 0, 4, true);
  EXPECT_TRUE(Draws(GL_QUADS, InGreys({0.2f, 0.2f, 0.2f})).empty());
  EXPECT_TRUE(Draws(GL_TRIANGLE_STRIP, {}).empty());
}

} // namespace
