// The part of the Windows-shaped layer that needs no display: the class table,
// the window records with their user data, the message queue and the default
// window procedure. Back ends add the native window, GL, display mode, boxes
// and time.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/core/backend.h"

namespace {

struct WindowClass {
  std::string name;
  WNDPROC proc;
  HINSTANCE instance;
  HBRUSH background;
};

std::vector<WindowClass> classes;
// On the heap and never destroyed: when a library ends the process with exit()
// while a window is open (the JPEG library on a bad picture), static destructors
// must not free records whose native window the back end still holds.
std::vector<std::unique_ptr<PlatformWindow>> &windows =
    *new std::vector<std::unique_ptr<PlatformWindow>>;
std::deque<MSG> queue;
// Any non-null value serves: nothing resolves it further.
HINSTANCE__ *const processInstance = reinterpret_cast<HINSTANCE__ *>(uintptr_t{0x400000});

bool displaySwitched = false;
bool exitHandlerInstalled = false;

void RestoreDisplayMode() {
  if (!displaySwitched) return;
  displaySwitched = false;
  BackendRestoreDisplayMode();
}

bool MessageMatches(const MSG &msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && msg.hwnd != window) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

} // namespace

PlatformWindow *PlatformWindowFromHandle(HWND handle) {
  auto *wanted = reinterpret_cast<PlatformWindow *>(handle);
  for (auto &w : windows)
    if (w.get() == wanted) return wanted;
  return nullptr;
}

HWND PlatformHandleOf(PlatformWindow *window) { return reinterpret_cast<HWND>(window); }

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (BackendCallHook("GetModuleHandleA")) return nullptr;
  return moduleName == nullptr ? processInstance : nullptr;
}

ATOM RegisterClassExA(const WNDCLASSEXA *wc) {
  if (BackendCallHook("RegisterClassExA")) return 0;
  // As Windows does, a record of another size is refused: a program written
  // for another layout must not register here and fail on Windows.
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpfnWndProc == nullptr ||
      wc->lpszClassName == nullptr)
    return 0;
  for (auto &c : classes)
    if (strcasecmp(c.name.c_str(), wc->lpszClassName) == 0) return 0;
  if (classes.empty() && !BackendOpenDisplay()) return 0;
  classes.push_back({wc->lpszClassName, wc->lpfnWndProc, wc->hInstance, wc->hbrBackground});
  return static_cast<ATOM>(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (BackendCallHook("UnregisterClassA")) return FALSE;
  auto it = std::find_if(classes.begin(), classes.end(), [&](const WindowClass &c) {
    return className != nullptr && strcasecmp(c.name.c_str(), className) == 0;
  });
  if (it == classes.end()) return FALSE;
  classes.erase(it);
  if (classes.empty()) BackendCloseDisplay();
  return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR cursorName) {
  if (BackendCallHook("LoadCursorA")) return nullptr;
  // The pointer's shape is the desktop's; the handle only has to be distinct.
  return reinterpret_cast<HCURSOR>(const_cast<char *>(cursorName));
}

HGDIOBJ GetStockObject(int object) {
  if (BackendCallHook("GetStockObject")) return nullptr;
  static int stockObjects[32];
  return object >= 0 && object < 32 ? &stockObjects[object] : nullptr;
}

