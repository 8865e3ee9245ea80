// Posts the intro's full-screen toggle (message 1025) to its window, found by
// its title, as any other program may: the tests' stand-in for a hotkey tool.
// Status 0 when posted, 1 when no such window is open.
#include <cstdio>

#include "platform/platform.h"

int main() {
  HWND window = FindWindowA(nullptr, "Velmor for Torva");
  if (window == nullptr) {
    std::fprintf(stderr, "velmor-toggle: no window titled \"Velmor for Torva\"\n");
    return 1;
  }
  if (!PostMessageA(window, WM_TOGGLEFULLSCREEN, 0, 0)) {
    std::fprintf(stderr, "velmor-toggle: cannot post to the window (error %lu)\n", GetLastError());
    return 1;
  }
  return 0;
}
