// Which of the page's received frames is being heard. The audio worklet
// renders the music in blocks on the audio thread and reports each run of
// them: the context frame at which it was rendered (the worklet's
// currentFrame), the player frame it starts with and its length. The context
// frame being heard comes from the AudioContext's output timestamp; the runs
// map it to the player's frame. No browser calls here, so that the native
// tests can check the arithmetic.
#pragma once

#include <cstdint>

struct WebHeardClock {
  // Runs kept: at most 1024 frames each, so ~6 s, more than any hold of the
  // page's thread leaves unread before the newest arrive.
  static constexpr int kept = 256;
  struct Run {
    uint64_t context; // context frame at which its first frame was rendered
    uint64_t player;  // the player's frame that opens it
    uint64_t frames;
  };
  Run runs[kept];
  uint64_t count = 0;    // runs received
  uint64_t received = 0; // player frames received: the end of the newest run
  uint64_t lastHeard = 0;
};

// A run reported by the worklet. Returns how many of its leading frames were
// received before (a repeated report), which the caller must not write again;
// a run that begins past what was received leaves a gap the caller fills with
// silence (the returned count is then 0 and `received` tells the gap).
uint64_t WebHeardClockReceive(WebHeardClock *clock, uint64_t context, uint64_t player,
                              uint64_t frames);

// The player's frame heard at context frame `heard`: never ahead of what was
// received, never going back; it stands still where nothing was rendered (the
// worklet stopped, or its reports not yet read).
uint64_t WebHeardClockHeard(WebHeardClock *clock, double heard);

// What the AudioContext says of its output, read together on the page.
struct WebOutputTimes {
  bool stamped;            // getOutputTimestamp gave a time
  double stampContext;     // its contextTime, seconds
  double stampPerformance; // its performanceTime, milliseconds
  double performanceNow;   // performance.now() when read, milliseconds
  double currentTime;      // the context's currentTime, seconds
  double outputLatency;    // seconds; read only where there is no timestamp, else 0
  double baseLatency;
};

// The context time, in seconds, of the sound reaching the output now: the
// output timestamp moved on by the time since it was taken (never past the
// context's own clock), or, where the browser gives no timestamp yet, the
// context's clock less its latencies. Never below 0.
double WebHeardContextTime(const WebOutputTimes &times);
