// State shared between the files of the live back end.
#pragma once

#include <SDL2/SDL.h>

#include "platform/platform.h"

struct SdlWindow {
  SDL_Window *window;
  bool dcHeld;
};

// The window behind a device context handed out by GetDC; null if none.
SdlWindow *SdlWindowFromDc(HDC dc);
