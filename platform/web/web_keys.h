// The browser's keys as the window procedure expects them: KeyboardEvent.code
// (the key's place on the keyboard, whatever the layout) to a virtual-key
// code, and the message and lParam a key event becomes. No browser calls, so
// that the native tests can check the table.
#pragma once

#include "platform/platform.h"

// 0 for a key the program has no code for.
WPARAM WebVirtualKey(const char *code);

struct WebKeyMessage {
  UINT message; // 0: nothing to post
  WPARAM vk;
  LPARAM lParam;
};

// Keys with Alt held, Alt itself and F10 are system keys, as on the desktop:
// they never reach the program's key table, and Alt+F4 closes.
WebKeyMessage WebTranslateKey(const char *code, bool down, bool alt, bool repeat);
