// The test double behind platform.h: no display, no GL, no real time.
#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/core/backend.h"

namespace {

struct ArmedFailure {
  std::string call;
  int remaining;
};

std::vector<std::string> calls;
std::vector<ArmedFailure> failures;
std::vector<std::string> boxes;
bool fullScreenAvailable = true;
bool switchTakesEffect = true;
bool displaySwitched = false;
DWORD switchedWidth = 0;
DWORD switchedHeight = 0;
int restores = 0;
int cursorCount = 0;
bool counterAvailable = true;
int64_t counterFrequency = 1000000;
int64_t counterValue = 0;
int64_t counterStep = 0;
DWORD milliseconds = 0;
DWORD millisecondStep = 0;
uint64_t slept = 0;
std::function<void()> waitHook;
int idleWaits = 0;
// A device context and a GL context are the window's address with a tag, so
// that a wrong handle passed back is noticed.
constexpr uintptr_t glTag = 1;

PlatformWindow *WindowOfDc(HDC dc) { return PlatformWindowFromHandle(reinterpret_cast<HWND>(dc)); }

} // namespace

void FakeReset() {
  calls.clear();
  failures.clear();
  boxes.clear();
  fullScreenAvailable = true;
  switchTakesEffect = true;
  restores = 0;
  displaySwitched = false;
  cursorCount = 0;
  FakeSetCounter(true, 1000000, 0, 0);
  FakeSetMilliseconds(0, 0);
  slept = 0;
  waitHook = nullptr;
  idleWaits = 0;
}

void FakeFailCall(const std::string &call, int occurrence) {
  failures.push_back({call, occurrence});
}
const std::vector<std::string> &FakeCalls() { return calls; }
int FakeCallCount(const std::string &call) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}
const std::vector<std::string> &FakeMessageBoxes() { return boxes; }
bool FakeDisplaySwitched() { return displaySwitched; }
int FakeCursorCount() { return cursorCount; }
void FakeSetFullScreenAvailable(bool available) { fullScreenAvailable = available; }
void FakeSetSwitchTakesEffect(bool takes) { switchTakesEffect = takes; }
int FakeDisplayRestores() { return restores; }
void FakeSetCounter(bool available, int64_t frequency, int64_t value, int64_t step) {
  counterAvailable = available;
  counterFrequency = frequency;
  counterValue = value;
  counterStep = step;
}
void FakeSetMilliseconds(DWORD value, DWORD step) {
  milliseconds = value;
  millisecondStep = step;
}
uint64_t FakeSleptMilliseconds() { return slept; }
void FakeOnWait(std::function<void()> hook) { waitHook = std::move(hook); }

int BackendCallHook(const char *call) {
  calls.emplace_back(call);
  for (auto it = failures.begin(); it != failures.end(); ++it) {
    if (it->call == call && --it->remaining == 0) {
      failures.erase(it);
      return 1;
    }
  }
  return 0;
}

int BackendOpenDisplay() { return 1; }
void BackendCloseDisplay() {}
int BackendCreateWindow(PlatformWindow *, LPCSTR, int, int) { return 1; }
void BackendDestroyWindow(PlatformWindow *) {}
void BackendShowWindow(PlatformWindow *, int) {}

void BackendPumpEvents(int wait) {
  if (!wait) return;
  if (waitHook) {
    waitHook();
    return;
  }
  // A test whose program waits with nothing to wake it would hang; say so.
  if (++idleWaits > 1000) {
    std::fprintf(stderr, "fake platform: WaitMessage with nothing to wake it\n");
    std::abort();
  }
}

LONG BackendSwitchDisplayMode(const DEVMODEA *mode) {
  if (!fullScreenAvailable) return DISP_CHANGE_BADMODE;
  displaySwitched = true;
  switchedWidth = mode->dmPelsWidth;
  switchedHeight = mode->dmPelsHeight;
  return DISP_CHANGE_SUCCESSFUL;
}

int BackendReadDisplayMode(DWORD *width, DWORD *height) {
  // A desktop of 1024x768 that, when the switch does not take, stays so.
  bool switched = displaySwitched && switchTakesEffect;
  *width = switched ? switchedWidth : 1024;
  *height = switched ? switchedHeight : 768;
  return 1;
}

void BackendRestoreDisplayMode() {
  displaySwitched = false;
  ++restores;
}

int ShowCursor(BOOL show) {
  BackendCallHook("ShowCursor");
  cursorCount += show ? 1 : -1;
  return cursorCount;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  BackendCallHook("MessageBoxA");
  boxes.push_back(std::string(caption != nullptr ? caption : "") + "|" +
                  (text != nullptr ? text : ""));
  return IDOK;
}

HDC GetDC(HWND window) {
  if (BackendCallHook("GetDC") || PlatformWindowFromHandle(window) == nullptr) return nullptr;
  return reinterpret_cast<HDC>(window);
}

int ReleaseDC(HWND, HDC dc) {
  if (BackendCallHook("ReleaseDC")) return 0;
  return WindowOfDc(dc) != nullptr ? 1 : 0;
}

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *descriptor) {
  if (BackendCallHook("ChoosePixelFormat")) return 0;
  return WindowOfDc(dc) != nullptr && descriptor != nullptr ? 1 : 0;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR *descriptor) {
  if (BackendCallHook("SetPixelFormat")) return FALSE;
  return WindowOfDc(dc) != nullptr && format == 1 && descriptor != nullptr;
}

HGLRC wglCreateContext(HDC dc) {
  if (BackendCallHook("wglCreateContext") || WindowOfDc(dc) == nullptr) return nullptr;
  return reinterpret_cast<HGLRC>(reinterpret_cast<uintptr_t>(dc) | glTag);
}

BOOL wglMakeCurrent(HDC, HGLRC) { return BackendCallHook("wglMakeCurrent") ? FALSE : TRUE; }
BOOL wglDeleteContext(HGLRC context) {
  if (BackendCallHook("wglDeleteContext")) return FALSE;
  return context != nullptr;
}
BOOL SwapBuffers(HDC dc) {
  if (BackendCallHook("SwapBuffers")) return FALSE;
  return WindowOfDc(dc) != nullptr;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency) {
  if (BackendCallHook("QueryPerformanceFrequency") || !counterAvailable) return FALSE;
  frequency->QuadPart = counterFrequency;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER *count) {
  if (BackendCallHook("QueryPerformanceCounter") || !counterAvailable) return FALSE;
  count->QuadPart = counterValue;
  counterValue += counterStep;
  return TRUE;
}

DWORD timeGetTime() {
  BackendCallHook("timeGetTime");
  DWORD now = milliseconds;
  milliseconds += millisecondStep; // wraps at 2^32 as the real timer does
  return now;
}

void Sleep(DWORD ms) {
  BackendCallHook("Sleep");
  slept += ms;
  counterValue += static_cast<int64_t>(ms) * counterFrequency / 1000;
  milliseconds += ms;
}
