// The frame clock: milliseconds since the current window was created, from the
// performance counter, or from the millisecond timer where there is none.
#pragma once

#include <cstdint>

struct FrameClock {
  int64_t frequency;    // counts per second (1000 for the millisecond timer)
  float resolution;     // seconds per count, rounded to single precision
  uint32_t timerStart;  // millisecond timer at start, when !hasCounter
  uint8_t hasCounter;   // 1: performance counter, 0: millisecond timer
  int64_t counterStart; // performance counter at start, when hasCounter
};

extern FrameClock frameClock;

void StartFrameClock();
double ReadFrameClock();
