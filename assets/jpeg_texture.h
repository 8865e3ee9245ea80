// JPEG pictures from the executable's resources to mipmapped GL textures.
#pragma once

#include <cstdint>
#include <cstdio>

#include <GL/gl.h>
#include <jpeglib.h>

struct DecodedImage {
  int32_t rowStride;   // bytes per row: width times 3
  int32_t imageWidth;  // pixels
  int32_t imageHeight; // rows
  uint8_t *pixels;     // R, G, B; bottom row first once decoding has returned
};

// libjpeg's source record followed by the two bytes it is fed when the data
// run out before an end-of-image marker.
struct MemorySource {
  jpeg_source_mgr pub;
  JOCTET endMarker[2];
};

// Decodes resource `resourceName` of type "JPG" into a new texture whose name
// goes into *textureSlot. Always returns 1: an undecodable picture ends the
// process inside the JPEG library (status 1, its message on standard error);
// one there is no memory for (or too large to address at all) is reported in
// a message box captioned with its name, and *textureSlot is left as it was.
int32_t LoadJpegTexture(GLuint *textureSlot, const char *resourceName);

// The picture's pixels, bottom row first; null, with nothing left allocated,
// when memory for the record, the pixels or the row turn could not be had,
// as for pixels whose byte count does not fit in size_t.
// The caller frees pixels and record with free().
DecodedImage *DecodeJpegResource(const char *resourceName);

// Reads the whole picture from a decompressor whose source is installed.
// Without memory for the pixels, or when their byte count does not fit in
// size_t, it aborts the decompression and returns FALSE with image->pixels
// null.
boolean ReadJpegImage(j_decompress_ptr decompressor, DecodedImage *image);

// Feeds the decompressor from memory, without copying the compressed bytes.
void InstallMemorySource(j_decompress_ptr decompressor, const uint8_t *data, uint32_t byteCount);
