// Feeds arbitrary bytes to the TGA loader as the resource "FONT" and checks
// the record against the header it was given: a rejected picture leaves the
// fields the loader promises not to touch, an accepted one holds exactly the
// stored pixels, bottom row first, with red and blue exchanged.
//
// The GL calls are answered here, not by Mesa: Mesa keeps allocations across
// texture uploads, which makes libFuzzer run a full leak check after every
// input (some 30 inputs a second instead of thousands). The stand-in upload
// reads the pixels the way GL would under the current unpack alignment, so a
// row layout that makes GL read past the buffer is caught by AddressSanitizer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <GL/gl.h>

#include "assets/tga_texture.h"
#include "fuzz/support/one_resource.h"
#include "platform/fake/fake_platform.h"

namespace {

constexpr uint8_t untouched = 0xA5;
constexpr size_t headerSize = 18;

[[noreturn]] void Fail(const char *what) {
  std::fprintf(stderr, "tga_fuzzer: %s\n", what);
  std::abort();
}

struct Upload {
  GLuint texture;
  GLsizei width, height;
  GLenum format;
  unsigned sum;
};

GLint unpackAlignment = 4;
GLuint lastName = 0;
GLuint bound = 0;
int uploads = 0;
Upload last;

} // namespace

extern "C" {
void glGenTextures(GLsizei count, GLuint *names) {
  for (GLsizei i = 0; i < count; ++i) names[i] = ++lastName;
}
void glBindTexture(GLenum target, GLuint name) {
  if (target != GL_TEXTURE_2D || name == 0 || name > lastName) Fail("bound an unknown texture");
  bound = name;
}
void glDeleteTextures(GLsizei, const GLuint *) { bound = 0; }
void glTexParameterf(GLenum target, GLenum, GLfloat) {
  if (target != GL_TEXTURE_2D || bound == 0) Fail("texture parameter without a bound texture");
}
void glGetIntegerv(GLenum name, GLint *value) {
  if (name == GL_UNPACK_ALIGNMENT) *value = unpackAlignment;
}
void glPixelStorei(GLenum name, GLint value) {
  if (name == GL_UNPACK_ALIGNMENT) {
    if (value != 1 && value != 2 && value != 4 && value != 8) Fail("invalid unpack alignment");
    unpackAlignment = value;
  }
}
void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const void *pixels) {
  if (target != GL_TEXTURE_2D || level != 0 || border != 0 || type != GL_UNSIGNED_BYTE ||
      bound == 0 || static_cast<GLenum>(internalFormat) != format ||
      (format != GL_RGB && format != GL_RGBA) || width <= 0 || height <= 0 || pixels == nullptr)
    Fail("an upload GL would refuse");
  size_t rowBytes = static_cast<size_t>(width) * (format == GL_RGB ? 3 : 4);
  size_t stride = (rowBytes + unpackAlignment - 1) / unpackAlignment * unpackAlignment;
  const auto *bytes = static_cast<const volatile uint8_t *>(pixels);
  unsigned sum = 0;
  for (GLsizei row = 0; row < height; ++row)
    for (size_t i = 0; i < rowBytes; ++i) sum += bytes[row * stride + i];
  last = Upload{bound, width, height, format, sum};
  ++uploads;
}
}

namespace {

int CheckOneInput(const uint8_t *data, size_t size) {
  SetFuzzResource("TGA", "FONT", data, size);
  // Whatever alignment the caller had, the loader must leave it as it was.
  const GLint callerAlignment = 1 << (size % 4);
  unpackAlignment = callerAlignment;
  int uploadsBefore = uploads;

  TgaImage image;
  std::memset(&image, untouched, sizeof image);
  TgaImage before = image;
  uint8_t made = LoadTgaTexture(&image, "font");

  if (unpackAlignment != callerAlignment) Fail("the caller's unpack alignment was changed");
  if (made != 1) {
    if (made != 0) Fail("result is neither 0 nor 1");
    if (uploads != uploadsBefore) Fail("a rejected picture was uploaded");
    // Nothing is allocated or uploaded on rejection.
    if (image.pixels != before.pixels || image.bitsPerPixel != before.bitsPerPixel ||
        image.texture != before.texture)
      Fail("a rejected picture changed pixels, depth or texture");
    static const uint8_t accepted[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    bool headerRead = size >= headerSize && std::memcmp(data, accepted, sizeof accepted) == 0;
    if (!headerRead &&
        (image.imageWidth != before.imageWidth || image.imageHeight != before.imageHeight))
      Fail("a picture rejected by its header bytes changed the record");
    return 0;
  }

  // Accepted: the header was the one layout the loader knows.
  if (size < headerSize) Fail("accepted a resource shorter than the header");
  static const uint8_t accepted[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  if (std::memcmp(data, accepted, sizeof accepted) != 0) Fail("accepted a foreign header");
  uint32_t width = data[12] | data[13] << 8, height = data[14] | data[15] << 8;
  if (image.imageWidth != width || image.imageHeight != height || width == 0 || height == 0)
    Fail("dimensions differ from the header");
  if (image.bitsPerPixel != data[16] || (data[16] != 24 && data[16] != 32))
    Fail("depth differs from the header");
  size_t bytesPerPixel = image.bitsPerPixel / 8;
  size_t pixelBytes = size_t{width} * height * bytesPerPixel;
  if (headerSize + pixelBytes > size) Fail("accepted a pixel block running past the resource");
  if (image.pixels == nullptr || image.texture == 0) Fail("accepted without pixels or texture");

  if (uploads != uploadsBefore + 1 || last.texture != image.texture ||
      last.width != static_cast<GLsizei>(width) || last.height != static_cast<GLsizei>(height) ||
      last.format != (image.bitsPerPixel == 24 ? GL_RGB : GL_RGBA))
    Fail("the upload does not describe the picture");

  // Rows come out bottom first: a picture whose image descriptor says top
  // row first (bit 5) is turned.
  bool topFirst = (data[17] & 0x20) != 0;
  size_t stride = size_t{width} * bytesPerPixel;
  for (size_t row = 0; row < height; ++row) {
    const uint8_t *stored = data + headerSize + (topFirst ? height - 1 - row : row) * stride;
    const uint8_t *copied = image.pixels + row * stride;
    for (size_t i = 0; i < stride; i += bytesPerPixel) {
      if (copied[i] != stored[i + 2] || copied[i + 1] != stored[i + 1] ||
          copied[i + 2] != stored[i] || (bytesPerPixel == 4 && copied[i + 3] != stored[i + 3]))
        Fail("pixels are not the stored ones, bottom row first, with red and blue exchanged");
    }
  }

  // The record's pixel copy is the caller's to release.
  glDeleteTextures(1, &image.texture);
  std::free(image.pixels);
  return 0;
}

} // namespace

// The platform double records every call; it is emptied around each input so
// that what one input allocates is released within it, or libFuzzer would
// take the growing record for a leak and check for leaks after every input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FakeReset();
  int result = CheckOneInput(data, size);
  FakeReset();
  return result;
}
