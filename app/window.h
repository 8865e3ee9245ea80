// The one window of the program, its OpenGL context, its key table and the
// quit request that every way out of the program goes through.
#pragma once

#include <array>
#include <cstdint>

#include "platform/platform.h"

using KeyTable = std::array<int32_t, 256>; // 1 while the key with that code is down

struct AppInfo {
  HINSTANCE instance;
  const char *className;
};

struct AppWindow {
  KeyTable *keys;
  HWND windowHandle;
  HDC deviceContext;
  HGLRC renderContext;
  AppInfo *app;
  const char *title;
  int32_t width;
  int32_t height;
  int32_t colorBits;
  int32_t fullScreen; // before creation: wanted; after: 1 exactly when the mode was switched
  int32_t visible;    // 0 while minimised
};

// The status the process ends with after an orderly shutdown: 0 unless a part
// of the program that could not do its work set it.
extern int32_t exitStatus;

// The application and window records as the program starts them: class
// "OpenGL", title "Velmor for Torva", 800x600 at 32 bits, no handles yet.
void FillAppRecords(AppInfo *app, AppWindow *window, KeyTable *keys, int32_t fullScreen);

int32_t RegisterWindowClass(AppInfo *app);
int32_t ChangeDisplayMode(int32_t width, int32_t height, int32_t bits);
int32_t CreateAppWindow(AppWindow *window);
int32_t DestroyAppWindow(AppWindow *window);
void RequestQuit(AppWindow *window);
// Called after every frame: keys released before any frame saw them go up now.
void MarkKeysSeen(AppWindow *window);
LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
