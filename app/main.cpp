#include "app/main.h"

#include "app/clock.h"
#include "app/scene.h"

int32_t keepRunning = 0;
int32_t fullScreenRequest = 0;
double lastClockMs = 0.0;
double frameDelta = 0.0;
int32_t exitStatus = 0;

namespace {

constexpr UINT errorBoxStyle = MB_OK | MB_ICONEXCLAMATION;

// Pumps the window's messages and draws a frame whenever the queue is empty
// and the window can be seen; returns when WM_QUIT reaches the window.
void RunInnerLoop(AppWindow *window) {
  MSG msg{};
  for (;;) {
    if (PeekMessageA(&msg, window->windowHandle, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return;
      DispatchMessageA(&msg);
    } else if (!window->visible) {
      WaitMessage();
    } else {
      RunFrameStep(window);
    }
  }
}

} // namespace

void RunFrameStep(AppWindow *window) {
  double now = ReadFrameClock();
  frameDelta = (now - lastClockMs) * 0.001;
  // A second, separate reading: the moment between the two belongs to no frame.
  lastClockMs = ReadFrameClock();
  SceneFrame(frameDelta);
  MarkKeysSeen(window);
  SwapBuffers(window->deviceContext);
}

int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  static AppInfo app;
  static AppWindow window;
  static KeyTable keys;

  app.instance = instance;
  FillAppRecords(&app, &window, &keys, 1);

  if (!RegisterWindowClass(&app)) {
    MessageBoxA(HWND_DESKTOP, "Error Registering Window Class!", "Error", errorBoxStyle);
    return -1;
  }
  keepRunning = 1;
  fullScreenRequest = window.fullScreen;

  do {
    window.fullScreen = fullScreenRequest;
    if (!CreateAppWindow(&window)) {
      MessageBoxA(HWND_DESKTOP, "Error Creating OpenGL Window", "Error", errorBoxStyle);
      // A shell or session manager must not read "it played" from this.
      exitStatus = 1;
      keepRunning = 0;
      break;
    }
    // The clock restarted with the window; the previous reading restarts with
    // it, so the first delta of a re-created window is never negative.
    lastClockMs = 0.0;
    if (InitScene(&window, &keys)) {
      RunInnerLoop(&window);
    } else {
      // The scene has said on standard error what it could not load.
      exitStatus = 1;
      RequestQuit(&window);
    }
    DestroyAppWindow(&window);
  } while (keepRunning);

  UnregisterClassA(app.className, app.instance);
  return exitStatus;
}
