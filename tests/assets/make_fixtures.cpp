// Writes the small pictures the loader tests embed beside the real ones:
// pictures with known corners, a cut datastream, a grey-scale picture, TGA
// headers the loader must turn down, and TGA twins stored in both row orders.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<uint8_t>;

void Write(const std::string &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "make_fixtures: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

Bytes EncodeJpeg(int width, int height, int components, const Bytes &pixels) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t *>(pixels.data()) +
                   static_cast<size_t>(c.next_scanline) * width * components;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&c);
  return out;
}

// Top-left blue, top-right white, bottom-left red, bottom-right green; rows
// top first, as a JPEG stores them.
Bytes Corners(int width, int height) {
  Bytes p(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool top = y < height / 2, left = x < width / 2;
      uint8_t r = 0, g = 0, b = 0;
      if (top && left) b = 255;
      if (top && !left) r = g = b = 255;
      if (!top && left) r = 255;
      if (!top && !left) g = 255;
      uint8_t *px = &p[(static_cast<size_t>(y) * width + x) * 3];
      px[0] = r, px[1] = g, px[2] = b;
    }
  return p;
}

Bytes Noise(int width, int height) {
  Bytes p(static_cast<size_t>(width) * height * 3);
  uint32_t s = 12345;
  for (auto &v : p) {
    s = s * 1664525u + 1013904223u;
    v = static_cast<uint8_t>(s >> 24);
  }
  return p;
}

Bytes Tga(uint8_t idLength, uint8_t type, uint16_t width, uint16_t height, uint8_t depth,
          const Bytes &pixels, uint8_t descriptor = 0) {
  Bytes h = {idLength,
             0,
             type,
             0,
             0,
             0,
             0,
             0,
             0,
             0,
             0,
             0,
             static_cast<uint8_t>(width & 0xFF),
             static_cast<uint8_t>(width >> 8),
             static_cast<uint8_t>(height & 0xFF),
             static_cast<uint8_t>(height >> 8),
             depth,
             descriptor};
  h.insert(h.end(), pixels.begin(), pixels.end());
  return h;
}

// The same rows in the opposite order.
Bytes Turned(const Bytes &pixels, size_t stride) {
  Bytes out;
  for (size_t row = pixels.size() / stride; row-- > 0;)
    out.insert(out.end(), pixels.begin() + row * stride, pixels.begin() + (row + 1) * stride);
  return out;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fixtures OUTDIR\n");
    return 2;
  }
  std::string dir = argv[1];
  Write(dir + "/FIX_CORNERS.jpg", EncodeJpeg(64, 32, 3, Corners(64, 32)));
  Bytes noise = EncodeJpeg(64, 64, 3, Noise(64, 64));
  noise.resize(noise.size() * 6 / 10); // cut inside the entropy-coded data
  Write(dir + "/FIX_CUT.jpg", noise);
  Bytes grey(32 * 32);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(i % 32 * 8);
  Write(dir + "/FIX_GREY.jpg", EncodeJpeg(32, 32, 1, grey));

  // 2x2, 24 bits, stored B, G, R, bottom row first.
  Write(dir + "/FIX_RGB24.tga",
        Tga(0, 2, 2, 2, 24, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}));
  Write(dir + "/FIX_RGBA32.tga", Tga(0, 2, 2, 1, 32, {1, 2, 3, 4, 5, 6, 7, 8}));
  Bytes block(4 * 4 * 4, 0x7F);
  Write(dir + "/FIX_RLE.tga", Tga(0, 10, 4, 4, 32, block));
  Write(dir + "/FIX_IDLENGTH.tga", Tga(1, 2, 4, 4, 32, block));
  Write(dir + "/FIX_ZEROWIDTH.tga", Tga(0, 2, 0, 5, 32, block));
  Write(dir + "/FIX_DEPTH16.tga", Tga(0, 2, 4, 4, 16, block));
  Write(dir + "/FIX_SHORT.tga", Tga(0, 2, 4, 4, 32, Bytes(10, 0x7F)));
  Write(dir + "/FIX_TINY.tga", Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0});
  Bytes colourMap = Tga(0, 1, 4, 4, 32, block);
  colourMap[1] = 1;
  Write(dir + "/FIX_COLOURMAP.tga", colourMap);
  Bytes origin = Tga(0, 2, 4, 4, 32, block);
  origin[10] = 4;
  Write(dir + "/FIX_ORIGIN.tga", origin);
  // 32768 x 32768 x 4 bytes is 2^32: nothing at all where size_t has 32 bits.
  // Top row first, so that a loader taken in by the count turns rows it does
  // not have.
  Write(dir + "/FIX_HUGE.tga", Tga(0, 2, 32768, 32768, 32, block, 0x20));

  // Twins: one stored bottom row first, one top row first (image descriptor
  // bit 5), showing the same picture. 3 pixels wide, so that 24-bit rows are
  // not a multiple of 4 bytes; every row different.
  Bytes rows24(3 * 3 * 4), rows32(2 * 4 * 3);
  for (size_t i = 0; i < rows24.size(); ++i) rows24[i] = static_cast<uint8_t>(7 * i + 1);
  for (size_t i = 0; i < rows32.size(); ++i) rows32[i] = static_cast<uint8_t>(11 * i + 3);
  Write(dir + "/FIX_BOTTOM24.tga", Tga(0, 2, 3, 4, 24, rows24));
  Write(dir + "/FIX_TOP24.tga", Tga(0, 2, 3, 4, 24, Turned(rows24, 9), 0x20));
  Write(dir + "/FIX_BOTTOM32.tga", Tga(0, 2, 2, 3, 32, rows32, 0x08));
  Write(dir + "/FIX_TOP32.tga", Tga(0, 2, 2, 3, 32, Turned(rows32, 8), 0x28));
  return 0;
}
