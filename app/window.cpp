#include "app/window.h"

#include "app/clock.h"
#include "app/main.h"
#include "app/show.h"

namespace {

// A press and its release can both arrive between two frames: a quick tap on a
// slow machine, and as a rule from remote desktops and automation. The scene
// looks at the table once a frame, so such a key stays down until a frame has
// seen it, and its release is applied after that frame.
std::array<uint8_t, 256> keyUnseen{};
std::array<uint8_t, 256> releaseDeferred{};

void ForgetKeyHistory() {
  keyUnseen.fill(0);
  releaseDeferred.fill(0);
}

constexpr UINT errorBoxStyle = MB_OK | MB_ICONEXCLAMATION;

void ShowError(const char *text) { MessageBoxA(HWND_DESKTOP, text, "Error", errorBoxStyle); }

// Gives back what creation acquired, newest first. A switched display mode is
// restored too: the entry point does not destroy a window it failed to create,
// so nothing else would give the desktop its mode and pointer back.
void UndoCreation(AppWindow *window) {
  if (window->deviceContext != nullptr) {
    ReleaseDC(window->windowHandle, window->deviceContext);
    window->deviceContext = nullptr;
  }
  if (window->windowHandle != nullptr) {
    DestroyWindow(window->windowHandle);
    window->windowHandle = nullptr;
  }
  if (window->fullScreen) {
    ChangeDisplaySettingsA(nullptr, 0);
    ShowCursor(TRUE);
  }
}

} // namespace

void FillAppRecords(AppInfo *app, AppWindow *window, KeyTable *keys, int32_t fullScreen) {
  app->className = "OpenGL";
  *window = AppWindow{};
  window->keys = keys;
  window->app = app;
  window->title = "Velmor for Torva";
  window->width = screenWidth;
  window->height = screenHeight;
  window->colorBits = 32;
  window->fullScreen = fullScreen;
  keys->fill(0);
  ForgetKeyHistory();
}

int32_t RegisterWindowClass(AppInfo *app) {
  WNDCLASSEXA windowClass{};
  // Windows refuses a class record whose size is not that of its own layout
  // (80 bytes on 64-bit Windows, 48 on 32-bit).
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = app->instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  // Black, as the show starts: the window is painted with it when it is
  // shown, seconds before the first frame while the pictures load.
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = app->className;
  if (RegisterClassExA(&windowClass) == 0) {
    ShowError("RegisterClassEx Failed!");
    return 0;
  }
  return 1;
}

int32_t ChangeDisplayMode(int32_t width, int32_t height, int32_t bits) {
  DEVMODEA mode{};
  mode.dmSize = 148;
  mode.dmPelsWidth = static_cast<DWORD>(width);
  mode.dmPelsHeight = static_cast<DWORD>(height);
  mode.dmBitsPerPel = static_cast<DWORD>(bits);
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL ? 1 : 0;
}

