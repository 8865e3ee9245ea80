// Device contexts and OpenGL contexts of the live back end. A window has one
// device context (its own, as with a class of CS_OWNDC); X11 fixes its pixel
// format when the window is created, so SetPixelFormat accepts exactly the
// format that ChoosePixelFormat offers.
#include <SDL2/SDL.h>

#include <cstdio>

#include "platform/core/backend.h"
#include "platform/sdl/sdl_backend.h"

namespace {

// The one format every window of this back end has: RGBA, double-buffered,
// with a depth buffer of at least 16 bits.
constexpr int offeredFormat = 1;

bool Supported(const PIXELFORMATDESCRIPTOR *pfd) {
  if (pfd == nullptr || pfd->iPixelType != PFD_TYPE_RGBA) return false;
  constexpr DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
  return (pfd->dwFlags & needed) == needed;
}

} // namespace

HDC GetDC(HWND handle) {
  PlatformWindow *window = PlatformWindowFromHandle(handle);
  if (window == nullptr || window->native == nullptr) return nullptr;
  static_cast<SdlWindow *>(window->native)->dcHeld = true;
  return reinterpret_cast<HDC>(handle);
}

int ReleaseDC(HWND handle, HDC dc) {
  SdlWindow *native = SdlWindowFromDc(dc);
  if (native == nullptr || reinterpret_cast<HWND>(dc) != handle || !native->dcHeld) return 0;
  native->dcHeld = false;
  return 1;
}

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *descriptor) {
  return SdlWindowFromDc(dc) != nullptr && Supported(descriptor) ? offeredFormat : 0;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR *descriptor) {
  return SdlWindowFromDc(dc) != nullptr && format == offeredFormat && Supported(descriptor);
}

HGLRC wglCreateContext(HDC dc) {
  SdlWindow *native = SdlWindowFromDc(dc);
  if (native == nullptr) return nullptr;
  SDL_GLContext context = SDL_GL_CreateContext(native->window);
  if (context == nullptr)
    std::fprintf(stderr, "velmor: cannot create an OpenGL context: %s\n", SDL_GetError());
  return static_cast<HGLRC>(context);
}

BOOL wglMakeCurrent(HDC dc, HGLRC context) {
  SdlWindow *native = SdlWindowFromDc(dc);
  if (context == nullptr) {
    // Releasing works with or without a window; SDL needs one only to bind.
    return SDL_GL_MakeCurrent(native != nullptr ? native->window : nullptr, nullptr) == 0;
  }
  if (native == nullptr) return FALSE;
  return SDL_GL_MakeCurrent(native->window, static_cast<SDL_GLContext>(context)) == 0;
}

BOOL wglDeleteContext(HGLRC context) {
  if (context == nullptr) return FALSE;
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
  return TRUE;
}

BOOL SwapBuffers(HDC dc) {
  SdlWindow *native = SdlWindowFromDc(dc);
  if (native == nullptr) return FALSE;
  SDL_GL_SwapWindow(native->window);
  return TRUE;
}
