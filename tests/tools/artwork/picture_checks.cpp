#include "tests/tools/artwork/picture_checks.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <jpeglib.h>
#include <png.h>

namespace checks {
namespace {

std::string SegmentText(const Bytes &b, size_t at, size_t len) {
  return std::string(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + len));
}

struct ErrorJump {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

} // namespace

Bytes ReadAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path &p, const std::string &text) {
  std::ofstream(p, std::ios::binary) << text;
}

std::set<std::string> ExpectedFiles() {
  std::set<std::string> names = {"DATA_PARTICLE.jpg", "DATA_SCREEN.jpg", "DATA_FILM.jpg",
                                 "DATA_FONT2.tga", "DATA_FONT3.tga"};
  for (int i = 1; i <= 17; ++i) names.insert("DATA_" + std::to_string(i) + ".jpg");
  for (int i = 1; i <= 13; ++i) names.insert("DDATA_" + std::to_string(i) + ".jpg");
  for (int i = 1; i <= 7; ++i) names.insert("MDATA_" + std::to_string(i) + ".jpg");
  for (int i = 1; i <= 3; ++i) names.insert("EDATA_" + std::to_string(i) + ".jpg");
  return names;
}

std::set<std::string> FilesIn(const fs::path &dir) {
  std::set<std::string> names;
  for (const auto &e : fs::directory_iterator(dir))
    if (e.is_regular_file()) names.insert(e.path().filename().string());
  return names;
}

bool IsTextCard(const std::string &name) {
  if (name.rfind("EDATA_", 0) == 0) return true;
  if (name.rfind("DATA_", 0) != 0) return false;
  std::string n = name.substr(5);
  return n.size() == 1 && n[0] >= '1' && n[0] <= '7';
}

JpegFacts WalkJpeg(const Bytes &b) {
  JpegFacts f;
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return f.error = "no SOI", f;
  size_t pos = 2;
  bool first = true;
  while (true) {
    if (pos + 2 > b.size()) return f.error = "truncated before EOI", f;
    if (b[pos] != 0xFF) return f.error = "marker expected at " + std::to_string(pos), f;
    int m = b[pos + 1];
    if (m == 0xFF) { // fill byte
      ++pos;
      continue;
    }
    if (m == 0xD9) {
      f.endsWithEoi = pos + 2 == b.size();
      return f;
    }
    if (pos + 4 > b.size()) return f.error = "truncated segment", f;
    size_t len = size_t(b[pos + 2]) << 8 | b[pos + 3];
    size_t body = pos + 4, end = pos + 2 + len;
    if (len < 2 || end > b.size()) return f.error = "bad segment length", f;
    if (m == 0xE0 && first)
      f.jfifFirst = len >= 7 && SegmentText(b, body, 5) == std::string("JFIF\0", 5);
    if (m == 0xE2 && len >= 14 && SegmentText(b, body, 12) == std::string("ICC_PROFILE\0", 12))
      f.icc = true;
    if (m == 0xED && len >= 16 && SegmentText(b, body, 14) == std::string("Photoshop 3.0\0", 14))
      f.photoshop = true;
    if (m == 0xEE && len >= 14 && SegmentText(b, body, 5) == "Adobe")
      f.adobeTransform = b[body + 11];
    if (m == 0xFE) f.comment = true;
    if (m == 0xDD) f.dri = true;
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
      f.frameMarker = m;
      f.precision = b[body];
      f.height = b[body + 1] << 8 | b[body + 2];
      f.width = b[body + 3] << 8 | b[body + 4];
      for (int c = 0; c < b[body + 5]; ++c) {
        f.ids.push_back(b[body + 6 + 3 * c]);
        f.hSamp.push_back(b[body + 7 + 3 * c] >> 4);
        f.vSamp.push_back(b[body + 7 + 3 * c] & 15);
      }
    }
    first = false;
    pos = end;
    if (m == 0xDA) {
      ++f.scans;
      // Entropy-coded data runs to the next marker that is neither a stuffed zero nor a
      // restart marker.
      while (pos + 1 < b.size() &&
             !(b[pos] == 0xFF && b[pos + 1] != 0x00 && (b[pos + 1] < 0xD0 || b[pos + 1] > 0xD7)))
        ++pos;
    }
  }
}

