#include "assets/jpeg_texture.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include <GL/glu.h>
#include <jerror.h>

#include "assets/asset_alloc.h"
#include "assets/pixel_bytes.h"
#include "assets/resources.h"
#include "platform/platform.h"

namespace {

void IgnoreSource(j_decompress_ptr) {}

// Called only when the data end before an end-of-image marker: warn once and
// hand the library a marker, so it completes the picture from what it has.
boolean FillMemoryInput(j_decompress_ptr decompressor) {
  auto *source = reinterpret_cast<MemorySource *>(decompressor->src);
  WARNMS(decompressor, JWRN_JPEG_EOF);
  source->endMarker[0] = 0xFF;
  source->endMarker[1] = JPEG_EOI;
  source->pub.next_input_byte = source->endMarker;
  source->pub.bytes_in_buffer = 2;
  return TRUE;
}

void SkipMemoryInput(j_decompress_ptr decompressor, long count) {
  if (count <= 0) return;
  jpeg_source_mgr *source = decompressor->src;
  while (count > static_cast<long>(source->bytes_in_buffer)) {
    count -= static_cast<long>(source->bytes_in_buffer);
    FillMemoryInput(decompressor);
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<size_t>(count);
}

} // namespace

void InstallMemorySource(j_decompress_ptr decompressor, const uint8_t *data, uint32_t byteCount) {
  if (decompressor->src == nullptr) {
    decompressor->src = static_cast<jpeg_source_mgr *>((*decompressor->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(decompressor), JPOOL_PERMANENT, sizeof(MemorySource)));
  }
  jpeg_source_mgr *source = decompressor->src;
  source->next_input_byte = data;
  source->bytes_in_buffer = byteCount;
  source->init_source = IgnoreSource;
  source->fill_input_buffer = FillMemoryInput;
  source->skip_input_data = SkipMemoryInput;
  source->resync_to_restart = jpeg_resync_to_restart;
  source->term_source = IgnoreSource;
}

boolean ReadJpegImage(j_decompress_ptr decompressor, DecodedImage *image) {
  jpeg_read_header(decompressor, TRUE);
  // Always three samples per pixel, whatever the stored components: the upload
  // describes RGB pixels and must never read past the buffer.
  decompressor->out_color_space = JCS_RGB;
  jpeg_start_decompress(decompressor);

  image->rowStride =
      static_cast<int32_t>(decompressor->output_width) * decompressor->output_components;
  image->imageWidth = static_cast<int32_t>(decompressor->image_width);
  image->imageHeight = static_cast<int32_t>(decompressor->image_height);
  size_t rows = decompressor->output_height;
  // A count past size_t (the browser's is 32 bits) is memory there is none of.
  std::optional<size_t> size =
      PixelBytes(decompressor->output_width, rows, decompressor->output_components);
  image->pixels = size ? static_cast<uint8_t *>(AssetAlloc(*size)) : nullptr;
  JSAMPROW *rowPointers = nullptr;
  if (image->pixels != nullptr)
    rowPointers = static_cast<JSAMPROW *>(AssetAlloc(rows * sizeof(JSAMPROW)));
  if (rowPointers == nullptr) {
    // Nothing to decode into: the record goes back without pixels, and the
    // decompressor is left ready to be destroyed.
    std::free(image->pixels);
    image->pixels = nullptr;
    jpeg_abort_decompress(decompressor);
    return FALSE;
  }
  for (size_t r = 0; r < rows; ++r) rowPointers[r] = image->pixels + r * image->rowStride;

  JDIMENSION count = 0;
  while (decompressor->output_scanline < decompressor->output_height)
    count +=
        jpeg_read_scanlines(decompressor, rowPointers + count, decompressor->output_height - count);
  std::free(rowPointers);
  return jpeg_finish_decompress(decompressor);
}

DecodedImage *DecodeJpegResource(const char *resourceName) {
  ResourceBytes resource = FindEmbeddedResource("JPG", resourceName);

  jpeg_decompress_struct decompressor;
  jpeg_error_mgr errorManager;
  decompressor.err = jpeg_std_error(&errorManager);
  jpeg_create_decompress(&decompressor);
  InstallMemorySource(&decompressor, resource.data, resource.size);

  auto *image = static_cast<DecodedImage *>(AssetAlloc(sizeof(DecodedImage)));
  if (image == nullptr) {
    jpeg_destroy_decompress(&decompressor);
    return nullptr;
  }
  *image = DecodedImage{};
  ReadJpegImage(&decompressor, image);
  jpeg_destroy_decompress(&decompressor);
  if (image->pixels == nullptr) {
    std::free(image);
    return nullptr;
  }

  // Bottom row first, so that texture coordinate t = 0 is the picture's
  // bottom edge and pictures stand upright in the scene's y-up space.
  size_t stride = static_cast<size_t>(image->rowStride);
  size_t height = static_cast<size_t>(image->imageHeight);
  auto *turned = static_cast<uint8_t *>(AssetAlloc(stride * height));
  if (turned == nullptr) {
    std::free(image->pixels);
    std::free(image);
    return nullptr;
  }
  for (size_t i = 0; i < height; ++i)
    std::memcpy(turned + i * stride, image->pixels + (height - 1 - i) * stride, stride);
  std::free(image->pixels);
  image->pixels = turned;
  return image;
}

int32_t LoadJpegTexture(GLuint *textureSlot, const char *resourceName) {
  DecodedImage *image = DecodeJpegResource(resourceName);
  if (image != nullptr) {
    glGenTextures(1, textureSlot);
    glBindTexture(GL_TEXTURE_2D, *textureSlot);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    // Rows are packed without padding: a picture 1 or 2 pixels wide would be
    // read past its end under GL's default alignment of 4.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB8, image->imageWidth, image->imageHeight, GL_RGB,
                      GL_UNSIGNED_BYTE, image->pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  } else {
    MessageBoxA(HWND_DESKTOP, "???.", resourceName, MB_OK | MB_ICONERROR);
  }
  if (image != nullptr) {
    std::free(image->pixels);
    std::free(image);
  }
  return 1;
}
