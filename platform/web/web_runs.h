// The runs the audio worklet reports, written into this program's ring so
// that the position and the spectrum are read at the heard frame as on every
// other platform, and given to the heard clock. Only this program's player
// core here, no browser calls, so that the native tests can check it.
#pragma once

#include <cstdint>

#include "platform/web/web_heard_clock.h"

struct WebRun {
  uint64_t context; // context frame at which its first frame was rendered
  uint64_t player;  // the worklet player's frame that opens it
  int frames;
  const float *samples;  // interleaved stereo
  const uint32_t *marks; // order | row << 16 of each block of renderChunk frames
};

// Writes what the ring does not hold yet: a repeated report's frames are
// written once, and frames that never came (reports are not lost, but should
// one be) are silence at the position heard last.
void WebReceiveRun(WebHeardClock *clock, const WebRun &run);
