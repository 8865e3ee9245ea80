#include "platform/web/web_runs.h"

#include <algorithm>
#include <array>

void WebReceiveRun(WebReceived *received, const WebRun &run, WebTake take) {
  if (run.frames <= 0) return;
  uint64_t frames = static_cast<uint64_t>(run.frames);
  // Everything received so far was taken, gaps included.
  uint64_t taken = received->clock.received;
  uint64_t from = WebHeardClockReceive(&received->clock, run.context, run.player, frames);
  if (from >= frames) return;
  static const std::array<float, 2 * webRunBlockFrames> silence{};
  uint64_t at = run.player + from;
  while (taken < at) {
    int n = static_cast<int>(std::min<uint64_t>(at - taken, webRunBlockFrames));
    take(silence.data(), n, received->lastPosition);
    taken += static_cast<uint64_t>(n);
  }
  while (from < frames) {
    uint64_t block = from / webRunBlockFrames;
    uint64_t end = std::min(frames, (block + 1) * webRunBlockFrames);
    received->lastPosition = run.marks[block];
    take(run.samples + 2 * from, static_cast<int>(end - from), received->lastPosition);
    from = end;
  }
}
