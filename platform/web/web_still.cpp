// The page's test hook (index.html?at=SECONDS&fps=N): the show drawn frame by
// frame on a virtual clock, with the music rendered in step with the frames
// and never played, up to the frame shown at SECONDS, which stays on the
// canvas. The same frames as the capture tool's --still: every frame from the
// first, each one 1/fps after the last, a fade's Sleep holding the picture
// while the clock moves on.
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/main.h"
#include "app/scene.h"
#include "app/window.h"
#include "music/music.h"
#include "music/player_core.h"
#include "platform/web/web_backend.h"

namespace {

// The audio position (frames since the show began) at which video frame
// `videoFrame` is shown.
int64_t AudioPositionOfVideoFrame(int64_t videoFrame, int fps) {
  return videoFrame * audioRate / fps;
}

int Fail(const char *why) {
  std::fprintf(stderr, "velmor: no still: %s\n", why);
  return 1;
}

} // namespace

// 0 once the frame shown at `at` seconds is on the canvas; 1, with a line on
// standard error, when there is none.
extern "C" EMSCRIPTEN_KEEPALIVE int velmor_still(double at, int fps) {
  if (!(at >= 0) || fps < 1 || fps > 240) return Fail("wants 0 seconds or more at 1 to 240 fps");
  WebSetVirtualTime(true, audioRate);
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
  std::vector<float> block(2 * 4096);
  int64_t audioRendered = 0;
  auto renderTo = [&](int64_t until) {
    while (audioRendered < until) {
      int n = static_cast<int>(std::min<int64_t>(until - audioRendered, 4096));
      PlayerRender(block.data(), n);
      audioRendered += n;
    }
  };

  int64_t videoFrame = 0;
  while (keepRunning) {
    int64_t shownAt = AudioPositionOfVideoFrame(videoFrame, fps);
    WebSetVirtualNow(shownAt);
    renderTo(shownAt);
    WebSinkSetHeard(static_cast<uint64_t>(shownAt));
    SceneFrame(1.0 / fps);
    // A fade blocks the live program: the picture stands still while the
    // music fades, so the frame stays shown until the clock has caught up.
    int64_t heldUntil = std::max(WebVirtualNow(), AudioPositionOfVideoFrame(videoFrame + 1, fps));
    renderTo(heldUntil);
    bool taken = false;
    do {
      if (AudioPositionOfVideoFrame(videoFrame + 1, fps) > moment) taken = true;
      ++videoFrame;
    } while (!taken && AudioPositionOfVideoFrame(videoFrame, fps) < heldUntil);
    SwapBuffers(window.deviceContext);
    if (taken) return 0;
  }
  return Fail("the show ends before that moment");
}
