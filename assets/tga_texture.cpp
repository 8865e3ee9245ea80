#include "assets/tga_texture.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "app/printf_format.h"
#include "assets/asset_alloc.h"
#include "assets/pixel_bytes.h"
#include "assets/resources.h"

namespace {

constexpr size_t headerSize = 18;
constexpr uint8_t topRowFirst = 0x20; // image descriptor, bit 5

char failure[160] = "";

// Records why the load is refused, for TgaLoadFailure, and gives the refusal.
VELMOR_PRINTF_FORMAT(1, 2) uint8_t Refuse(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(failure, sizeof failure, format, arguments);
  va_end(arguments);
  return 0;
}

bool AllZero(const uint8_t *bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

} // namespace

const char *TgaLoadFailure() { return failure; }

uint8_t LoadTgaTexture(TgaImage *image, const char *resourceName) {
  failure[0] = '\0';
  ResourceBytes resource = FindEmbeddedResource("TGA", resourceName);
  if (resource.data == nullptr) return Refuse("no such resource");
  if (resource.size < headerSize)
    return Refuse("%u bytes, shorter than the %zu-byte header", resource.size, headerSize);
  // No ID field, no colour map, uncompressed true-colour, origin (0, 0).
  const uint8_t *bytes = resource.data;
  if (bytes[0] != 0) return Refuse("an ID field (%u bytes)", bytes[0]);
  if (bytes[1] != 0) return Refuse("a colour map (type %u)", bytes[1]);
  if (!AllZero(bytes + 3, 5)) return Refuse("colour map fields that are not zero");
  if (bytes[2] != 2) return Refuse("image type %u is not 2 (uncompressed true-colour)", bytes[2]);
  if (!AllZero(bytes + 8, 4))
    return Refuse("origin (%u, %u) is not (0, 0)", bytes[8] + 256u * bytes[9],
                  bytes[10] + 256u * bytes[11]);

  uint32_t width = bytes[12] + 256u * bytes[13];
  uint32_t height = bytes[14] + 256u * bytes[15];
  image->imageWidth = width;
  image->imageHeight = height;
  if (width == 0 || height == 0) return Refuse("no pixels: %u wide, %u high", width, height);
  uint32_t depth = bytes[16];
  if (depth != 24 && depth != 32) return Refuse("pixel depth %u is not 24 or 32", depth);
  size_t bytesPerPixel = depth / 8;
  std::optional<size_t> fitting = PixelBytes(width, height, bytesPerPixel);
  // The pixel block must lie wholly inside the resource; a count past size_t
  // cannot, and is told in 64 bits, where 65535 x 65535 x 4 is exact.
  size_t available = resource.size - headerSize;
  if (!fitting || available < *fitting)
    return Refuse("%zu bytes of pixels where %ux%u at %u bits needs %llu", available, width, height,
                  depth, static_cast<unsigned long long>(uint64_t{width} * height * bytesPerPixel));
  size_t size = *fitting;

  auto *pixels = static_cast<uint8_t *>(AssetAlloc(size));
  if (pixels == nullptr) return Refuse("no memory for %zu bytes of pixels", size);
  // Bottom row first, as every other picture is uploaded: texture coordinate
  // t = 0 is the picture's bottom edge.
  size_t stride = size_t{width} * bytesPerPixel;
  const uint8_t *stored = bytes + headerSize;
  if ((bytes[17] & topRowFirst) != 0) {
    for (size_t row = 0; row < height; ++row)
      std::memcpy(pixels + row * stride, stored + (height - 1 - row) * stride, stride);
  } else {
    std::memcpy(pixels, stored, size);
  }
  for (size_t i = 0; i < size; i += bytesPerPixel) std::swap(pixels[i], pixels[i + 2]);
  image->pixels = pixels;
  image->bitsPerPixel = depth;

  glGenTextures(1, &image->texture);
  glBindTexture(GL_TEXTURE_2D, image->texture);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  GLenum format = image->bitsPerPixel == 24 ? GL_RGB : GL_RGBA;
  // Rows are packed without padding; with GL's default alignment of 4, a
  // 24-bit row whose length is not a multiple of 4 would be read past its end.
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), static_cast<GLsizei>(width),
               static_cast<GLsizei>(height), 0, format, GL_UNSIGNED_BYTE, image->pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  return 1;
}
