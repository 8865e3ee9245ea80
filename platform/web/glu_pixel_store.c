/* Compiled by scripts/third-party.sh into the browser build's libGLU.a beside
 * GLU's own mipmap.c, whose glGetIntegerv and glPixelStorei calls are renamed
 * to these two: the one answer to the modes below, for every program that
 * links that GLU (the page's and the mipmap check's alike).
 *
 * GLU's mipmap builder saves every pixel-store mode, sets the ones it needs,
 * uploads, and restores them. WebGL 1 has only the two alignments among those
 * modes: querying any other raises GL_INVALID_ENUM and leaves GLU's saved copy
 * unwritten, and GLU then reads the picture with whatever was on the stack as
 * its row length and skips (out-of-bounds reads). WebGL 1 behaves as if those
 * modes held GL's defaults (no row length, no skips, no byte swapping), so they
 * read as 0 here and GLU's writes of them, which only ever put those defaults
 * back, are dropped instead of raising GL_INVALID_ENUM in the program. */
#include <GL/gl.h>

void WebGluGetIntegerv(GLenum pname, GLint *value);
void WebGluPixelStorei(GLenum pname, GLint value);

static int IsFixedInWebGL1(GLenum pname) {
  switch (pname) {
  case GL_UNPACK_SWAP_BYTES:
  case GL_UNPACK_LSB_FIRST:
  case GL_UNPACK_ROW_LENGTH:
  case GL_UNPACK_SKIP_ROWS:
  case GL_UNPACK_SKIP_PIXELS:
  case GL_UNPACK_IMAGE_HEIGHT:
  case GL_UNPACK_SKIP_IMAGES:
  case GL_PACK_SWAP_BYTES:
  case GL_PACK_LSB_FIRST:
  case GL_PACK_ROW_LENGTH:
  case GL_PACK_SKIP_ROWS:
  case GL_PACK_SKIP_PIXELS:
  case GL_PACK_IMAGE_HEIGHT:
  case GL_PACK_SKIP_IMAGES: return 1;
  default: return 0;
  }
}

void WebGluGetIntegerv(GLenum pname, GLint *value) {
  if (IsFixedInWebGL1(pname)) {
    *value = 0;
    return;
  }
  glGetIntegerv(pname, value);
}

void WebGluPixelStorei(GLenum pname, GLint value) {
  if (IsFixedInWebGL1(pname)) return;
  glPixelStorei(pname, value);
}
