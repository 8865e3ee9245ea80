// Uncompressed true-colour TGA pictures from the executable's resources to GL
// textures (one level, no mipmaps, rows in stored order).
#pragma once

#include <cstdint>

#include <GL/gl.h>

struct TgaImage {
  uint8_t *pixels; // R, G, B(, A) per pixel, rows as stored
  uint32_t bitsPerPixel;
  uint32_t imageWidth;
  uint32_t imageHeight;
  GLuint texture;
};

// 1 when the texture was made; 0 for a missing or short resource and for any
// header other than uncompressed true-colour at 24 or 32 bits.
uint8_t LoadTgaTexture(TgaImage *image, const char *resourceName);
