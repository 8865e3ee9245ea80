// The live back end's windows, events, display mode, pointer and message boxes,
// on SDL2. Signals that the desktop uses to talk to a running program (SIGUSR1
// for the full-screen toggle, SIGINT and SIGTERM for "close") arrive as window
// messages through the same queue as keys.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "platform/core/backend.h"
#include "platform/core/keys.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_keys.h"

namespace {

bool displayOpen = false;
Uint32 signalEventType = 0;
PlatformWindow *currentWindow = nullptr;

// SDL switches the display's mode only for a shown full-screen window, so the
// switch makes that window; the next WS_POPUP window created adopts it. Until
// the display is given back, `modeWindow` is the window that holds the mode.
SDL_Window *modeWindow = nullptr;
bool modeWindowAdopted = false;
int cursorCount = 0;

// Self-pipe: the handler only writes one byte, which is async-signal-safe; a
// small thread turns bytes into SDL events, which wake a blocked WaitMessage.
int signalPipe[2] = {-1, -1};
// On the heap and never destroyed by exit(): a fatal error elsewhere (the JPEG
// library ends the process with exit(1)) must not find a joinable thread in a
// static destructor, which would abort the process instead.
std::thread *signalThread = nullptr;

void OnSignal(int sig) {
  int saved = errno;
  unsigned char byte = static_cast<unsigned char>(sig);
  [[maybe_unused]] ssize_t n = write(signalPipe[1], &byte, 1);
  errno = saved;
}

void ForwardSignals() {
  unsigned char byte = 0;
  for (;;) {
    ssize_t n = read(signalPipe[0], &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || byte == 0) return; // 0 is the stop request
    SDL_Event ev{};
    ev.type = signalEventType;
    ev.user.code = byte;
    SDL_PushEvent(&ev);
  }
}

void InstallSignals() {
  if (pipe2(signalPipe, O_CLOEXEC) != 0) return;
  fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGUSR1, SIGINT, SIGTERM}) sigaction(sig, &sa, nullptr);
  signalThread = new std::thread(ForwardSignals);
}

void RemoveSignals() {
  if (signalPipe[1] < 0) return;
  for (int sig : {SIGUSR1, SIGINT, SIGTERM}) signal(sig, SIG_DFL);
  unsigned char stop = 0;
  [[maybe_unused]] ssize_t n = write(signalPipe[1], &stop, 1);
  if (signalThread != nullptr) {
    signalThread->join();
    delete signalThread;
    signalThread = nullptr;
  }
  close(signalPipe[0]);
  close(signalPipe[1]);
  signalPipe[0] = signalPipe[1] = -1;
}

void PostKey(PlatformWindow *window, const SDL_KeyboardEvent &key) {
  KeyMessage m = PlatformKeyMessage(SdlVirtualKey(key.keysym.scancode), key.type == SDL_KEYDOWN,
                                    (key.keysym.mod & KMOD_ALT) != 0, key.repeat != 0,
                                    static_cast<unsigned>(key.keysym.scancode));
  if (m.message != 0) PostMessageA(PlatformHandleOf(window), m.message, m.vk, m.lParam);
}

void PostWindowEvent(PlatformWindow *window, const SDL_WindowEvent &we) {
  HWND handle = PlatformHandleOf(window);
  LPARAM size = MAKELPARAM(static_cast<WORD>(window->width), static_cast<WORD>(window->height));
  switch (we.event) {
  case SDL_WINDOWEVENT_CLOSE: PostMessageA(handle, WM_SYSCOMMAND, SC_CLOSE, 0); break;
  case SDL_WINDOWEVENT_MINIMIZED: PostMessageA(handle, WM_SIZE, SIZE_MINIMIZED, size); break;
  case SDL_WINDOWEVENT_MAXIMIZED: PostMessageA(handle, WM_SIZE, SIZE_MAXIMIZED, size); break;
  case SDL_WINDOWEVENT_RESTORED: PostMessageA(handle, WM_SIZE, SIZE_RESTORED, size); break;
  default: break;
  }
}

