// The browser back end's window, events, display mode, pointer and message
// boxes. The window is the page's 800x600 canvas; the page scales it and
// takes it to full screen without the program knowing, so the display mode is
// always the canvas's own size. Keys and the page being hidden or shown are
// collected as they happen and become window messages when the shell pumps.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <string>
#include <vector>

#include "platform/core/backend.h"
#include "platform/core/keys.h"
#include "platform/web/web_backend.h"
#include "platform/web/web_keys.h"

namespace {

struct NativeEvent {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

bool displayOpen = false;
PlatformWindow *currentWindow = nullptr;
std::vector<NativeEvent> pending;
int cursorCount = 0;

EM_JS(int, web_has_canvas, (), { return Module.canvas ? 1 : 0; });

// The canvas's own size in pixels, which the page never changes: the
// display's size.
EM_JS(void, web_canvas_size, (DWORD * width, DWORD *height), {
  HEAPU32[width >> 2] = Module.canvas ? Module.canvas.width : 0;
  HEAPU32[height >> 2] = Module.canvas ? Module.canvas.height : 0;
});

// WaitMessage's wait: a promise the next event resolves.
EM_ASYNC_JS(void, web_await_event, (),
            { await new Promise(function(resolve) { Module.velmorWake = resolve; }); });
EM_JS(void, web_wake, (), {
  var wake = Module.velmorWake;
  Module.velmorWake = null;
  if (wake) wake();
});

// Whether the viewer pressed Escape between the page's click and this
// window: the page keeps it, as nothing here was listening yet.
EM_JS(int, web_take_early_escape, (),
      { return Module.velmorTakeEarlyEscape && Module.velmorTakeEarlyEscape() ? 1 : 0; });

EM_JS(void, web_set_cursor_hidden, (int hidden), {
  if (Module.canvas) Module.canvas.style.cursor = hidden ? "none" : "";
});

EM_JS(void, web_show_message, (const char *caption, const char *text), {
  var c = UTF8ToString(caption);
  var t = UTF8ToString(text);
  console.error(c + ': ' + t.split(String.fromCharCode(10)).join(' '));
  if (Module.velmorMessage) Module.velmorMessage(c, t);
});

void Queue(UINT message, WPARAM wParam, LPARAM lParam) {
  if (currentWindow == nullptr) return;
  pending.push_back({message, wParam, lParam});
  web_wake();
}

// Keys the browser would otherwise act on while the show has the page: the
// page must not scroll under it. Function keys and the browser's shortcuts
// keep their meaning.
bool KeepFromBrowser(WPARAM vk) {
  return vk == VK_SPACE || (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_BACK;
}

EM_BOOL OnKey(int eventType, const EmscriptenKeyboardEvent *event, void *) {
  bool down = eventType == EMSCRIPTEN_EVENT_KEYDOWN;
  KeyMessage key = PlatformKeyMessage(WebVirtualKey(event->code), down, event->altKey != 0,
                                      event->repeat != 0, 0);
  if (key.message == 0) return EM_FALSE;
  Queue(key.message, key.vk, key.lParam);
  return KeepFromBrowser(key.vk) ? EM_TRUE : EM_FALSE;
}

void QueueVisibility(bool hidden) {
  if (currentWindow == nullptr) return;
  LPARAM size =
      MAKELPARAM(static_cast<WORD>(currentWindow->width), static_cast<WORD>(currentWindow->height));
  Queue(WM_SIZE, hidden ? SIZE_MINIMIZED : SIZE_RESTORED, size);
}

EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent *event, void *) {
  QueueVisibility(event->hidden != 0);
  return EM_FALSE;
}

void Listen(bool on) {
  const char *target = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_keydown_callback(target, nullptr, EM_TRUE, on ? OnKey : nullptr);
  emscripten_set_keyup_callback(target, nullptr, EM_TRUE, on ? OnKey : nullptr);
  emscripten_set_visibilitychange_callback(nullptr, EM_TRUE, on ? OnVisibility : nullptr);
}

} // namespace

int BackendCallHook(const char *) { return 0; }

int BackendOpenDisplay() {
  if (!web_has_canvas()) {
    emscripten_log(EM_LOG_ERROR, "velmor: the page has no canvas to draw on");
    return 0;
  }
  Listen(true);
  displayOpen = true;
  cursorCount = 0;
  return 1;
}

void BackendCloseDisplay() {
  if (!displayOpen) return;
  Listen(false);
  displayOpen = false;
  web_set_cursor_hidden(0);
}

int BackendCreateWindow(PlatformWindow *window, LPCSTR, int, int) {
  // One canvas: a second window at the same time has nowhere to go.
  if (!displayOpen || currentWindow != nullptr) return 0;
  currentWindow = window;
  pending.clear();
  // The browser tells of hiding only as it happens: a page hidden while the
  // program was still starting would otherwise draw on unseen (seen in WebKit).
  EmscriptenVisibilityChangeEvent status;
  if (emscripten_get_visibility_status(&status) == EMSCRIPTEN_RESULT_SUCCESS && status.hidden)
    QueueVisibility(true);
  if (web_take_early_escape()) {
    for (bool down : {true, false}) {
      KeyMessage key = PlatformKeyMessage(VK_ESCAPE, down, false, false, 0);
      Queue(key.message, key.vk, key.lParam);
    }
  }
  return 1;
}

void BackendDestroyWindow(PlatformWindow *window) {
  if (currentWindow != window) return;
  currentWindow = nullptr;
  // Keys and visibility changes of the destroyed window must not reach its
  // successor.
  pending.clear();
}

// The page shows the canvas; a hidden page is reported by the browser.
void BackendShowWindow(PlatformWindow *, int) {}

void BackendPumpEvents(int wait) {
  while (wait && pending.empty() && currentWindow != nullptr) web_await_event();
  std::vector<NativeEvent> events;
  events.swap(pending);
  HWND handle = currentWindow != nullptr ? PlatformHandleOf(currentWindow) : nullptr;
  if (handle == nullptr) return;
  for (const NativeEvent &e : events) PostMessageA(handle, e.message, e.wParam, e.lParam);
}

// The canvas is the display, always at its own size: a switch to that size
// succeeds and changes nothing, any other size is not offered.
LONG BackendSwitchDisplayMode(const DEVMODEA *mode) {
  if (!displayOpen) return DISP_CHANGE_FAILED;
  DWORD width = 0;
  DWORD height = 0;
  web_canvas_size(&width, &height);
  bool bitsOk =
      (mode->dmFields & DM_BITSPERPEL) == 0 || mode->dmBitsPerPel == 32 || mode->dmBitsPerPel == 24;
  bool widthOk = (mode->dmFields & DM_PELSWIDTH) == 0 || mode->dmPelsWidth == width;
  bool heightOk = (mode->dmFields & DM_PELSHEIGHT) == 0 || mode->dmPelsHeight == height;
  return bitsOk && widthOk && heightOk ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE;
}

int BackendReadDisplayMode(DWORD *width, DWORD *height) {
  web_canvas_size(width, height);
  return 1;
}

void BackendRestoreDisplayMode() {}

int ShowCursor(BOOL show) {
  cursorCount += show ? 1 : -1;
  if (displayOpen) web_set_cursor_hidden(cursorCount < 0 ? 1 : 0);
  return cursorCount;
}

// Never modal: the page shows the text beside the canvas and the show goes on,
// as the shell expects once the box is closed.
int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  web_show_message(caption != nullptr ? caption : "Error", text != nullptr ? text : "");
  return IDOK;
}
