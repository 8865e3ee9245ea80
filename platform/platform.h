// The Windows-shaped calls that the shell and the scene make, with their names,
// types and constants, so that the shell and the scene are written once, as
// Windows code, whichever back end runs them. On Windows they are Windows' own
// (platform/windows/windows_calls.h). Elsewhere four back ends implement them
// and one is chosen at link time: sdl/ (live window), offscreen/ (capture),
// fake/ (tests) and web/ (the browser).
//
// Contract shared by every back end, as Windows keeps it:
//  - single-threaded: every call is made on the main thread;
//  - a window procedure is entered synchronously from CreateWindowExA
//    (WM_CREATE), ShowWindow (WM_SIZE), DestroyWindow (WM_DESTROY) and
//    DispatchMessageA, never from anywhere else;
//  - messages posted to a window that is then destroyed are dropped with it;
//  - handles are opaque; a null handle always means failure or "none".
#pragma once

#if defined(_WIN32)
#include "platform/windows/windows_calls.h"
#else

#include <cstddef>
#include <cstdint>

using BOOL = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = uint32_t;
using ATOM = uint16_t;
using CHAR = char;
using LPCSTR = const char *;
using LPSTR = char *;
using LPVOID = void *;
// Pointer-wide on 64-bit Linux as on 64-bit Windows, so that the window record's
// address survives a trip through the window's user data.
using LONG_PTR = intptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

struct HWND__;
struct HDC__;
struct HGLRC__;
struct HINSTANCE__;
struct HCURSOR__;
struct HICON__;
struct HBRUSH__;
struct HMENU__;
struct HRSRC__;
struct HGLOBAL__;
using HWND = HWND__ *;
using HDC = HDC__ *;
using HGLRC = HGLRC__ *;
using HINSTANCE = HINSTANCE__ *;
using HMODULE = HINSTANCE__ *;
using HCURSOR = HCURSOR__ *;
using HICON = HICON__ *;
using HBRUSH = HBRUSH__ *;
using HMENU = HMENU__ *;
using HRSRC = HRSRC__ *;
using HGLOBAL = HGLOBAL__ *;
using HGDIOBJ = void *;

// Macros, as other C headers (libjpeg's among them) define them too.
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define HWND_DESKTOP (static_cast<HWND>(nullptr))

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
  LONG x, y;
};
struct RECT {
  LONG left, top, right, bottom;
};
struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
struct CREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy, cx, y, x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
};
struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
};
// Only the fields a display-mode request fills in; the layer reads dmFields to
// learn which of them are meant.
struct DEVMODEA {
  WORD dmSize;
  DWORD dmFields;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFrequency;
};
struct PIXELFORMATDESCRIPTOR {
  WORD nSize;
  WORD nVersion;
  DWORD dwFlags;
  BYTE iPixelType;
  BYTE cColorBits;
  BYTE cRedBits, cRedShift, cGreenBits, cGreenShift, cBlueBits, cBlueShift;
  BYTE cAlphaBits, cAlphaShift;
  BYTE cAccumBits, cAccumRedBits, cAccumGreenBits, cAccumBlueBits, cAccumAlphaBits;
  BYTE cDepthBits;
  BYTE cStencilBits;
  BYTE cAuxBuffers;
  BYTE iLayerType;
  BYTE bReserved;
  DWORD dwLayerMask;
  DWORD dwVisibleMask;
  DWORD dwDamageMask;
};
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);
struct LARGE_INTEGER {
  int64_t QuadPart;
};

// Messages.
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_USER = 0x0400;

// WM_SIZE kinds.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr WPARAM SIZE_MAXSHOW = 3;
constexpr WPARAM SIZE_MAXHIDE = 4;

// WM_SYSCOMMAND commands.
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_SCREENSAVE = 0xF140;
constexpr WPARAM SC_MONITORPOWER = 0xF170;