int32_t CreateAppWindow(AppWindow *window) {
  DWORD style = WS_OVERLAPPEDWINDOW;
  DWORD extendedStyle = WS_EX_APPWINDOW;
  RECT rect{0, 0, window->width, window->height};

  PIXELFORMATDESCRIPTOR descriptor{};
  descriptor.nSize = 40;
  descriptor.nVersion = 1;
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  descriptor.iPixelType = PFD_TYPE_RGBA;
  descriptor.cColorBits = static_cast<BYTE>(window->colorBits & 0xFF);
  descriptor.cDepthBits = 16;
  descriptor.iLayerType = PFD_MAIN_PLANE;

  if (window->fullScreen == 1) {
    if (ChangeDisplayMode(window->width, window->height, window->colorBits)) {
      ShowCursor(FALSE);
      style = WS_POPUP;
      extendedStyle = WS_EX_APPWINDOW | WS_EX_TOPMOST;
    } else {
      ShowError("Mode Switch Failed.\nRunning In Windowed Mode.");
      window->fullScreen = 0;
    }
  }
  // A window, asked for or fallen back to, gets its frame around the picture:
  // the scene always draws 800x600, so that is the inside the window needs.
  if (style != WS_POPUP) AdjustWindowRectEx(&rect, style, FALSE, extendedStyle);

  window->windowHandle = CreateWindowExA(
      extendedStyle, window->app->className, window->title, style, 0, 0, rect.right - rect.left,
      rect.bottom - rect.top, nullptr, nullptr, window->app->instance, window);
  if (window->windowHandle == nullptr) {
    UndoCreation(window);
    return 0;
  }
  window->deviceContext = GetDC(window->windowHandle);
  if (window->deviceContext == nullptr) {
    UndoCreation(window);
    return 0;
  }
  int format = ChoosePixelFormat(window->deviceContext, &descriptor);
  if (format == 0 || !SetPixelFormat(window->deviceContext, format, &descriptor)) {
    UndoCreation(window);
    return 0;
  }
  window->renderContext = wglCreateContext(window->deviceContext);
  if (window->renderContext == nullptr) {
    UndoCreation(window);
    return 0;
  }
  if (!wglMakeCurrent(window->deviceContext, window->renderContext)) {
    wglDeleteContext(window->renderContext);
    window->renderContext = nullptr;
    UndoCreation(window);
    return 0;
  }
  ShowWindow(window->windowHandle, SW_SHOWNORMAL);
  window->visible = 1;
  window->keys->fill(0);
  ForgetKeyHistory();
  StartFrameClock();
  return 1;
}

int32_t DestroyAppWindow(AppWindow *window) {
  if (window->windowHandle != nullptr) {
    if (window->deviceContext != nullptr) {
      wglMakeCurrent(window->deviceContext, nullptr);
      if (window->renderContext != nullptr) {
        wglDeleteContext(window->renderContext);
        window->renderContext = nullptr;
      }
      ReleaseDC(window->windowHandle, window->deviceContext);
      window->deviceContext = nullptr;
    }
    DestroyWindow(window->windowHandle);
    window->windowHandle = nullptr;
  }
  if (window->fullScreen == 1) {
    ChangeDisplaySettingsA(nullptr, 0);
    ShowCursor(TRUE);
  }
  return 1;
}

void RequestQuit(AppWindow *window) {
  // Posted to the window, not the thread: the pump only takes the window's own.
  PostMessageA(window->windowHandle, WM_QUIT, 0, 0);
  keepRunning = 0;
}

LRESULT WindowProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  auto *window = reinterpret_cast<AppWindow *>(GetWindowLongA(handle, GWL_USERDATA));
  switch (message) {
  case WM_CREATE: {
    auto *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
    SetWindowLongA(handle, GWL_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return 0;
  }
  case WM_SIZE:
    if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) {
      window->visible = 1;
      return 0;
    }
    if (wParam == SIZE_MINIMIZED) {
      window->visible = 0;
      return 0;
    }
    break;
  case WM_CLOSE: RequestQuit(window); return 0;
  case WM_KEYDOWN:
    if (wParam <= 255) {
      // An auto-repeat of a key the frames already see changes nothing.
      if ((*window->keys)[wParam] == 0) keyUnseen[wParam] = 1;
      (*window->keys)[wParam] = 1;
      releaseDeferred[wParam] = 0;
      return 0;
    }
    break;
  case WM_KEYUP:
    if (wParam <= 255) {
      if (keyUnseen[wParam])
        releaseDeferred[wParam] = 1;
      else
        (*window->keys)[wParam] = 0;
      return 0;
    }
    break;
  case WM_SYSCOMMAND:
    // Keeps the screen saver and the monitor's power saving from starting.
    if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) return 0;
    break;
  case WM_TOGGLEFULLSCREEN:
    fullScreenRequest = !fullScreenRequest;
    PostMessageA(handle, WM_QUIT, 0, 0);
    break;
  default: break;
  }
  return DefWindowProcA(handle, message, wParam, lParam);
}

void MarkKeysSeen(AppWindow *window) {
  for (size_t key = 0; key < releaseDeferred.size(); ++key)
    if (releaseDeferred[key]) (*window->keys)[key] = 0;
  ForgetKeyHistory();
}
