// Prints the size of the inside of the intro's window (what the picture gets),
// found by its title, as "WIDTHxHEIGHT"; status 1 when no such window is open.
#include <cstdio>

#include "platform/platform.h"

int main() {
  HWND window = FindWindowA(nullptr, "Velmor for Torva");
  RECT inside{};
  if (window == nullptr || !GetClientRect(window, &inside)) {
    std::fprintf(stderr, "velmor-client-size: no window titled \"Velmor for Torva\"\n");
    return 1;
  }
  std::printf("%ldx%ld\n", inside.right - inside.left, inside.bottom - inside.top);
  return 0;
}