// Virtual-key codes that the layer produces besides '0'..'9' and 'A'..'Z'.
constexpr WPARAM VK_BACK = 0x08;
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_SHIFT = 0x10;
constexpr WPARAM VK_CONTROL = 0x11;
constexpr WPARAM VK_MENU = 0x12;
constexpr WPARAM VK_PAUSE = 0x13;
constexpr WPARAM VK_CAPITAL = 0x14;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_PRIOR = 0x21;
constexpr WPARAM VK_NEXT = 0x22;
constexpr WPARAM VK_END = 0x23;
constexpr WPARAM VK_HOME = 0x24;
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;
constexpr WPARAM VK_INSERT = 0x2D;
constexpr WPARAM VK_DELETE = 0x2E;
constexpr WPARAM VK_NUMPAD0 = 0x60;
constexpr WPARAM VK_MULTIPLY = 0x6A;
constexpr WPARAM VK_ADD = 0x6B;
constexpr WPARAM VK_SUBTRACT = 0x6D;
constexpr WPARAM VK_DECIMAL = 0x6E;
constexpr WPARAM VK_DIVIDE = 0x6F;
constexpr WPARAM VK_F1 = 0x70;
constexpr WPARAM VK_F4 = 0x73;
constexpr WPARAM VK_F10 = 0x79;

// Window and class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_OWNDC = 0x0020;
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000u;
constexpr DWORD WS_EX_TOPMOST = 0x00000008u;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000u;
constexpr int GWL_USERDATA = -21;
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int BLACK_BRUSH = 4;
#define IDC_ARROW (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32512)))

// PeekMessage.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// Message boxes.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr int IDOK = 1;

// Display modes.
constexpr DWORD DM_BITSPERPEL = 0x00040000;
constexpr DWORD DM_PELSWIDTH = 0x00080000;
constexpr DWORD DM_PELSHEIGHT = 0x00100000;
constexpr DWORD CDS_FULLSCREEN = 0x00000004;
constexpr LONG DISP_CHANGE_SUCCESSFUL = 0;
constexpr LONG DISP_CHANGE_FAILED = -1;
constexpr LONG DISP_CHANGE_BADMODE = -2;

// Pixel formats.
constexpr DWORD PFD_DOUBLEBUFFER = 0x00000001;
constexpr DWORD PFD_DRAW_TO_WINDOW = 0x00000004;
constexpr DWORD PFD_SUPPORT_OPENGL = 0x00000020;
constexpr BYTE PFD_TYPE_RGBA = 0;
constexpr BYTE PFD_MAIN_PLANE = 0;

constexpr LPARAM MAKELPARAM(WORD lo, WORD hi) {
  return static_cast<LPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}

// Process and classes.
HMODULE GetModuleHandleA(LPCSTR moduleName);
ATOM RegisterClassExA(const WNDCLASSEXA *wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursorName);
// The back ends paint no window background of their own: the brush is only
// a distinct handle.
HGDIOBJ GetStockObject(int object);

// Windows. CreateWindowExA takes the client size: on this desktop the window
// manager draws the frame outside it, so AdjustWindowRectEx leaves the
// rectangle as it is.
BOOL AdjustWindowRectEx(RECT *rect, DWORD style, BOOL menu, DWORD exStyle);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL IsWindow(HWND window);
LONG_PTR GetWindowLongA(HWND window, int index);
LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Messages.
BOOL PeekMessageA(MSG *msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg);
LRESULT DispatchMessageA(const MSG *msg);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Blocks until a message arrives; uses no processor time while it waits.
BOOL WaitMessage();

// Display mode, pointer and message boxes.
LONG ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags);
int ShowCursor(BOOL show);
// Shows a modal box; where none can be shown, writes "caption: text" as one
// line to standard error instead and returns IDOK all the same.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// OpenGL on a window.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *descriptor);
BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR *descriptor);
HGLRC wglCreateContext(HDC dc);
BOOL wglMakeCurrent(HDC dc, HGLRC context);
BOOL wglDeleteContext(HGLRC context);
BOOL SwapBuffers(HDC dc);

// Resources carried inside the executable. Types and names are compared
// without regard to letter case; the bytes stay valid and unchanged for the
// whole run. A missing entry gives a null handle, and a null handle gives a
// null pointer and a size of 0.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);
DWORD SizeofResource(HMODULE module, HRSRC resource);

// Time.
BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER *count);
DWORD timeGetTime();
void Sleep(DWORD milliseconds);

#endif

// The program's own message: switch between windowed and full screen. A back
// end posts it when asked from outside the program (on Linux, SIGUSR1); on
// Windows another program posts it to the window (tests/windows/post_toggle.cpp).
constexpr UINT WM_TOGGLEFULLSCREEN = WM_USER + 1;
