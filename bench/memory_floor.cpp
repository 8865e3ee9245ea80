// velmor-bench-memory-floor: the floor of the intro's memory figure. It makes
// the GL context the intro makes (an SDL2 window on X11 with the attributes
// platform/sdl asks for), loads the JPEG pictures named on its command line
// through the intro's own loader (LoadJpegTexture: decoding, then
// gluBuild2DMipmaps), and holds them until it is interrupted. Its peak
// resident size is what the libraries, the driver and those textures need;
// the intro's scene, music and audio are not in it.
//
//   velmor-bench-memory-floor NAME...
//
// Exit status 0 once SIGINT or SIGTERM ends it; 1 when a name is
// not an embedded picture or the window or its context cannot be had; 2 for
// no names.
#include <SDL2/SDL.h>

#include <GL/gl.h>
#include <csignal>
#include <cstdio>
#include <vector>

#include "assets/jpeg_texture.h"
#include "assets/resources.h"

namespace {

// The intro's window: 800x600, the size of the display it runs on here.
constexpr int windowWidth = 800;
constexpr int windowHeight = 600;

// What platform/sdl's SetGlAttributes asks for: 8 bits per colour channel, a
// 16-bit depth buffer, double-buffered. The profile is left at SDL's default,
// as there, which gives the same legacy (compatibility) context.
void SetIntroGlAttributes() {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: velmor-bench-memory-floor NAME...\n");
    return 2;
  }
  // A misspelt name would make a floor without that texture: refuse it
  // before anything is loaded.
  for (int i = 1; i < argc; ++i)
    if (FindEmbeddedResource("JPG", argv[i]).data == nullptr) {
      std::fprintf(stderr, "velmor-bench-memory-floor: no embedded picture \"%s\"\n", argv[i]);
      return 1;
    }
  // The stop signals are taken with sigwait: blocked here, before any thread
  // exists, so that every thread (llvmpipe's too) leaves them pending, and
  // kept from SDL, whose wait for X events would not wake for them.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "velmor-bench-memory-floor: %s\n", SDL_GetError());
    return 1;
  }
  SetIntroGlAttributes();
  SDL_Window *window =
      SDL_CreateWindow("velmor-bench-memory-floor", 0, 0, windowWidth, windowHeight,
                       SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  SDL_GLContext context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
  if (context == nullptr) {
    std::fprintf(stderr, "velmor-bench-memory-floor: %s\n", SDL_GetError());
    if (window != nullptr) SDL_DestroyWindow(window);
    SDL_Quit();
    return 1;
  }
  SDL_ShowWindow(window);

  std::vector<GLuint> textures(static_cast<size_t>(argc - 1), 0);
  for (int i = 1; i < argc; ++i) LoadJpegTexture(&textures[static_cast<size_t>(i - 1)], argv[i]);
  glFinish();

  int stop = 0;
  sigwait(&stops, &stop);

  glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
