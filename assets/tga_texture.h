// Uncompressed true-colour TGA pictures from the executable's resources to GL
// textures (one level, no mipmaps, bottom row first).
#pragma once

#include <cstdint>

#include <GL/gl.h>

struct TgaImage {
  uint8_t *pixels; // R, G, B(, A) per pixel, bottom row first
  uint32_t bitsPerPixel;
  uint32_t imageWidth;
  uint32_t imageHeight;
  GLuint texture;
};

// 1 when the texture was made; the pixel copy is then the caller's to free().
// 0 for a missing resource, one shorter than its header or than the pixels the
// header describes, and for every header but the one layout read here: no ID
// field, no colour map (type 0 and its fields all zero), image type 2
// (uncompressed true-colour), origin (0, 0), a width and height above zero
// and 24 or 32 bits a pixel. The image descriptor (byte 17) is read for the
// row order only: a picture stored top row first has its rows turned. On a 0
// nothing is allocated or uploaded and only the width and height may have
// been written, once the header got that far.
uint8_t LoadTgaTexture(TgaImage *image, const char *resourceName);

// Why the latest LoadTgaTexture returned 0, in a few words for a message
// ("pixel depth 16 is not 24 or 32"); empty after a load that succeeded.
const char *TgaLoadFailure();
