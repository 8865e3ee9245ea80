// The show on a virtual clock, one video frame at a time, for every driver that
// owns time: the capture tool, the benchmark's render loop and the page's still
// hook. Each frame sees the music exactly as it would be heard at that moment,
// and a fade's Sleep holds the picture while the clock and the music go on, as
// the live program stands still while it fades.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "platform/platform.h"

struct Stepper {
  int fps = 60;
  HDC deviceContext = nullptr; // swapped after each frame
  // The hold after a frame renders no music past this position, and a held
  // picture stands for no video frame that starts at or after it.
  int64_t soundEnd = std::numeric_limits<int64_t>::max();
  // Receives the music in order as it is rendered: `frames` stereo frames from
  // audio position `at`. False stops the steps (StepFrame fails).
  std::function<bool(const float *stereo, int frames, int64_t at)> sound;

  int64_t videoFrame = 0;    // the next video frame to show
  int64_t audioRendered = 0; // how far the player has rendered
  std::vector<float> block = std::vector<float>(2 * 4096);
};

// The video frames one picture stands for: `first` up to, not including, `end`.
// More than one where the frame slept (a fade).
struct StepShown {
  int64_t first = 0;
  int64_t end = 0;
};

// The audio position at which video frame `videoFrame` is shown.
int64_t AudioPositionOfVideoFrame(int64_t videoFrame, int fps);

// Renders the player up to audio position `until` (nothing when it is there
// already), handing the blocks to the stepper's sound; false when that refused.
bool StepperRenderTo(Stepper *stepper, int64_t until);

// Shows video frame stepper->videoFrame: sets the virtual clock to its moment,
// renders the music up to it and makes that the heard position, runs one frame
// of the scene and swaps; then renders the music through the time the picture
// stands and moves stepper->videoFrame past it. False when the sound refused.
bool StepFrame(Stepper *stepper, StepShown *shown);

// Whether the picture is still on screen at audio position `moment`, or was
// gone before: the first picture for which this holds is the one shown then.
bool StepReaches(const Stepper *stepper, const StepShown &shown, int64_t moment);
