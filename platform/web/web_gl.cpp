// Device and OpenGL contexts of the browser back end, and the few OpenGL 1.1
// habits of the scene and the loaders that WebGL 1 refuses, translated where
// the calls leave the program.
//
// The context comes from Emscripten's EGL, one of the set-ups its legacy GL
// emulation (glBegin/glEnd, matrices, GLU) attaches itself to; the canvas is
// the window's one surface.
#include <EGL/egl.h>
#include <GL/gl.h>
#include <emscripten.h>

#include <algorithm>
#include <vector>

#include "platform/core/backend.h"
#include "platform/web/web_backend.h"
#include "platform/web/web_immediate.h"

namespace {

constexpr int offeredFormat = 1;

struct WebGl {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLSurface surface = EGL_NO_SURFACE;
  EGLContext context = EGL_NO_CONTEXT;
};
WebGl gl;
bool preserveDrawing = false;
uint64_t framesShown = 0;

bool Supported(const PIXELFORMATDESCRIPTOR *pfd) {
  if (pfd == nullptr || pfd->iPixelType != PFD_TYPE_RGBA) return false;
  constexpr DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
  return (pfd->dwFlags & needed) == needed;
}

// Emscripten's EGL passes its own record of attributes to the canvas, and
// has no attribute for keeping the drawing buffer; it is set on that record.
EM_JS(void, web_keep_drawing_buffer, (int keep),
      { EGL.contextAttributes.preserveDrawingBuffer = !!keep; });

bool CreateContext() {
  gl.display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  if (gl.display == EGL_NO_DISPLAY || !eglInitialize(gl.display, nullptr, nullptr)) return false;
  // No alpha: the canvas is opaque like a window, whatever alpha the scene
  // leaves in the frame. A depth buffer of 16 bits, as on the desktop.
  const EGLint configAttributes[] = {EGL_RED_SIZE,   8, EGL_GREEN_SIZE, 8,  EGL_BLUE_SIZE,    8,
                                     EGL_ALPHA_SIZE, 0, EGL_DEPTH_SIZE, 16, EGL_STENCIL_SIZE, 0,
                                     EGL_SAMPLES,    0, EGL_NONE};
  EGLConfig config;
  EGLint configs = 0;
  if (!eglChooseConfig(gl.display, configAttributes, &config, 1, &configs) || configs == 0)
    return false;
  gl.surface = eglCreateWindowSurface(gl.display, config, 0, nullptr);
  if (gl.surface == EGL_NO_SURFACE) return false;
  web_keep_drawing_buffer(preserveDrawing ? 1 : 0);
  const EGLint contextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
  gl.context = eglCreateContext(gl.display, config, EGL_NO_CONTEXT, contextAttributes);
  return gl.context != EGL_NO_CONTEXT;
}

void DestroyContext() {
  if (gl.display == EGL_NO_DISPLAY) return;
  eglMakeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (gl.context != EGL_NO_CONTEXT) eglDestroyContext(gl.display, gl.context);
  if (gl.surface != EGL_NO_SURFACE) eglDestroySurface(gl.display, gl.surface);
  gl = WebGl{};
}

} // namespace

void WebPreserveDrawing(bool on) { preserveDrawing = on; }

HDC GetDC(HWND window) {
  return PlatformWindowFromHandle(window) != nullptr ? reinterpret_cast<HDC>(window) : nullptr;
}

int ReleaseDC(HWND window, HDC dc) { return reinterpret_cast<HWND>(dc) == window ? 1 : 0; }

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *descriptor) {
  return PlatformWindowFromHandle(reinterpret_cast<HWND>(dc)) != nullptr && Supported(descriptor)
             ? offeredFormat
             : 0;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR *) {
  return PlatformWindowFromHandle(reinterpret_cast<HWND>(dc)) != nullptr && format == offeredFormat
             ? TRUE
             : FALSE;
}

HGLRC wglCreateContext(HDC dc) {
  if (PlatformWindowFromHandle(reinterpret_cast<HWND>(dc)) == nullptr ||
      gl.context != EGL_NO_CONTEXT)
    return nullptr;
  if (!CreateContext()) {
    DestroyContext();
    return nullptr;
  }
  return reinterpret_cast<HGLRC>(gl.context);
}

BOOL wglMakeCurrent(HDC, HGLRC context) {
  if (gl.display == EGL_NO_DISPLAY) return context == nullptr ? TRUE : FALSE;
  if (context == nullptr)
    return eglMakeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) ? TRUE
                                                                                      : FALSE;
  if (reinterpret_cast<EGLContext>(context) != gl.context) return FALSE;
  return eglMakeCurrent(gl.display, gl.surface, gl.surface, gl.context) ? TRUE : FALSE;
}

BOOL wglDeleteContext(HGLRC context) {
  if (context == nullptr || reinterpret_cast<EGLContext>(context) != gl.context) return FALSE;
  DestroyContext();
  return TRUE;
}

// The browser shows what was drawn once the program gives it its turn; the
// shell's loop then goes on from here with the next animation frame.
BOOL SwapBuffers(HDC dc) {
  if (PlatformWindowFromHandle(reinterpret_cast<HWND>(dc)) == nullptr) return FALSE;
  ++framesShown;
  WebYieldToNextFrame();
  return TRUE;
}

