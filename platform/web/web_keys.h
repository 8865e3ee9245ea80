// The browser's keys as the window procedure expects them: KeyboardEvent.code
// (the key's place on the keyboard, whatever the layout) to a virtual-key
// code. No browser calls, so that the native tests can check the table.
#pragma once

#include "platform/platform.h"

// 0 for a key the program has no code for.
WPARAM WebVirtualKey(const char *code);