Decoded Decode(const Bytes &b) {
  Decoded out;
  jpeg_decompress_struct cinfo;
  ErrorJump err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = [](j_common_ptr c) {
    std::longjmp(reinterpret_cast<ErrorJump *>(c->err)->jump, 1);
  };
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    ADD_FAILURE() << "libjpeg could not decode the stream";
    return Decoded{};
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, b.data(), (unsigned long)b.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out.w = int(cinfo.output_width);
  out.h = int(cinfo.output_height);
  out.rgb.resize(size_t(out.w) * out.h * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &out.rgb[size_t(cinfo.output_scanline) * out.w * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

void ExpectJpegCoding(const fs::path &dir) {
  for (const std::string &file : ExpectedFiles()) {
    if (fs::path(file).extension() != ".jpg") continue;
    SCOPED_TRACE(file);
    const std::string name = fs::path(file).stem().string();
    JpegFacts f = WalkJpeg(ReadAll(dir / file));
    ASSERT_EQ(f.error, "");
    EXPECT_TRUE(f.jfifFirst);
    EXPECT_EQ(f.precision, 8);
    EXPECT_EQ(f.ids, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(f.dri);
    EXPECT_TRUE(f.endsWithEoi);
    EXPECT_TRUE(f.comment);
    const int side = name == "DATA_PARTICLE" ? 32 : 512;
    EXPECT_EQ(f.width, side);
    EXPECT_EQ(f.height, side);
    if (name == "DATA_SCREEN") {
      EXPECT_EQ(f.frameMarker, 0xC2);
      EXPECT_EQ(f.hSamp, (std::vector<int>{1, 1, 1}));
      EXPECT_EQ(f.vSamp, (std::vector<int>{1, 1, 1}));
      EXPECT_EQ(f.scans, 7);
      EXPECT_TRUE(f.icc);
      EXPECT_TRUE(f.photoshop);
      EXPECT_EQ(f.adobeTransform, 1);
    } else {
      EXPECT_EQ(f.frameMarker, 0xC0);
      EXPECT_EQ(f.hSamp, (std::vector<int>{2, 1, 1}));
      EXPECT_EQ(f.vSamp, (std::vector<int>{2, 1, 1}));
      EXPECT_EQ(f.scans, 1);
    }
  }
}

void ExpectGlyphSheetLayout(const fs::path &dir) {
  struct Case {
    const char *file;
    int depth, descriptor;
    size_t total;
  };
  for (const Case &c :
       {Case{"DATA_FONT2.tga", 32, 0x08, 262188}, Case{"DATA_FONT3.tga", 24, 0x00, 196652}}) {
    SCOPED_TRACE(c.file);
    Bytes b = ReadAll(dir / c.file);
    ASSERT_EQ(b.size(), c.total);
    const Bytes header = {
        0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, uint8_t(c.depth), uint8_t(c.descriptor)};
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 18), header);
    const size_t pixels = 256 * 256 * size_t(c.depth / 8);
    EXPECT_EQ(18 + pixels + 26, c.total);
    Bytes footer(26, 0);
    const char sig[] = "TRUEVISION-XFILE.";
    std::copy(sig, sig + sizeof sig, footer.begin() + 8);
    EXPECT_EQ(Bytes(b.end() - 26, b.end()), footer);
  }
}

void ExpectLoaderCoding(const fs::path &dir) {
  ExpectJpegCoding(dir);
  ExpectGlyphSheetLayout(dir);
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/velmor-artwork-XXXXXX";
  if (mkdtemp(tmpl)) path = tmpl;
  EXPECT_FALSE(path.empty()) << "cannot make a folder under /tmp";
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path.empty()) fs::remove_all(path, ec);
}

void WriteJpeg(const fs::path &p, int w, int h, bool grey, int orientation, const PixelFn &px) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  FILE *f = std::fopen(p.c_str(), "wb");
  ASSERT_NE(f, nullptr) << p;
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = JDIMENSION(w);
  cinfo.image_height = JDIMENSION(h);
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  if (orientation) {
    Bytes app1 = {'E', 'x', 'i', 'f', 0, 0};
    Bytes tiff = ExifTiff(orientation, true);
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1.data(), unsigned(app1.size()));
  }
  std::vector<uint8_t> row(size_t(w) * size_t(cinfo.input_components));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Rgb c = px(x, y);
      if (grey)
        row[size_t(x)] = uint8_t(c.g);
      else
        row[size_t(x) * 3] = uint8_t(c.r), row[size_t(x) * 3 + 1] = uint8_t(c.g),
                        row[size_t(x) * 3 + 2] = uint8_t(c.b);
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(f);
}

void WritePng(const fs::path &p, int w, int h, int colorType, int bitDepth, const PixelFn &px,
              const std::function<int(int x, int y)> &alpha, int orientation) {
  FILE *f = std::fopen(p.c_str(), "wb");
  ASSERT_NE(f, nullptr) << p;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), bitDepth, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  Bytes exif;
  if (orientation) {
    exif = ExifTiff(orientation, false);
    png_set_eXIf_1(png, info, png_uint_32(exif.size()), exif.data());
  }
  png_write_info(png, info);
  const bool hasAlpha = colorType & PNG_COLOR_MASK_ALPHA, colour = colorType & PNG_COLOR_MASK_COLOR;
  const int bytes = bitDepth / 8;
  std::vector<uint8_t> row;
  for (int y = 0; y < h; ++y) {
    row.clear();
    for (int x = 0; x < w; ++x) {
      Rgb c = px(x, y);
      std::vector<int> samples = colour ? std::vector<int>{c.r, c.g, c.b} : std::vector<int>{c.g};
      if (hasAlpha) samples.push_back(alpha ? alpha(x, y) : 255);
      // 16-bit samples repeat their byte: 0xAB becomes 0xABAB, the same fraction of full scale.
      for (int s : samples)
        for (int k = 0; k < bytes; ++k) row.push_back(uint8_t(s));
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

Bytes ExifTiff(int orientation, bool bigEndian) {
  auto u16 = [&](int v) {
    return bigEndian ? Bytes{uint8_t(v >> 8), uint8_t(v)} : Bytes{uint8_t(v), uint8_t(v >> 8)};
  };
  auto u32 = [&](int v) {
    Bytes hi = u16(v >> 16), lo = u16(v & 0xFFFF);
    if (bigEndian)
      hi.insert(hi.end(), lo.begin(), lo.end());
    else
      lo.insert(lo.end(), hi.begin(), hi.end());
    return bigEndian ? hi : lo;
  };
  Bytes t = bigEndian ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
  for (const Bytes &part :
       {u16(42), u32(8), u16(2),
        // an entry before the one looked for: XResolution, a RATIONAL
        u16(0x011A), u16(5), u32(1), u32(38),
        // Orientation, one SHORT, left-justified in its value field
        u16(0x0112), u16(3), u32(1), u16(orientation), u16(0), u32(0), u32(72), u32(1)})
    t.insert(t.end(), part.begin(), part.end());
  return t;
}

} // namespace checks
