// What a back end supplies to the shared window-and-message core, and what the
// core offers back ends. Not for the shell or the scene: they see platform.h.
#pragma once

#include "platform/platform.h"

// One window as the core keeps it; HWND is the address of this record.
struct PlatformWindow {
  WNDPROC proc;
  LONG_PTR userData;
  DWORD style;
  DWORD exStyle;
  HBRUSH background; // the class's, which Windows paints the window with when shown
  int width;
  int height;
  void *native; // the back end's own state for this window
};

PlatformWindow *PlatformWindowFromHandle(HWND window); // null when not a live window
HWND PlatformHandleOf(PlatformWindow *window);

// Every public call passes its name here first; a nonzero answer makes the call
// fail as it would on its own. Only the test double ever answers nonzero.
int BackendCallHook(const char *call);

// The display connection behind class registration: opened with the first
// class, closed with the last. Returns 1 on success.
int BackendOpenDisplay();
void BackendCloseDisplay();

// Creates the native window for `window` (style, size already filled in).
// Returns 1 on success.
int BackendCreateWindow(PlatformWindow *window, LPCSTR title, int x, int y);
void BackendDestroyWindow(PlatformWindow *window);
void BackendShowWindow(PlatformWindow *window, int command);

// Turns pending native events into posted messages. With wait nonzero, first
// blocks until at least one native event is pending.
void BackendPumpEvents(int wait);

// The display mode. The core keeps whether the display is switched and gives
// it back on every way out of the process; the back end does the switching.
// Switch: a DISP_CHANGE_* result. Read: the display's size as it is now, 1
// when known. Restore: back to the desktop's own mode (only called while
// switched).
LONG BackendSwitchDisplayMode(const DEVMODEA *mode);
int BackendReadDisplayMode(DWORD *width, DWORD *height);
void BackendRestoreDisplayMode();