// For the page: frames handed to the browser since the program started.
extern "C" EMSCRIPTEN_KEEPALIVE double velmor_frames() { return static_cast<double>(framesShown); }

// OpenGL 1.1 as the scene, the loaders and GLU call it, made acceptable to
// WebGL 1. These replace the calls at link time (wasm-ld --wrap), in our code
// and in libGLU.a alike; GLU's mipmap builder passes the loader's internal
// format on to glTexImage2D, where a header of ours could not reach it.
extern "C" {

void __real_glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                         GLsizei height, GLint border, GLenum format, GLenum type,
                         const void *pixels);
void __real_glTexParameteri(GLenum target, GLenum name, GLint value);

// WebGL 1 has no sized internal formats (nor the old component counts): the
// texture takes the format of the data given.
void __wrap_glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                         GLsizei height, GLint border, GLenum format, GLenum type,
                         const void *pixels) {
  if (internalFormat == GL_RGB8 || internalFormat == 3) internalFormat = GL_RGB;
  if (internalFormat == GL_RGBA8 || internalFormat == 4) internalFormat = GL_RGBA;
  __real_glTexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
}

// GL_CLAMP mixes the border colour into the outermost half texel; WebGL 1
// clamps only to the edge's own texels, the nearest it has, so a picture's
// outermost pixels come out a little brighter than on the desktop.
void __wrap_glTexParameteri(GLenum target, GLenum name, GLint value) {
  if ((name == GL_TEXTURE_WRAP_S || name == GL_TEXTURE_WRAP_T) && value == GL_CLAMP)
    value = GL_CLAMP_TO_EDGE;
  __real_glTexParameteri(target, name, value);
}

} // extern "C"

namespace {

// Between glBegin and glEnd the vertices are collected with the current
// colour and texture coordinate, and drawn at glEnd (web_immediate.h).
struct Immediate {
  bool inside = false;
  GLenum mode = GL_POINTS;
  GLfloat colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  GLfloat texCoord[2] = {0.0f, 0.0f};
  std::vector<WebVertex> vertices;
  std::vector<WebDraw> draws;
};
Immediate immediate;

} // namespace

extern "C" {

void __real_glBegin(GLenum mode);
void __real_glEnd();
void __real_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void __real_glTexCoord2f(GLfloat s, GLfloat t);
void __real_glVertex2f(GLfloat x, GLfloat y);

void __wrap_glBegin(GLenum mode) {
  immediate.inside = true;
  immediate.mode = mode;
  immediate.vertices.clear();
}

void __wrap_glEnd() {
  if (!immediate.inside) return;
  immediate.inside = false;
  const std::vector<WebVertex> &vertices = immediate.vertices;
  WebImmediateDraws(immediate.mode, vertices.data(), vertices.size(), &immediate.draws);
  for (const WebDraw &draw : immediate.draws) {
    // One colour is given before glBegin, where the emulation keeps it whole.
    if (draw.oneColour) {
      const GLfloat *c = vertices[draw.first].colour;
      __real_glColor4f(c[0], c[1], c[2], c[3]);
    }
    __real_glBegin(immediate.mode);
    for (size_t i = draw.first; i < draw.first + draw.count; ++i) {
      const WebVertex &v = vertices[i];
      if (!draw.oneColour) __real_glColor4f(v.colour[0], v.colour[1], v.colour[2], v.colour[3]);
      __real_glTexCoord2f(v.texCoord[0], v.texCoord[1]);
      __real_glVertex2f(v.position[0], v.position[1]);
    }
    __real_glEnd();
  }
  // A colour set between glBegin and glEnd stays the current one.
  const GLfloat *c = immediate.colour;
  __real_glColor4f(c[0], c[1], c[2], c[3]);
}

void __wrap_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  immediate.colour[0] = r;
  immediate.colour[1] = g;
  immediate.colour[2] = b;
  immediate.colour[3] = a;
  if (!immediate.inside) __real_glColor4f(r, g, b, a);
}

void __wrap_glColor3f(GLfloat r, GLfloat g, GLfloat b) { __wrap_glColor4f(r, g, b, 1.0f); }

void __wrap_glTexCoord2f(GLfloat s, GLfloat t) {
  immediate.texCoord[0] = s;
  immediate.texCoord[1] = t;
}

// Outside glBegin and glEnd a vertex draws nothing, as in OpenGL.
void __wrap_glVertex2f(GLfloat x, GLfloat y) {
  if (!immediate.inside) return;
  WebVertex v{};
  std::copy(immediate.colour, immediate.colour + 4, v.colour);
  v.texCoord[0] = immediate.texCoord[0];
  v.texCoord[1] = immediate.texCoord[1];
  v.position[0] = x;
  v.position[1] = y;
  immediate.vertices.push_back(v);
}

} // extern "C"

extern "C" {

// WebGL shades smoothly and has no perspective-correction hint (it always
// corrects); only other requests go on, so that the console shows real errors.
void __real_glHint(GLenum target, GLenum mode);
void __real_glShadeModel(GLenum mode);

void __wrap_glHint(GLenum target, GLenum mode) {
  if (target != GL_PERSPECTIVE_CORRECTION_HINT) __real_glHint(target, mode);
}

void __wrap_glShadeModel(GLenum mode) {
  if (mode != GL_SMOOTH) __real_glShadeModel(mode);
}

} // extern "C"
