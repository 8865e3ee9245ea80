// The live back end's keys as the window procedure expects them: SDL's
// scancode (the key's place on the keyboard, whatever the layout) to a
// virtual-key code. No SDL calls, so that the tests can check the table.
#pragma once

#include <SDL2/SDL_scancode.h>

#include "platform/platform.h"

// 0 for a key the program has no code for.
WPARAM SdlVirtualKey(SDL_Scancode scancode);
