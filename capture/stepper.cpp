#include "capture/stepper.h"

#include <algorithm>

#include "app/probe.h"
#include "app/scene.h"
#include "music/player_core.h"
#include "platform/virtual_clock.h"

int64_t AudioPositionOfVideoFrame(int64_t videoFrame, int fps) {
  return videoFrame * audioRate / fps;
}

bool StepperRenderTo(Stepper *s, int64_t until) {
  const int blockFrames = static_cast<int>(s->block.size() / 2);
  while (s->audioRendered < until) {
    int n = static_cast<int>(std::min<int64_t>(until - s->audioRendered, blockFrames));
    PlayerRender(s->block.data(), n);
    const int64_t at = s->audioRendered;
    s->audioRendered += n;
    if (s->sound && !s->sound(s->block.data(), n, at)) return false;
  }
  return true;
}

bool StepFrame(Stepper *s, StepShown *shown) {
  const int fps = s->fps;
  const int64_t shownAt = AudioPositionOfVideoFrame(s->videoFrame, fps);
  VirtualClockSet(shownAt);
  if (!StepperRenderTo(s, shownAt)) return false;
  VirtualClockSetHeard(static_cast<uint64_t>(shownAt));
  // Which frame the timeline's lines belong to.
  ProbeLine("frame %lld", static_cast<long long>(s->videoFrame));
  SceneFrame(1.0 / fps);
  SwapBuffers(s->deviceContext);
  // The clock has moved on only if the frame slept: then the picture stands
  // until the clock, so a video frame repeats it where the live screen would.
  const int64_t heldUntil = std::min(
      std::max(VirtualClockNow(), AudioPositionOfVideoFrame(s->videoFrame + 1, fps)), s->soundEnd);
  if (!StepperRenderTo(s, heldUntil)) return false;
  shown->first = s->videoFrame;
  do {
    ++s->videoFrame;
  } while (AudioPositionOfVideoFrame(s->videoFrame, fps) < heldUntil);
  shown->end = s->videoFrame;
  return true;
}

bool StepReaches(const Stepper *s, const StepShown &shown, int64_t moment) {
  return AudioPositionOfVideoFrame(shown.end, s->fps) > moment;
}
