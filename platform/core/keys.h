// How a key press or release becomes a window message, for the back ends whose
// keys are not Windows' own. Each back end names its keys by virtual-key code
// in its own table; the message and its lParam follow one rule, here.
#pragma once

#include "platform/platform.h"

struct KeyMessage {
  UINT message; // 0: nothing to post
  WPARAM vk;
  LPARAM lParam;
};

// `vk` is 0 for a key the program has no code for. `scanCode` is the back
// end's number for the key's place on the keyboard, 0 where it has none; its
// low byte goes into lParam's bits 16-23. Keys with Alt held, Alt itself and
// F10 are system keys, as on the desktop: they never reach the program's key
// table, and Alt+F4 closes.
KeyMessage PlatformKeyMessage(WPARAM vk, bool down, bool alt, bool repeat, unsigned scanCode);
