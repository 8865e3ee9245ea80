#include "tools/artwork/encode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace art {
namespace {

void FatalJpegError(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  std::exit(1);
}

// Owns a compressor writing to a growing memory buffer.
struct Compressor {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  unsigned char *buffer = nullptr;
  unsigned long size = 0;

  explicit Compressor(const Rgb8 &img) {
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = FatalJpegError;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(img.w);
    cinfo.image_height = JDIMENSION(img.h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    // The encoder's default DCT is the accurate integer one; say so, so a changed
    // library default cannot change our bytes.
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = TRUE;
  }
  ~Compressor() {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
  }
  void Comment(const std::string &text) {
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>(text.data()),
                      unsigned(text.size()));
  }
  Bytes Finish(const Rgb8 &img) {
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row =
          const_cast<JSAMPLE *>(&img.data[size_t(cinfo.next_scanline) * size_t(img.w) * 3]);
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return Bytes(buffer, buffer + size);
  }
};

void SetScan(jpeg_scan_info &s, std::initializer_list<int> comps, int ss, int se, int ah, int al) {
  s.comps_in_scan = int(comps.size());
  int i = 0;
  for (int c : comps) s.component_index[i++] = c;
  s.Ss = ss;
  s.Se = se;
  s.Ah = ah;
  s.Al = al;
}

// A Photoshop "Image Resource" block holding one IPTC record: the kind of APP13 an
// image editor leaves behind, kept small.
Bytes PhotoshopBlock() {
  const char caption[] = "Velmor for Torva";
  Bytes iptc = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x04}; // record version 4
  iptc.insert(iptc.end(), {0x1C, 0x02, 0x78, 0x00, uint8_t(sizeof caption - 1)});
  iptc.insert(iptc.end(), caption, caption + sizeof caption - 1);
  if (iptc.size() % 2) iptc.push_back(0);

  const char header[] = "Photoshop 3.0"; // with its terminating zero
  Bytes out(header, header + sizeof header);
  out.insert(out.end(), {'8', 'B', 'I', 'M', 0x04, 0x04, 0x00, 0x00}); // IPTC, empty name
  uint32_t n = uint32_t(iptc.size());
  out.insert(out.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  out.insert(out.end(), iptc.begin(), iptc.end());
  return out;
}

} // namespace

Bytes EncodeBaselineJpeg(const Rgb8 &img, int quality, const std::string &comment) {
  Compressor c(img);
  jpeg_set_quality(&c.cinfo, quality, TRUE);
  jpeg_start_compress(&c.cinfo, TRUE);
  c.Comment(comment);
  return c.Finish(img);
}

Bytes EncodeOverlayJpeg(const Rgb8 &img, int quality, const Bytes &iccProfile,
                        const std::string &comment) {
  Compressor c(img);
  jpeg_set_quality(&c.cinfo, quality, TRUE);
  jpeg_set_colorspace(&c.cinfo, JCS_YCbCr);
  c.cinfo.write_Adobe_marker = TRUE;
  // Full-resolution chroma: the overlay's violet rim is a colour gradient across the
  // whole frame, and 4:2:0 would smear it in 16-pixel blocks.
  for (int i = 0; i < 3; ++i) {
    c.cinfo.comp_info[i].h_samp_factor = 1;
    c.cinfo.comp_info[i].v_samp_factor = 1;
  }
  // Seven scans: DC of all three, luma AC in two bands at reduced precision, each chroma
  // AC in full, then two luma refinement passes.
  jpeg_scan_info scans[7];
  SetScan(scans[0], {0, 1, 2}, 0, 0, 0, 0);
  SetScan(scans[1], {0}, 1, 5, 0, 2);
  SetScan(scans[2], {1}, 1, 63, 0, 0);
  SetScan(scans[3], {2}, 1, 63, 0, 0);
  SetScan(scans[4], {0}, 6, 63, 0, 2);
  SetScan(scans[5], {0}, 1, 63, 2, 1);
  SetScan(scans[6], {0}, 1, 63, 1, 0);
  c.cinfo.scan_info = scans;
  c.cinfo.num_scans = 7;
  jpeg_start_compress(&c.cinfo, TRUE);
  jpeg_write_icc_profile(&c.cinfo, iccProfile.data(), unsigned(iccProfile.size()));
  Bytes ps = PhotoshopBlock();
  jpeg_write_marker(&c.cinfo, JPEG_APP0 + 13, ps.data(), unsigned(ps.size()));
  c.Comment(comment);
  return c.Finish(img);
}

