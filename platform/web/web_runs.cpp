#include "platform/web/web_runs.h"

#include <algorithm>
#include <array>

#include "music/player_core.h"

namespace {

void WriteAt(const float *stereo, int frames, uint32_t mark) {
  PlayerRingWrite(stereo, frames, mark & 0xFFFF, mark >> 16);
}

} // namespace

void WebReceiveRun(WebHeardClock *clock, const WebRun &run) {
  if (run.frames <= 0) return;
  uint64_t frames = static_cast<uint64_t>(run.frames);
  uint64_t from = WebHeardClockReceive(clock, run.context, run.player, frames);
  if (from >= frames) return;
  static const std::array<float, 2 * renderChunk> silence{};
  uint64_t at = run.player + from;
  uint32_t last = PlayerPositionAt(PlayerFramesRendered());
  for (uint64_t ring = PlayerFramesRendered(); ring < at;) {
    int n = static_cast<int>(std::min<uint64_t>(at - ring, renderChunk));
    WriteAt(silence.data(), n, last);
    ring += static_cast<uint64_t>(n);
  }
  while (from < frames) {
    uint64_t block = from / renderChunk;
    uint64_t end = std::min(frames, (block + 1) * renderChunk);
    WriteAt(run.samples + 2 * from, static_cast<int>(end - from), run.marks[block]);
    from = end;
  }
}
