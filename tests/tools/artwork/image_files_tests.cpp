// The committed pictures in assets/images: names, coding properties the loaders rely on,
// a few content facts the intro's look depends on, and that a fresh run reproduces them.
#include <gtest/gtest.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

const fs::path kImages = VELMOR_IMAGES_DIR;

Bytes ReadAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

// What a walk over a JPEG's markers finds.
struct JpegFacts {
  std::string error;      // empty when the stream is well formed
  bool jfifFirst = false; // APP0 "JFIF\0" directly after SOI
  int frameMarker = 0;    // 0xC0..0xCF
  int precision = 0, width = 0, height = 0;
  std::vector<int> ids, hSamp, vSamp;
  int scans = 0;
  bool comment = false, icc = false, photoshop = false, dri = false;
  int adobeTransform = -1;
  bool endsWithEoi = false;
};

std::string SegmentText(const Bytes &b, size_t at, size_t len) {
  return std::string(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + len));
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

struct Decoded {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  const uint8_t *At(int x, int y) const { return &rgb[(size_t(y) * w + x) * 3]; }
};

struct ErrorJump {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

// Decodes with libjpeg; a fatal error fails the test instead of ending the process.
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

bool IsTextCard(const std::string &name) {
  if (name.rfind("EDATA_", 0) == 0) return true;
  if (name.rfind("DATA_", 0) != 0) return false;
  std::string n = name.substr(5);
  return n.size() == 1 && n[0] >= '1' && n[0] <= '7';
}

} // namespace

TEST(ImageFiles, ExactlyTheInventoryIsPresent) {
  ASSERT_TRUE(fs::is_directory(kImages)) << kImages;
  EXPECT_EQ(FilesIn(kImages), ExpectedFiles());
}

