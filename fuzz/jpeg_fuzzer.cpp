// The JPEG path on arbitrary bytes: our memory source and read sequence under
// an error manager that returns instead of ending the process, and then, for
// data that decode without a fatal error, the loader's own decode through the
// resource table, which must give the same picture with its rows turned.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/jpeg_texture.h"
#include "fuzz/support/one_resource.h"
#include "platform/fake/fake_platform.h"

namespace {

// Larger pictures only make the fuzzer slow and hungry; none of ours is near.
constexpr uint64_t maxPixels = 4096ull * 4096ull;
// What libjpeg may hold at once (coefficient buffers of progressive pictures).
constexpr long maxLibraryMemory = 256L << 20;

struct ReturningErrors {
  jpeg_error_mgr pub;
  jmp_buf unwind;
};

void ReturnFromFatalError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ReturningErrors *>(info->err)->unwind, 1);
}
void KeepQuiet(j_common_ptr) {}

// After a fatal error inside jpeg_read_scanlines the read sequence never gets
// to release its row-pointer array; the linker routes the library calls
// through here so the harness knows that array and can release it itself.
JSAMPARRAY pendingRows = nullptr;

[[noreturn]] void Fail(const char *what) {
  std::fprintf(stderr, "jpeg_fuzzer: %s\n", what);
  std::abort();
}

// Our source alone, without the read sequence: every skip length, including
// those past the end, must leave the source consistent.
void ExerciseSkips(const uint8_t *data, size_t size) {
  jpeg_decompress_struct decompressor;
  ReturningErrors errors;
  decompressor.err = jpeg_std_error(&errors.pub);
  errors.pub.emit_message = [](j_common_ptr, int) {};
  jpeg_create_decompress(&decompressor);
  InstallMemorySource(&decompressor, data, static_cast<uint32_t>(size));
  size_t offset = 0;
  for (size_t i = 0; i + 1 < size && i < 16; i += 2) {
    long count = static_cast<int8_t>(data[i]) * 3 + data[i + 1];
    jpeg_source_mgr *source = decompressor.src;
    size_t left = source->bytes_in_buffer;
    (*source->skip_input_data)(&decompressor, count);
    if (source->next_input_byte == nullptr && source->bytes_in_buffer != 0)
      Fail("skip left bytes but no pointer");
    if (count > 0 && static_cast<size_t>(count) <= left) {
      offset += static_cast<size_t>(count);
      if (source->next_input_byte != data + offset || source->bytes_in_buffer != left - count)
        Fail("skip inside the data did not advance by the count");
    } else if (count <= 0 && source->bytes_in_buffer != left) {
      Fail("a skip of zero or less consumed input");
    } else if (count > 0 && static_cast<size_t>(count) > left) {
      // Past the end only substitute end markers remain.
      if (source->bytes_in_buffer > 2) Fail("skip past the end left more than a marker");
      break;
    }
  }
  jpeg_destroy_decompress(&decompressor);
}

jpeg_error_mgr *QuietReturningErrors(ReturningErrors *errors) {
  jpeg_error_mgr *manager = jpeg_std_error(&errors->pub);
  manager->error_exit = ReturnFromFatalError;
  manager->output_message = KeepQuiet;
  return manager;
}

// Whether the header parses and describes a picture small enough to decode.
bool SizeAcceptable(const uint8_t *data, size_t size) {
  jpeg_decompress_struct decompressor;
  ReturningErrors errors;
  decompressor.err = QuietReturningErrors(&errors);
  jpeg_create_decompress(&decompressor);
  InstallMemorySource(&decompressor, data, static_cast<uint32_t>(size));
  volatile bool acceptable = false;
  if (setjmp(errors.unwind) == 0) {
    jpeg_read_header(&decompressor, TRUE);
    acceptable = uint64_t{decompressor.image_width} * decompressor.image_height <= maxPixels;
  }
  jpeg_destroy_decompress(&decompressor);
  return acceptable;
}

} // namespace

extern "C" JDIMENSION __real_jpeg_read_scanlines(j_decompress_ptr, JSAMPARRAY, JDIMENSION);
extern "C" JDIMENSION __wrap_jpeg_read_scanlines(j_decompress_ptr info, JSAMPARRAY rows,
                                                 JDIMENSION count) {
  if (pendingRows == nullptr) pendingRows = rows; // the first call passes the array itself
  return __real_jpeg_read_scanlines(info, rows, count);
}
extern "C" boolean __real_jpeg_finish_decompress(j_decompress_ptr);
extern "C" boolean __wrap_jpeg_finish_decompress(j_decompress_ptr info) {
  pendingRows = nullptr; // released by the read sequence just before this call
  return __real_jpeg_finish_decompress(info);
}

namespace {

int CheckOneInput(const uint8_t *data, size_t size) {
  if (size > UINT32_MAX) return 0;
  ExerciseSkips(data, size);

  // The picture's size first, on a decompressor of its own: the read sequence
  // reads the header itself, and a header can be read only once.
  if (!SizeAcceptable(data, size)) return 0;

  jpeg_decompress_struct decompressor;
  ReturningErrors errors;
  decompressor.err = QuietReturningErrors(&errors);
  jpeg_create_decompress(&decompressor);
  decompressor.mem->max_memory_to_use = maxLibraryMemory;
  InstallMemorySource(&decompressor, data, static_cast<uint32_t>(size));

  // Volatile: read after a longjmp back into this frame.
  DecodedImage *volatile image = static_cast<DecodedImage *>(std::calloc(1, sizeof(DecodedImage)));
  volatile bool decoded = false;
  pendingRows = nullptr;
  if (setjmp(errors.unwind) == 0) {
    ReadJpegImage(&decompressor, image);
    decoded = true;
  } else {
    std::free(pendingRows);
  }
  pendingRows = nullptr;
  long warnings = errors.pub.num_warnings;
  jpeg_destroy_decompress(&decompressor);

  if (decoded) {
    if (image->pixels == nullptr || image->imageWidth <= 0 || image->imageHeight <= 0 ||
        image->rowStride != 3 * image->imageWidth)
      Fail("a decoded picture without RGB rows");
    // The loader's own path knows no recovery, so only data it survives go
    // there; warnings would be printed by its standard error manager.
    if (warnings == 0) {
      SetFuzzResource("JPG", "PICTURE", data, size);
      DecodedImage *loaded = DecodeJpegResource("picture");
      if (loaded == nullptr || loaded->pixels == nullptr) Fail("the loader lost a picture");
      if (loaded->imageWidth != image->imageWidth || loaded->imageHeight != image->imageHeight ||
          loaded->rowStride != image->rowStride)
        Fail("the loader's dimensions differ");
      size_t stride = static_cast<size_t>(image->rowStride);
      size_t height = static_cast<size_t>(image->imageHeight);
      for (size_t r = 0; r < height; ++r)
        if (std::memcmp(loaded->pixels + r * stride, image->pixels + (height - 1 - r) * stride,
                        stride) != 0)
          Fail("the loader's rows are not the decoded rows bottom first");
      std::free(loaded->pixels);
      std::free(loaded);
    }
  }
  std::free(image->pixels);
  std::free(image);
  return 0;
}

} // namespace

// The platform double records every call; it is emptied around each input so
// that what one input allocates is released within it (libFuzzer takes any
// imbalance for a possible leak and runs a slow leak check).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FakeReset();
  int result = CheckOneInput(data, size);
  FakeReset();
  return result;
}
