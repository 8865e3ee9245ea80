// The runs the audio worklet reports, handed to the sink's source so that
// the position and the spectrum are read at the heard frame as on every
// other platform, and given to the heard clock. No browser calls here, so
// that the native tests can check it.
#pragma once

#include <cstdint>

#include "platform/web/web_heard_clock.h"

// The worklet marks each block of this many frames of a run with the
// module's position (velmor_processor.js's blockFrames).
constexpr int webRunBlockFrames = 128;

// What the page has taken from the reports so far.
struct WebReceived {
  WebHeardClock clock;
  uint32_t lastPosition = 0; // order | row << 16 of the newest frames taken
};

// Where the frames of the runs go: the sink's source's take.
using WebTake = void (*)(const float *stereo, int frames, uint32_t position);

struct WebRun {
  uint64_t context; // context frame at which its first frame was rendered
  uint64_t player;  // the worklet player's frame that opens it
  int frames;
  const float *samples;  // interleaved stereo
  const uint32_t *marks; // order | row << 16 of each block of webRunBlockFrames
};

// Takes what was not taken yet: a repeated report's frames are taken once,
// and frames that never came (reports are not lost, but should one be) are
// silence at the position taken last.
void WebReceiveRun(WebReceived *received, const WebRun &run, WebTake take);