TEST(ImageFiles, EveryJpegHasTheCodingTheLoaderExpects) {
  for (const std::string &file : ExpectedFiles()) {
    if (fs::path(file).extension() != ".jpg") continue;
    SCOPED_TRACE(file);
    const std::string name = fs::path(file).stem().string();
    JpegFacts f = WalkJpeg(ReadAll(kImages / file));
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

TEST(ImageFiles, MarkerWalkerRejectsDamagedStreams) {
  Bytes good = ReadAll(kImages / "DATA_1.jpg");
  ASSERT_EQ(WalkJpeg(good).error, "");
  Bytes cut(good.begin(), good.end() - 2); // no EOI
  EXPECT_NE(WalkJpeg(cut).error, "");
  Bytes trailing = good;
  trailing.push_back(0);
  EXPECT_FALSE(WalkJpeg(trailing).endsWithEoi);
}

TEST(ImageFiles, GlyphSheetsHaveTheExactTgaLayout) {
  struct Case {
    const char *file;
    int depth, descriptor;
    size_t total;
  };
  for (const Case &c :
       {Case{"DATA_FONT2.tga", 32, 0x08, 262188}, Case{"DATA_FONT3.tga", 24, 0x00, 196652}}) {
    SCOPED_TRACE(c.file);
    Bytes b = ReadAll(kImages / c.file);
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

// Pixel (x, y) counted from the top left of the picture, in a bottom-up pixel block.
const uint8_t *TgaPixel(const Bytes &b, int bpp, int x, int y) {
  return &b[18 + (size_t(255 - y) * 256 + x) * bpp];
}

bool CellHasInk(const Bytes &b, int bpp, int code) {
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (TgaPixel(b, bpp, (code % 16) * 16 + x, (code / 16) * 16 + y)[2] == 255) return true;
  return false;
}

TEST(ImageFiles, GlyphSheetLevelsAndCellOrder) {
  Bytes two = ReadAll(kImages / "DATA_FONT2.tga");
  Bytes three = ReadAll(kImages / "DATA_FONT3.tga");
  ASSERT_EQ(two.size(), 262188u);
  ASSERT_EQ(three.size(), 196652u);

  std::set<std::vector<uint8_t>> colours;
  bool alphaZero = true;
  for (size_t i = 18; i < 18 + 262144; i += 4) {
    colours.insert({two[i], two[i + 1], two[i + 2]});
    alphaZero = alphaZero && two[i + 3] == 0;
  }
  EXPECT_TRUE(alphaZero);
  EXPECT_EQ(colours, (std::set<std::vector<uint8_t>>{{0, 0, 0}, {255, 255, 255}}));

  std::set<uint8_t> levels;
  bool grey = true;
  for (size_t i = 18; i < 18 + 196608; i += 3) {
    levels.insert(three[i]);
    grey = grey && three[i] == three[i + 1] && three[i + 1] == three[i + 2];
  }
  EXPECT_TRUE(grey);
  EXPECT_EQ(levels, (std::set<uint8_t>{0, 128, 255}));

  // Code 0 sits in the top-left cell, i.e. at the end of the bottom-up block: control codes
  // are blank, letters of both halves are drawn where their codes say.
  for (const Bytes *b : {&two, &three}) {
    int bpp = b == &two ? 4 : 3;
    for (int code = 0; code <= 32; ++code) EXPECT_FALSE(CellHasInk(*b, bpp, code)) << code;
    for (int code : {int('A'), int('z'), int('0'), 0xC0 /* А */, 0xFF /* я */, 0xA8 /* Ё */})
      EXPECT_TRUE(CellHasInk(*b, bpp, code)) << code;
  }
}

TEST(ImageFiles, PicturesLookAsTheIntroUsesThem) {
  // The vignette is multiplied over the frame: white in the middle, darker violet-grey at
  // the corners.
  Decoded screen = Decode(ReadAll(kImages / "DATA_SCREEN.jpg"));
  ASSERT_EQ(screen.w, 512);
  for (int c = 0; c < 3; ++c) EXPECT_GE(screen.At(256, 256)[c], 250);
  const uint8_t *corner = screen.At(2, 2);
  EXPECT_LT(corner[1], 200);
  EXPECT_GT(corner[2], corner[1]); // blue above green: violet, not neutral grey

  // The grain is added: it must stay dark.
  Decoded film = Decode(ReadAll(kImages / "DATA_FILM.jpg"));
  ASSERT_EQ(film.w, 512);
  double sum = 0;
  for (uint8_t v : film.rgb) sum += v;
  EXPECT_LT(sum / film.rgb.size(), 40.0);

  // Text cards: black edges (black is what leaves the frame unchanged), white letters.
  for (const std::string &file : ExpectedFiles()) {
    std::string name = fs::path(file).stem().string();
    if (!IsTextCard(name)) continue;
    SCOPED_TRACE(name);
    Decoded card = Decode(ReadAll(kImages / file));
    ASSERT_EQ(card.w, 512);
    int white = 0, brightEdge = 0;
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < 512; ++x) {
        int v = card.At(x, y)[1];
        bool edge = x < 48 || y < 48 || x >= 464 || y >= 464;
        if (edge && v > 24) ++brightEdge;
        if (!edge && v > 240) ++white;
      }
    EXPECT_EQ(brightEdge, 0);
    EXPECT_GT(white, 500);
  }
}

TEST(ImageFiles, FreshRunReproducesTheCommittedFiles) {
  char tmpl[] = "/tmp/velmor-artwork-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path out = tmpl;
  const std::string cmd = std::string("'") + VELMOR_ARTWORK_BIN + "' '" + out.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  EXPECT_EQ(FilesIn(out), ExpectedFiles());
  for (const std::string &file : ExpectedFiles()) {
    if (!fs::exists(out / file)) continue;
    EXPECT_TRUE(ReadAll(out / file) == ReadAll(kImages / file)) << file << " differs";
  }
  fs::remove_all(out);
}

TEST(ImageFiles, PictureCardsAreDistinctAndFadeToBlackAtTheCorners) {
  std::vector<std::string> names;
  for (int i = 8; i <= 17; ++i) names.push_back("DATA_" + std::to_string(i));
  for (int i = 1; i <= 13; ++i) names.push_back("DDATA_" + std::to_string(i));
  for (int i = 1; i <= 7; ++i) names.push_back("MDATA_" + std::to_string(i));
  std::vector<std::vector<double>> thumbs;
  for (const std::string &name : names) {
    SCOPED_TRACE(name);
    Decoded d = Decode(ReadAll(kImages / (name + ".jpg")));
    ASSERT_EQ(d.w, 512);
    // Cards spin over the background; a bright corner would show as a hard square edge.
    for (int cy : {0, 508})
      for (int cx : {0, 508}) {
        int sum = 0;
        for (int y = cy; y < cy + 4; ++y)
          for (int x = cx; x < cx + 4; ++x) sum += d.At(x, y)[0] + d.At(x, y)[1] + d.At(x, y)[2];
        EXPECT_LE(sum / 48, 20) << "corner " << cx << "," << cy;
      }
    std::vector<double> t(16 * 16 * 3, 0);
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < 512; ++x)
        for (int c = 0; c < 3; ++c)
          t[size_t((y / 32) * 16 + x / 32) * 3 + c] += d.At(x, y)[c] / 1024.0;
    thumbs.push_back(t);
  }
  ASSERT_EQ(thumbs.size(), names.size());
  for (size_t a = 0; a < thumbs.size(); ++a)
    for (size_t b = a + 1; b < thumbs.size(); ++b) {
      double diff = 0;
      for (size_t i = 0; i < thumbs[a].size(); ++i) diff += std::fabs(thumbs[a][i] - thumbs[b][i]);
      EXPECT_GT(diff / thumbs[a].size(), 4.0) << names[a] << " looks like " << names[b];
    }
}
