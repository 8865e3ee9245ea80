// The offscreen back end: windows are records only, the GL context draws into a
// framebuffer object on a surfaceless EGL display (Mesa's software renderer
// here, a GPU's driver where there is one), message boxes go to standard
// error, and time is virtual: Sleep moves the clock instead of blocking.
#define GL_GLEXT_PROTOTYPES 1
#include "platform/offscreen/offscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <string>

#include "platform/core/backend.h"
#include "platform/virtual_clock.h"

namespace {

int64_t now = 0;
int64_t clockRate = 0; // frames a second
std::string glError;

struct OffscreenGl {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  GLuint framebuffer = 0, colour = 0, depth = 0;
  int width = 0, height = 0; // the framebuffer's: the window's it was made for
};
OffscreenGl gl;

EGLDisplay OpenDisplay() {
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay == nullptr) return EGL_NO_DISPLAY;
  // A GPU's own driver first, where the system has one; then Mesa's.
  auto queryDevices =
      reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
  if (queryDevices != nullptr) {
    EGLDeviceEXT devices[4];
    EGLint count = 0;
    if (queryDevices(4, devices, &count) && count > 0) {
      for (EGLint i = 0; i < count; ++i) {
        EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        EGLint major, minor;
        if (d != EGL_NO_DISPLAY && eglInitialize(d, &major, &minor)) {
          const char *vendor = eglQueryString(d, EGL_VENDOR);
          // Mesa's device entries include the software one; prefer surfaceless for it.
          if (vendor != nullptr && std::string(vendor).find("Mesa") == std::string::npos) return d;
          eglTerminate(d);
        }
      }
    }
  }
  EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  EGLint major, minor;
  if (d != EGL_NO_DISPLAY && eglInitialize(d, &major, &minor)) return d;
  return EGL_NO_DISPLAY;
}

bool CreateContext() {
  gl.display = OpenDisplay();
  if (gl.display == EGL_NO_DISPLAY) {
    glError = "no EGL display (neither a GPU device nor Mesa's surfaceless platform)";
    return false;
  }
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT, EGL_NONE};
  EGLConfig config;
  EGLint configs = 0;
  if (!eglChooseConfig(gl.display, configAttributes, &config, 1, &configs) || configs == 0 ||
      !eglBindAPI(EGL_OPENGL_API)) {
    glError = "EGL offers no desktop OpenGL configuration";
    return false;
  }
  gl.context = eglCreateContext(gl.display, config, EGL_NO_CONTEXT, nullptr);
  if (gl.context == EGL_NO_CONTEXT) {
    glError = "EGL could not create an OpenGL context";
    return false;
  }
  glError.clear();
  return true;
}

bool MakeCurrentWithFramebuffer(const PlatformWindow *window) {
  if (!eglMakeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, gl.context)) return false;
  if (gl.framebuffer == 0) {
    gl.width = window->width;
    gl.height = window->height;
    glGenFramebuffers(1, &gl.framebuffer);
    glGenRenderbuffers(1, &gl.colour);
    glGenRenderbuffers(1, &gl.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, gl.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, gl.width, gl.height);
    glBindRenderbuffer(GL_RENDERBUFFER, gl.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, gl.width, gl.height);
    glBindFramebuffer(GL_FRAMEBUFFER, gl.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, gl.colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, gl.depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      glError = "the offscreen framebuffer is incomplete";
      return false;
    }
  }
  glBindFramebuffer(GL_FRAMEBUFFER, gl.framebuffer);
  return true;
}

void DestroyContext() {
  if (gl.display == EGL_NO_DISPLAY) return;
  eglMakeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (gl.context != EGL_NO_CONTEXT) eglDestroyContext(gl.display, gl.context);
  eglTerminate(gl.display);
  gl = OffscreenGl{};
}

} // namespace

int64_t VirtualClockNow() { return now; }
void VirtualClockSet(int64_t position) { now = position; }
void VirtualClockSetRate(int framesPerSecond) { clockRate = framesPerSecond; }
const std::string &OffscreenGlError() { return glError; }

void OffscreenReadFrame(uint8_t *rgb) {
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, gl.width, gl.height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}

int BackendCallHook(const char *) { return 0; }
int BackendOpenDisplay() { return 1; }
void BackendCloseDisplay() {}
int BackendCreateWindow(PlatformWindow *, LPCSTR, int, int) { return 1; }
void BackendDestroyWindow(PlatformWindow *) {}
void BackendShowWindow(PlatformWindow *, int) {}
void BackendPumpEvents(int) {}

// No display: there is no mode to switch.
LONG BackendSwitchDisplayMode(const DEVMODEA *) { return DISP_CHANGE_BADMODE; }
int BackendReadDisplayMode(DWORD *, DWORD *) { return 0; }
void BackendRestoreDisplayMode() {}
int ShowCursor(BOOL show) { return show ? 0 : -1; }

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  std::string line =
      std::string(caption != nullptr ? caption : "") + ": " + (text != nullptr ? text : "");
  for (char &c : line)
    if (c == '\n') c = ' ';
  std::fprintf(stderr, "%s\n", line.c_str());
  return IDOK;
}

HDC GetDC(HWND window) {
  return PlatformWindowFromHandle(window) != nullptr ? reinterpret_cast<HDC>(window) : nullptr;
}
int ReleaseDC(HWND, HDC) { return 1; }
int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *pfd) {
  return dc != nullptr && pfd != nullptr;
}
BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR *) {
  return dc != nullptr && format == 1;
}

HGLRC wglCreateContext(HDC dc) {
  if (dc == nullptr || gl.context != EGL_NO_CONTEXT || !CreateContext()) return nullptr;
  return reinterpret_cast<HGLRC>(gl.context);
}

BOOL wglMakeCurrent(HDC dc, HGLRC context) {
  if (context == nullptr) {
    if (gl.display != EGL_NO_DISPLAY)
      eglMakeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return TRUE;
  }
  // A device context here is its window's handle (GetDC).
  const PlatformWindow *window = PlatformWindowFromHandle(reinterpret_cast<HWND>(dc));
  if (window == nullptr) return FALSE;
  return MakeCurrentWithFramebuffer(window) ? TRUE : FALSE;
}

BOOL wglDeleteContext(HGLRC context) {
  if (context == nullptr) return FALSE;
  DestroyContext();
  return TRUE;
}

BOOL SwapBuffers(HDC) {
  glFinish();
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency) {
  frequency->QuadPart = clockRate;
  return TRUE;
}
BOOL QueryPerformanceCounter(LARGE_INTEGER *count) {
  count->QuadPart = now;
  return TRUE;
}
DWORD timeGetTime() { return static_cast<DWORD>(now * 1000 / clockRate); }

// The program never waits here: the time it asked to wait simply passes, and
// the capture tool renders what would have been heard meanwhile.
void Sleep(DWORD milliseconds) { now += static_cast<int64_t>(milliseconds) * clockRate / 1000; }
