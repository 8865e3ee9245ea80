// The page's test hook (index.html?at=SECONDS&fps=N): the show drawn frame by
// frame on the browser back end's virtual clock, with the music rendered in
// step with the frames and never played, up to the frame shown at SECONDS,
// which stays on the canvas. The same steps as the capture tool's --still, so
// the same frame.
#include <emscripten.h>

#include <cstdio>

#include "app/main.h"
#include "app/scene.h"
#include "app/window.h"
#include "capture/stepper.h"
#include "music/music.h"
#include "music/player_core.h"
#include "platform/web/web_backend.h"

namespace {

int Fail(const char *why) {
  std::fprintf(stderr, "velmor: no still: %s\n", why);
  return 1;
}

} // namespace

// 0 once the frame shown at `at` seconds is on the canvas; 1, with a line on
// standard error, when there is none.
extern "C" EMSCRIPTEN_KEEPALIVE int velmor_still(double at, int fps) {
  if (!(at >= 0) || fps < 1 || fps > 240) return Fail("wants 0 seconds or more at 1 to 240 fps");
  VirtualClockSetRate(audioRate);
  WebSetVirtualTime(true);
  WebPreserveDrawing(true);
  static AppInfo app{GetModuleHandleA(nullptr), "OpenGL"};
  static KeyTable keys{};
  static AppWindow window{};
  FillAppRecords(&app, &window, &keys, 0);
  if (!RegisterWindowClass(&app) || !CreateAppWindow(&window)) return Fail("no WebGL");
  keepRunning = 1;
  if (!InitScene(&window, &keys)) return Fail("the scene could not be initialised");
  if (MusicHandle == 0) return Fail("without torva_velmor2.it the frames have no timing");

  const int64_t moment = static_cast<int64_t>(at * audioRate);
  Stepper stepper;
  stepper.fps = fps;
  stepper.deviceContext = window.deviceContext;
  StepShown shown;
  while (keepRunning) {
    StepFrame(&stepper, &shown);
    if (StepReaches(&stepper, shown, moment)) return 0;
  }
  return Fail("the show ends before that moment");
}
