// Time for the live back end: the monotonic clock, so that a change of the
// wall clock never shows up as a frame of negative or huge length.
#include <SDL2/SDL.h>

#include <GL/gl.h>
#include <cerrno>
#include <ctime>

#include "platform/platform.h"

namespace {

int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

} // namespace

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency) {
  if (frequency == nullptr) return FALSE;
  frequency->QuadPart = 1000000000;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER *count) {
  if (count == nullptr) return FALSE;
  count->QuadPart = MonotonicNanoseconds();
  return TRUE;
}

DWORD timeGetTime() { return static_cast<DWORD>(MonotonicNanoseconds() / 1000000); }

void Sleep(DWORD milliseconds) {
  // A GPU draws what it was given while the program waits; the software
  // renderer starts only when asked to, so ask it now rather than at the
  // next swap, which would then come late by a whole frame's drawing.
  if (SDL_GL_GetCurrentContext() != nullptr) glFlush();
  // An absolute deadline, so that signals arriving during the wait (the
  // desktop's toggle and close requests) do not shorten or stretch it.
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (deadline.tv_nsec >= 1000000000) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}