void TranslateEvent(const SDL_Event &ev) {
  if (currentWindow == nullptr) return;
  if (ev.type == signalEventType) {
    HWND handle = PlatformHandleOf(currentWindow);
    if (ev.user.code == SIGUSR1)
      PostMessageA(handle, WM_TOGGLEFULLSCREEN, 0, 0);
    else
      PostMessageA(handle, WM_CLOSE, 0, 0);
    return;
  }
  switch (ev.type) {
  case SDL_KEYDOWN:
  case SDL_KEYUP: PostKey(currentWindow, ev.key); break;
  case SDL_WINDOWEVENT: PostWindowEvent(currentWindow, ev.window); break;
  default: break;
  }
}

// Leaving full screen, SDL waits up to 100 ms for the window manager to move
// or resize the window, which at the mode's own size it never does; every
// toggle and every exit would pay it. A window about to be destroyed has no
// need to be seen leaving, so it is withdrawn first and SDL skips the wait.
void WithdrawFromX11(SDL_Window *window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display *display = info.info.x11.display;
  XWithdrawWindow(display, info.info.x11.window, DefaultScreen(display));
  XSync(display, False);
}

SdlWindow *NativeOf(PlatformWindow *window) { return static_cast<SdlWindow *>(window->native); }

} // namespace

SdlWindow *SdlWindowFromDc(HDC dc) {
  PlatformWindow *window = PlatformWindowFromHandle(reinterpret_cast<HWND>(dc));
  return window != nullptr ? NativeOf(window) : nullptr;
}

int BackendCallHook(const char *) { return 0; }

int BackendOpenDisplay() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "velmor: cannot open the display: %s\n", SDL_GetError());
    return 0;
  }
  // With no display SDL quietly falls back to drivers that show nothing.
  const char *driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 ||
      std::strcmp(driver, "dummy") == 0) {
    std::fprintf(stderr,
                 "velmor: no display to open a window on (SDL video driver \"%s\"; is "
                 "DISPLAY set?)\n",
                 driver != nullptr ? driver : "none");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return 0;
  }
  signalEventType = SDL_RegisterEvents(1);
  InstallSignals();
  displayOpen = true;
  cursorCount = 0;
  return 1;
}

void BackendCloseDisplay() {
  if (!displayOpen) return;
  RemoveSignals();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  displayOpen = false;
}

