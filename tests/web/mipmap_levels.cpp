// Prints every level gluBuild2DMipmaps hands to glTexImage2D for one RGB
// picture: its size and a hash of its texels. Built twice, against the
// desktop's GLU and against the GLU compiled for the browser, so that the two
// builders can be compared texel for texel. The GL the builder asks questions
// of is this file's: both builds get the same answers, so any difference in
// the levels is the builder's own.
//
//   mipmap_levels WIDTH HEIGHT FILE.rgb
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr GLint maxTextureSize = 4096;
GLint unpackAlignment = 4;
GLint proxyWidth = 0, proxyHeight = 0;

uint64_t Fnv1a(const unsigned char *data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

int BytesPerPixel(GLenum format) {
  switch (format) {
  case GL_RGB: return 3;
  case GL_RGBA: return 4;
  case GL_LUMINANCE: return 1;
  case GL_LUMINANCE_ALPHA: return 2;
  default: return 0;
  }
}

} // namespace

extern "C" {

void glGetIntegerv(GLenum name, GLint *value) {
  switch (name) {
  case GL_MAX_TEXTURE_SIZE: *value = maxTextureSize; break;
  case GL_UNPACK_ALIGNMENT:
  case GL_PACK_ALIGNMENT: *value = unpackAlignment; break;
  default: *value = 0; break;
  }
}

void glPixelStorei(GLenum name, GLint value) {
  if (name == GL_UNPACK_ALIGNMENT) unpackAlignment = value;
}

const GLubyte *glGetString(GLenum) { return reinterpret_cast<const GLubyte *>("1.1"); }

GLenum glGetError() { return GL_NO_ERROR; }

void glGetTexLevelParameteriv(GLenum, GLint, GLenum name, GLint *value) {
  *value = name == GL_TEXTURE_WIDTH ? proxyWidth : name == GL_TEXTURE_HEIGHT ? proxyHeight : 0;
}

// The builder's one-dimensional path, never taken for a picture.
void glTexImage1D(GLenum, GLint level, GLint, GLsizei width, GLint, GLenum, GLenum, const void *) {
  std::printf("level %d %d one-dimensional: unexpected\n", level, width);
}

void glTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint,
                  GLenum format, GLenum type, const void *pixels) {
  if (target == GL_PROXY_TEXTURE_2D) {
    bool fits = width <= maxTextureSize && height <= maxTextureSize;
    proxyWidth = fits ? width : 0;
    proxyHeight = fits ? height : 0;
    return;
  }
  int bytes = BytesPerPixel(format);
  if (type != GL_UNSIGNED_BYTE || bytes == 0 || pixels == nullptr) {
    std::printf("level %d %dx%d unexpected format 0x%x type 0x%x\n", level, width, height, format,
                type);
    return;
  }
  // Rows as the builder laid them out, under its unpack alignment.
  size_t row = (static_cast<size_t>(width) * bytes + unpackAlignment - 1) / unpackAlignment *
               unpackAlignment;
  std::vector<unsigned char> packed;
  for (GLsizei y = 0; y < height; ++y) {
    const auto *start = static_cast<const unsigned char *>(pixels) + y * row;
    packed.insert(packed.end(), start, start + static_cast<size_t>(width) * bytes);
  }
  std::printf("level %d %dx%d %016llx\n", level, width, height,
              static_cast<unsigned long long>(Fnv1a(packed.data(), packed.size())));
}

} // extern "C"

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: mipmap_levels WIDTH HEIGHT FILE.rgb\n");
    return 2;
  }
  int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
  FILE *in = std::fopen(argv[3], "rb");
  if (in == nullptr || std::fread(pixels.data(), 1, pixels.size(), in) != pixels.size()) {
    std::fprintf(stderr, "mipmap_levels: cannot read %d x %d RGB from %s\n", width, height,
                 argv[3]);
    return 1;
  }
  std::fclose(in);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  int result = gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB, width, height, GL_RGB, GL_UNSIGNED_BYTE,
                                 pixels.data());
  std::printf("result %d\n", result);
  return result == 0 ? 0 : 1;
}
