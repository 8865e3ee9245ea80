// Which rendered frame is being heard, from when the page's audio node asks
// for its buffers. The node plays in slots of one buffer each, back to back on
// the audio thread's clock: at the end of each slot it asks the page to refill
// the buffer it has just played, and plays the other one meanwhile. So the
// buffer filled for request e is played in slot e + 2, provided the request is
// served before that slot begins; otherwise the slot repeats old sound (an
// underrun) and what was rendered for it is mostly never heard. The browser
// numbers neither requests nor slots; the slots' start is worked out from the
// requests that came soonest. What the context plays reaches the ear after its
// base and output latencies. No browser calls here, so that the native tests
// can check the arithmetic.
#pragma once

#include <cstdint>

struct WebAudioClock {
  static constexpr int kept = 16; // recent requests: more than any latency spans
  struct Buffer {
    uint64_t first; // the player's frame that opens the buffer
    int frames;     // frames rendered into it (0: the output was stopped)
  };
  Buffer buffers[kept];
  uint64_t requests = 0; // served since the node was made
  int rate = 44100;
  int bufferFrames = 2048;
  double firstSlot = 0.0; // context time at which slot 0 began (estimated)
  double latency = 0.0;   // seconds from the context's clock to the ear
  uint64_t underruns = 0; // requests served too late for their slot
  uint64_t lastHeard = 0;
};

// Request number clock->requests, served at context time `now` with `frames`
// frames from the player's frame `first` on (frames 0 while stopped: silence,
// and no underrun when it comes late).
void WebAudioClockBuffer(WebAudioClock *clock, uint64_t first, int frames, double now);

// The frame heard at context time `now`: never ahead of what was rendered,
// never going back; it stands still while old sound is repeated.
uint64_t WebAudioClockHeard(WebAudioClock *clock, double now);