// X11 fixes a window's visual when it is created, so the pixel format that
// SetPixelFormat will accept is asked for before every window.
void SetGlAttributes() {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

int BackendCreateWindow(PlatformWindow *window, LPCSTR title, int x, int y) {
  if (!displayOpen) return 0;
  if ((window->style & WS_POPUP) != 0 && modeWindow != nullptr && !modeWindowAdopted &&
      (SDL_GetWindowFlags(modeWindow) & SDL_WINDOW_OPENGL) != 0) {
    SDL_SetWindowTitle(modeWindow, title);
    window->native = new SdlWindow{modeWindow, false};
    modeWindowAdopted = true;
    currentWindow = window;
    return 1;
  }
  SetGlAttributes();
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  if ((window->style & WS_POPUP) != 0) flags |= SDL_WINDOW_BORDERLESS;
  SDL_Window *sdl = SDL_CreateWindow(title, x, y, window->width, window->height, flags);
  if (sdl == nullptr) {
    std::fprintf(stderr, "velmor: cannot create the window: %s\n", SDL_GetError());
    return 0;
  }
  window->native = new SdlWindow{sdl, false};
  currentWindow = window;
  return 1;
}

void BackendDestroyWindow(PlatformWindow *window) {
  SdlWindow *native = NativeOf(window);
  if (native != nullptr) {
    // Destroying a full-screen window gives the desktop its own mode back.
    if (native->window == modeWindow) {
      modeWindow = nullptr;
      modeWindowAdopted = false;
    }
    WithdrawFromX11(native->window);
    SDL_DestroyWindow(native->window);
    delete native;
    window->native = nullptr;
  }
  if (currentWindow == window) currentWindow = nullptr;
  // Key and size events of the destroyed window must not reach its successor.
  SDL_FlushEvents(SDL_WINDOWEVENT, SDL_KEYUP);
}

void BackendShowWindow(PlatformWindow *window, int command) {
  SdlWindow *native = NativeOf(window);
  switch (command) {
  case SW_HIDE: SDL_HideWindow(native->window); return;
  case SW_SHOWMINIMIZED: SDL_MinimizeWindow(native->window); return;
  case SW_SHOWMAXIMIZED: SDL_MaximizeWindow(native->window); return;
  default: break;
  }
  SDL_ShowWindow(native->window);
  SDL_RaiseWindow(native->window);
}

void BackendPumpEvents(int wait) {
  SDL_Event ev;
  if (wait && SDL_WaitEvent(&ev)) TranslateEvent(ev);
  while (SDL_PollEvent(&ev)) TranslateEvent(ev);
}

LONG BackendSwitchDisplayMode(const DEVMODEA *mode) {
  if (!displayOpen || modeWindow != nullptr) return DISP_CHANGE_FAILED;
  // SDL would answer a request for a missing mode with the nearest larger one
  // and call it a success; only an exact match is tried.
  int wantBits = (mode->dmFields & DM_BITSPERPEL) ? static_cast<int>(mode->dmBitsPerPel) : 0;
  int count = SDL_GetNumDisplayModes(0);
  SDL_DisplayMode found{};
  bool listed = false;
  for (int i = 0; i < count && !listed; ++i) {
    SDL_DisplayMode m{};
    if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
    int bits = static_cast<int>(SDL_BITSPERPIXEL(m.format));
    // A 24-bit X visual stores 32 bits per pixel.
    bool bitsMatch = wantBits == 0 || bits == wantBits || (wantBits == 32 && bits == 24);
    if (m.w == static_cast<int>(mode->dmPelsWidth) && m.h == static_cast<int>(mode->dmPelsHeight) &&
        bitsMatch) {
      found = m;
      listed = true;
    }
  }
  if (!listed) return DISP_CHANGE_BADMODE;

  SetGlAttributes();
  Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
  SDL_Window *sdl = SDL_CreateWindow("", 0, 0, found.w, found.h, flags | SDL_WINDOW_OPENGL);
  // Without OpenGL on the display the mode can still be switched; the window
  // that needs GL is then refused on its own, with the error that says so.
  if (sdl == nullptr) sdl = SDL_CreateWindow("", 0, 0, found.w, found.h, flags);
  if (sdl == nullptr) {
    std::fprintf(stderr, "velmor: cannot create the full-screen window: %s\n", SDL_GetError());
    return DISP_CHANGE_FAILED;
  }
  SDL_SetWindowDisplayMode(sdl, &found);
  SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN);
  SDL_ShowWindow(sdl); // the mode changes here
  modeWindow = sdl;
  modeWindowAdopted = false;
  return DISP_CHANGE_SUCCESSFUL;
}

int BackendReadDisplayMode(DWORD *width, DWORD *height) {
  if (modeWindow == nullptr) return 0;
  SDL_DisplayMode now{};
  int display = SDL_GetWindowDisplayIndex(modeWindow);
  if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &now) != 0) return 0;
  *width = static_cast<DWORD>(now.w);
  *height = static_cast<DWORD>(now.h);
  return 1;
}

void BackendRestoreDisplayMode() {
  if (modeWindow == nullptr) return;
  SDL_SetWindowFullscreen(modeWindow, 0);
  // A window made for the switch that no CreateWindowExA took is ours to end.
  if (!modeWindowAdopted) SDL_DestroyWindow(modeWindow);
  modeWindow = nullptr;
  modeWindowAdopted = false;
}

int ShowCursor(BOOL show) {
  cursorCount += show ? 1 : -1;
  if (displayOpen) SDL_ShowCursor(cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return cursorCount;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  Uint32 flags = (type & 0xF0) == MB_ICONERROR         ? SDL_MESSAGEBOX_ERROR
                 : (type & 0xF0) == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                                                       : SDL_MESSAGEBOX_INFORMATION;
  const char *shownCaption = caption != nullptr ? caption : "Error";
  const char *shownText = text != nullptr ? text : "";
  if (SDL_ShowSimpleMessageBox(flags, shownCaption, shownText, nullptr) == 0) return IDOK;
  std::string line = std::string(shownCaption) + ": " + shownText;
  for (char &c : line)
    if (c == '\n') c = ' ';
  std::fprintf(stderr, "%s\n", line.c_str());
  return IDOK;
}