BOOL AdjustWindowRectEx(RECT *rect, DWORD, BOOL, DWORD) {
  if (BackendCallHook("AdjustWindowRectEx")) return FALSE;
  return rect != nullptr ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (BackendCallHook("CreateWindowExA")) return nullptr;
  auto cls = std::find_if(classes.begin(), classes.end(), [&](const WindowClass &c) {
    return className != nullptr && strcasecmp(c.name.c_str(), className) == 0;
  });
  if (cls == classes.end() || width <= 0 || height <= 0) return nullptr;

  auto record = std::make_unique<PlatformWindow>();
  record->proc = cls->proc;
  record->background = cls->background;
  record->style = style;
  record->exStyle = exStyle;
  record->width = width;
  record->height = height;
  PlatformWindow *window = record.get();
  if (!BackendCreateWindow(window, windowName != nullptr ? windowName : "", x, y)) return nullptr;
  windows.push_back(std::move(record));

  HWND handle = PlatformHandleOf(window);
  CREATESTRUCTA create{};
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.hMenu = menu;
  create.hwndParent = parent;
  create.cx = width;
  create.cy = height;
  create.x = x;
  create.y = y;
  create.style = static_cast<LONG>(style);
  create.lpszName = windowName;
  create.lpszClass = className;
  create.dwExStyle = exStyle;
  if (window->proc(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  return handle;
}

BOOL DestroyWindow(HWND handle) {
  if (BackendCallHook("DestroyWindow")) return FALSE;
  PlatformWindow *window = PlatformWindowFromHandle(handle);
  if (window == nullptr) return FALSE;
  window->proc(handle, WM_DESTROY, 0, 0);
  BackendDestroyWindow(window);
  std::erase_if(queue, [&](const MSG &m) { return m.hwnd == handle; });
  std::erase_if(windows, [&](const auto &w) { return w.get() == window; });
  return TRUE;
}

BOOL ShowWindow(HWND handle, int command) {
  if (BackendCallHook("ShowWindow")) return FALSE;
  PlatformWindow *window = PlatformWindowFromHandle(handle);
  if (window == nullptr) return FALSE;
  BackendShowWindow(window, command);
  WPARAM kind = command == SW_SHOWMINIMIZED   ? SIZE_MINIMIZED
                : command == SW_SHOWMAXIMIZED ? SIZE_MAXIMIZED
                                              : SIZE_RESTORED;
  if (command != SW_HIDE)
    window->proc(handle, WM_SIZE, kind,
                 MAKELPARAM(static_cast<WORD>(window->width), static_cast<WORD>(window->height)));
  return TRUE;
}

BOOL IsWindow(HWND handle) { return PlatformWindowFromHandle(handle) != nullptr; }

LONG_PTR GetWindowLongA(HWND handle, int index) {
  if (BackendCallHook("GetWindowLongA")) return 0;
  PlatformWindow *window = PlatformWindowFromHandle(handle);
  return window != nullptr && index == GWL_USERDATA ? window->userData : 0;
}

LONG_PTR SetWindowLongA(HWND handle, int index, LONG_PTR value) {
  if (BackendCallHook("SetWindowLongA")) return 0;
  PlatformWindow *window = PlatformWindowFromHandle(handle);
  if (window == nullptr || index != GWL_USERDATA) return 0;
  LONG_PTR previous = window->userData;
  window->userData = value;
  return previous;
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (BackendCallHook("DefWindowProcA")) return 0;
  switch (message) {
  case WM_SYSKEYDOWN:
    // Alt+F4: the context bit (29) says Alt was down.
    if (wParam == VK_F4 && (lParam & (LPARAM{1} << 29)) != 0)
      return SendMessageA(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  case WM_SYSCOMMAND:
    if ((wParam & 0xFFF0) == SC_CLOSE) return SendMessageA(handle, WM_CLOSE, 0, 0);
    return 0;
  case WM_CLOSE: DestroyWindow(handle); return 0;
  default: return 0;
  }
}

BOOL PeekMessageA(MSG *msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (BackendCallHook("PeekMessageA")) return FALSE;
  BackendPumpEvents(0);
  auto it = std::find_if(queue.begin(), queue.end(), [&](const MSG &m) {
    return MessageMatches(m, window, filterMin, filterMax);
  });
  if (it == queue.end()) return FALSE;
  *msg = *it;
  if (removeMsg & PM_REMOVE) queue.erase(it);
  return TRUE;
}

LRESULT DispatchMessageA(const MSG *msg) {
  if (BackendCallHook("DispatchMessageA")) return 0;
  PlatformWindow *window = msg != nullptr ? PlatformWindowFromHandle(msg->hwnd) : nullptr;
  if (window == nullptr) return 0;
  return window->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (BackendCallHook("SendMessageA")) return 0;
  PlatformWindow *window = PlatformWindowFromHandle(handle);
  if (window == nullptr) return 0;
  return window->proc(handle, message, wParam, lParam);
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (BackendCallHook("PostMessageA")) return FALSE;
  if (handle != nullptr && PlatformWindowFromHandle(handle) == nullptr) return FALSE;
  queue.push_back(MSG{handle, message, wParam, lParam, 0, {0, 0}});
  return TRUE;
}

BOOL WaitMessage() {
  if (BackendCallHook("WaitMessage")) return FALSE;
  if (queue.empty()) BackendPumpEvents(1);
  return TRUE;
}

LONG ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags) {
  if (BackendCallHook("ChangeDisplaySettingsA")) return DISP_CHANGE_FAILED;
  if (mode == nullptr) {
    RestoreDisplayMode();
    return DISP_CHANGE_SUCCESSFUL;
  }
  if ((flags & CDS_FULLSCREEN) == 0) return DISP_CHANGE_FAILED;
  LONG result = BackendSwitchDisplayMode(mode);
  if (result != DISP_CHANGE_SUCCESSFUL) return result;
  displaySwitched = true;
  // A library may end the process with exit() while the display is switched
  // (the JPEG decoder does on a bad picture); the desktop must not be left at
  // our size. An orderly shutdown has restored it already, so this does nothing.
  if (!exitHandlerInstalled) {
    std::atexit(RestoreDisplayMode);
    exitHandlerInstalled = true;
  }
  // A mode that is listed can still fail to take: only the size read back
  // counts, or the program would draw full screen into a corner of the desktop.
  DWORD width = 0;
  DWORD height = 0;
  bool known = BackendReadDisplayMode(&width, &height) != 0;
  bool widthOk = (mode->dmFields & DM_PELSWIDTH) == 0 || width == mode->dmPelsWidth;
  bool heightOk = (mode->dmFields & DM_PELSHEIGHT) == 0 || height == mode->dmPelsHeight;
  if (known && widthOk && heightOk) return DISP_CHANGE_SUCCESSFUL;
  if (known)
    std::fprintf(stderr, "velmor: the display stayed at %ux%u instead of %ux%u\n", width, height,
                 mode->dmPelsWidth, mode->dmPelsHeight);
  RestoreDisplayMode();
  return DISP_CHANGE_FAILED;
}
