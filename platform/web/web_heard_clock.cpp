#include "platform/web/web_heard_clock.h"

#include <algorithm>
#include <cmath>

uint64_t WebHeardClockReceive(WebHeardClock *clock, uint64_t context, uint64_t player,
                              uint64_t frames) {
  uint64_t end = player + frames;
  if (end <= clock->received) return frames;
  uint64_t repeated = player < clock->received ? clock->received - player : 0;
  clock->runs[clock->count % WebHeardClock::kept] = {context + repeated, player + repeated,
                                                     frames - repeated};
  ++clock->count;
  clock->received = end;
  return repeated;
}

uint64_t WebHeardClockHeard(WebHeardClock *clock, double heard) {
  uint64_t oldest = clock->count > WebHeardClock::kept ? clock->count - WebHeardClock::kept : 0;
  for (uint64_t i = clock->count; i > oldest; --i) {
    const WebHeardClock::Run &run = clock->runs[(i - 1) % WebHeardClock::kept];
    if (static_cast<double>(run.context) > heard) continue;
    double into = std::floor(heard - static_cast<double>(run.context));
    uint64_t at = run.player + std::min(run.frames, static_cast<uint64_t>(into));
    clock->lastHeard = std::max(clock->lastHeard, std::min(at, clock->received));
    break;
  }
  return clock->lastHeard;
}

double WebHeardContextTime(const WebOutputTimes &times) {
  double at;
  if (times.stamped && times.stampContext > 0) {
    double since = std::max(0.0, times.performanceNow - times.stampPerformance) / 1000.0;
    at = std::min(times.stampContext + since, times.currentTime);
    at = std::max(at, times.stampContext);
  } else {
    at = times.currentTime - times.outputLatency - times.baseLatency;
  }
  return std::max(0.0, at);
}
