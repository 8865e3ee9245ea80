#include "platform/web/web_audio_clock.h"

#include <algorithm>
#include <cmath>

namespace {

double SlotSeconds(const WebAudioClock *clock) {
  return static_cast<double>(clock->bufferFrames) / clock->rate;
}

// The context's clock moves in blocks of 128 frames.
double Tolerance(const WebAudioClock *clock) { return 128.0 / clock->rate; }

} // namespace

void WebAudioClockBuffer(WebAudioClock *clock, uint64_t first, int frames, double now) {
  const double slot = SlotSeconds(clock);
  const uint64_t request = clock->requests;
  // Request e is made at the end of slot e, never later than it is served.
  double earliest = now - static_cast<double>(request + 1) * slot;
  clock->firstSlot = request == 0 ? earliest : std::min(clock->firstSlot, earliest);
  double due = clock->firstSlot + static_cast<double>(request + 2) * slot;
  if (frames > 0 && now > due + Tolerance(clock)) ++clock->underruns;
  clock->buffers[request % WebAudioClock::kept] = {first, frames};
  ++clock->requests;
}

uint64_t WebAudioClockHeard(WebAudioClock *clock, double now) {
  if (clock->requests == 0) return clock->lastHeard;
  const double slot = SlotSeconds(clock);
  double heardAt = now - clock->latency;
  double slots = std::floor((heardAt - clock->firstSlot) / slot);
  // Slots 0 and 1 play the node's first, silent buffers; slot s plays the
  // buffer of request s - 2.
  if (slots < 2) return clock->lastHeard = std::max(clock->lastHeard, clock->buffers[0].first);
  uint64_t request = static_cast<uint64_t>(slots) - 2;
  uint64_t oldest =
      clock->requests > WebAudioClock::kept ? clock->requests - WebAudioClock::kept : 0;
  if (request >= clock->requests || request < oldest) return clock->lastHeard;
  const WebAudioClock::Buffer &b = clock->buffers[request % WebAudioClock::kept];
  double into = std::floor((heardAt - (clock->firstSlot + slots * slot)) * clock->rate);
  uint64_t heard =
      b.first + static_cast<uint64_t>(std::clamp(into, 0.0, static_cast<double>(b.frames)));
  clock->lastHeard = std::max(clock->lastHeard, heard);
  return clock->lastHeard;
}
