// The parts of the browser back end that need no browser: the key table, the
// arithmetic that says which rendered frame is being heard, and the batches
// that immediate mode is drawn in.
#include <gtest/gtest.h>

#include <vector>

#include "platform/web/web_audio_clock.h"
#include "platform/web/web_immediate.h"
#include "platform/web/web_keys.h"

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

TEST(WebKeys, KeysBecomeKeyMessagesWithTheDesktopsFlags) {
  WebKeyMessage down = WebTranslateKey("Escape", true, false, false);
  EXPECT_EQ(down.message, WM_KEYDOWN);
  EXPECT_EQ(down.vk, VK_ESCAPE);
  EXPECT_EQ(down.lParam & (LPARAM{1} << 30), 0);

  WebKeyMessage repeat = WebTranslateKey("Escape", true, false, true);
  EXPECT_EQ(repeat.message, WM_KEYDOWN);
  EXPECT_NE(repeat.lParam & (LPARAM{1} << 30), 0);

  WebKeyMessage up = WebTranslateKey("Escape", false, false, false);
  EXPECT_EQ(up.message, WM_KEYUP);
  EXPECT_NE(up.lParam & (LPARAM{1} << 30), 0);
  EXPECT_NE(up.lParam & (LPARAM{1} << 31), 0);

  EXPECT_EQ(WebTranslateKey("Unidentified", true, false, false).message, 0u);
}

TEST(WebKeys, AltAndF10AreSystemKeysSoAltF4Closes) {
  WebKeyMessage altF4 = WebTranslateKey("F4", true, true, false);
  EXPECT_EQ(altF4.message, WM_SYSKEYDOWN);
  EXPECT_EQ(altF4.vk, VK_F4);
  // The context bit that DefWindowProcA reads to turn Alt+F4 into a close.
  EXPECT_NE(altF4.lParam & (LPARAM{1} << 29), 0);
  EXPECT_EQ(WebTranslateKey("AltLeft", true, true, false).message, WM_SYSKEYDOWN);
  EXPECT_EQ(WebTranslateKey("F10", true, false, false).message, WM_SYSKEYDOWN);
  EXPECT_EQ(WebTranslateKey("F10", false, false, false).message, WM_SYSKEYUP);
  EXPECT_EQ(WebTranslateKey("F4", true, false, false).message, WM_KEYDOWN);
}

constexpr int rate = 44100;
constexpr int frames = 2048;
constexpr double slot = static_cast<double>(frames) / rate;
constexpr double start = 1.0; // context time at which slot 0 begins

WebAudioClock NewClock(double latency = 0.0) {
  WebAudioClock clock;
  clock.rate = rate;
  clock.bufferFrames = frames;
  clock.latency = latency;
  return clock;
}

// Request e is made at the end of slot e and served `delay` seconds later
// with `filled` frames, which follow on from what the player rendered before.
void Serve(WebAudioClock *clock, int count, double delay, int filled = frames) {
  for (int i = 0; i < count; ++i) {
    uint64_t e = clock->requests;
    uint64_t first = 0;
    if (e > 0) {
      const WebAudioClock::Buffer &last = clock->buffers[(e - 1) % WebAudioClock::kept];
      first = last.first + static_cast<uint64_t>(last.frames);
    }
    WebAudioClockBuffer(clock, first, filled, start + static_cast<double>(e + 1) * slot + delay);
  }
}

// A moment 445.41 frames into slot s.
double IntoSlot(uint64_t s) { return start + static_cast<double>(s) * slot + 0.0101; }

TEST(WebAudioClock, NothingIsHeardBeforeTheFirstBufferPlays) {
  WebAudioClock clock = NewClock();
  EXPECT_EQ(WebAudioClockHeard(&clock, 10.0), 0u);
  Serve(&clock, 3, 0.0);
  // Slots 0 and 1 play the node's own silent buffers.
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(1)), 0u);
}

TEST(WebAudioClock, EachBufferIsHeardTwoSlotsAfterItWasAskedFor) {
  WebAudioClock clock = NewClock();
  Serve(&clock, 6, 0.0);
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(2)), 445u);
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(5)), uint64_t{3 * frames + 445});
}

TEST(WebAudioClock, TheContextsLatencyDelaysWhatIsHeard) {
  double latency = 1024.0 / rate;
  WebAudioClock clock = NewClock(latency);
  Serve(&clock, 6, 0.0);
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(4)), uint64_t{frames + 445 + 1024});
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(5) + latency), uint64_t{3 * frames + 445});
}

TEST(WebAudioClock, TheSlotsAreTimedByTheSoonestRequest) {
  WebAudioClock clock = NewClock();
  // A busy start: the first requests are served 30 ms late, then one at once.
  Serve(&clock, 4, 0.030);
  Serve(&clock, 2, 0.0);
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(6)), uint64_t{4 * frames + 445});
}

TEST(WebAudioClock, ARequestServedAfterItsSlotBeganIsAnUnderrun) {
  WebAudioClock clock = NewClock();
  Serve(&clock, 10, 0.0);
  EXPECT_EQ(clock.underruns, 0u);
  // Served within one slot of the request: in time.
  Serve(&clock, 1, slot - 0.005);
  EXPECT_EQ(clock.underruns, 0u);
  // The main thread was held up for longer than a slot.
  Serve(&clock, 1, slot + 0.010);
  EXPECT_EQ(clock.underruns, 1u);
  Serve(&clock, 3, 0.0);
  EXPECT_EQ(clock.underruns, 1u);
}

TEST(WebAudioClock, WhileOldSoundRepeatsTheHeardFrameStandsStill) {
  WebAudioClock clock = NewClock();
  Serve(&clock, 4, 0.0);
  uint64_t heard = WebAudioClockHeard(&clock, IntoSlot(5));
  EXPECT_EQ(heard, uint64_t{3 * frames + 445});
  // Slot 6 wants request 4, which has not been served.
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(6)), heard);
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(7)), heard);
}

TEST(WebAudioClock, StoppedOutputIsSilenceNotAnUnderrunAndTheHeardFrameWaits) {
  WebAudioClock clock = NewClock();
  Serve(&clock, 4, 0.0);
  // Stopped: the requests go on, served late or not, with nothing rendered.
  Serve(&clock, 4, slot + 0.010, 0);
  EXPECT_EQ(clock.underruns, 0u);
  uint64_t end = 4 * frames;
  for (uint64_t s = 6; s < 10; ++s) EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(s)), end) << s;
}

TEST(WebAudioClock, HeardFrameNeverGoesBack) {
  WebAudioClock clock = NewClock();
  Serve(&clock, 8, 0.0);
  uint64_t later = WebAudioClockHeard(&clock, IntoSlot(7));
  EXPECT_EQ(WebAudioClockHeard(&clock, IntoSlot(3)), later);
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
