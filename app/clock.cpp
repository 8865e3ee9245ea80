#include "app/clock.h"

#include <cstring>

#include "platform/platform.h"

FrameClock frameClock;

void StartFrameClock() {
  std::memset(&frameClock, 0, sizeof frameClock);
  LARGE_INTEGER frequency{};
  if (QueryPerformanceFrequency(&frequency)) {
    frameClock.frequency = frequency.QuadPart;
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    frameClock.counterStart = start.QuadPart;
    frameClock.hasCounter = 1;
    frameClock.resolution = static_cast<float>(1.0 / static_cast<double>(frameClock.frequency));
  } else {
    frameClock.hasCounter = 0;
    frameClock.timerStart = timeGetTime();
    frameClock.resolution = 0.001f;
    frameClock.frequency = 1000;
  }
}

double ReadFrameClock() {
  int64_t elapsed;
  if (frameClock.hasCounter) {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    elapsed = now.QuadPart - frameClock.counterStart;
  } else {
    // Unsigned 32-bit difference: right across the timer's wrap at 2^32 ms.
    elapsed = static_cast<int64_t>(static_cast<uint32_t>(timeGetTime() - frameClock.timerStart));
  }
  return static_cast<double>(elapsed) * frameClock.resolution * 1000.0f;
}
