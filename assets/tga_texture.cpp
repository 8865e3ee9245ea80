#include "assets/tga_texture.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "assets/resources.h"

namespace {

constexpr size_t headerSize = 18;
// No ID field, no colour map, uncompressed true-colour, origin (0, 0).
constexpr std::array<uint8_t, 12> acceptedHeader = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};

} // namespace

uint8_t LoadTgaTexture(TgaImage *image, const char *resourceName) {
  ResourceBytes resource = FindEmbeddedResource("TGA", resourceName);
  if (resource.data == nullptr || resource.size < headerSize) return 0;
  const uint8_t *bytes = resource.data;
  if (std::memcmp(bytes, acceptedHeader.data(), acceptedHeader.size()) != 0) return 0;

  uint32_t width = bytes[12] + 256u * bytes[13];
  uint32_t height = bytes[14] + 256u * bytes[15];
  image->imageWidth = width;
  image->imageHeight = height;
  if (width == 0 || height == 0) return 0;
  uint32_t depth = bytes[16];
  if (depth != 24 && depth != 32) return 0;
  size_t bytesPerPixel = depth / 8;
  size_t size = size_t{width} * height * bytesPerPixel;
  // The pixel block must lie wholly inside the resource.
  if (resource.size - headerSize < size) return 0;

  image->bitsPerPixel = depth;
  image->pixels = static_cast<uint8_t *>(std::malloc(size));
  std::memcpy(image->pixels, bytes + headerSize, size);
  for (size_t i = 0; i < size; i += bytesPerPixel)
    std::swap(image->pixels[i], image->pixels[i + 2]);

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