Bytes EncodeTga(int w, int h, int bitsPerPixel, const Bytes &bgraTopDown) {
  const int bpp = bitsPerPixel / 8;
  Bytes out(18, 0);
  out[2] = 2; // uncompressed true-colour
  out[12] = uint8_t(w & 255);
  out[13] = uint8_t(w >> 8);
  out[14] = uint8_t(h & 255);
  out[15] = uint8_t(h >> 8);
  out[16] = uint8_t(bitsPerPixel);
  out[17] = bitsPerPixel == 32 ? 0x08 : 0x00; // alpha bits; origin bottom left
  const size_t rowBytes = size_t(w) * bpp;
  for (int y = h - 1; y >= 0; --y) {
    auto row = bgraTopDown.begin() + std::ptrdiff_t(size_t(y) * rowBytes);
    out.insert(out.end(), row, row + std::ptrdiff_t(rowBytes));
  }
  out.insert(out.end(), 8, 0); // no extension area, no developer directory
  const char signature[] = "TRUEVISION-XFILE.";
  out.insert(out.end(), signature, signature + sizeof signature); // with its zero
  return out;
}

namespace {

void PutLe(Bytes &out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// BITMAPINFOHEADER with the height doubled for the mask that follows the
// colours, rows bottom to top in B, G, R, A; then the mask, one bit a pixel,
// rows padded to four bytes, set where the picture is fully transparent.
Bytes IconBitmap(const IconPicture &p) {
  const int side = p.side;
  const size_t maskRow = size_t((side + 31) / 32 * 4);
  Bytes out;
  PutLe(out, 40, 4);
  PutLe(out, uint32_t(side), 4);
  PutLe(out, uint32_t(side * 2), 4);
  PutLe(out, 1, 2);  // planes
  PutLe(out, 32, 2); // bits per pixel
  PutLe(out, 0, 4);  // BI_RGB
  PutLe(out, uint32_t(size_t(side) * side * 4 + maskRow * size_t(side)), 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  for (int y = side - 1; y >= 0; --y)
    for (int x = 0; x < side; ++x) {
      const uint8_t *px = &p.rgba[(size_t(y) * side + x) * 4];
      out.insert(out.end(), {px[2], px[1], px[0], px[3]});
    }
  for (int y = side - 1; y >= 0; --y) {
    Bytes row(maskRow, 0);
    for (int x = 0; x < side; ++x)
      if (p.rgba[(size_t(y) * side + x) * 4 + 3] == 0)
        row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

Bytes IconPng(const IconPicture &p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(p.side);
  image.height = png_uint_32(p.side);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, p.rgba.data(), 0, nullptr)) {
    std::fprintf(stderr, "velmor-artwork: cannot encode the icon's PNG: %s\n", image.message);
    std::exit(1);
  }
  Bytes out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, p.rgba.data(), 0, nullptr)) {
    std::fprintf(stderr, "velmor-artwork: cannot encode the icon's PNG: %s\n", image.message);
    std::exit(1);
  }
  out.resize(size);
  return out;
}

} // namespace

Bytes EncodeIco(const std::vector<IconPicture> &pictures) {
  std::vector<Bytes> images;
  for (const IconPicture &p : pictures)
    images.push_back(p.side >= 256 ? IconPng(p) : IconBitmap(p));
  Bytes out;
  PutLe(out, 0, 2); // reserved
  PutLe(out, 1, 2); // an icon, not a cursor
  PutLe(out, uint32_t(pictures.size()), 2);
  uint32_t offset = uint32_t(6 + 16 * pictures.size());
  for (size_t i = 0; i < pictures.size(); ++i) {
    const int side = pictures[i].side;
    out.push_back(uint8_t(side >= 256 ? 0 : side)); // 0 stands for 256
    out.push_back(uint8_t(side >= 256 ? 0 : side));
    out.push_back(0); // no palette
    out.push_back(0);
    PutLe(out, 1, 2);
    PutLe(out, 32, 2);
    PutLe(out, uint32_t(images[i].size()), 4);
    PutLe(out, offset, 4);
    offset += uint32_t(images[i].size());
  }
  for (const Bytes &image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

} // namespace art
