#include "tools/artwork/text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace art {
namespace {

// 0x80..0xBF of Windows-1251; 0xC0..0xFF are U+0410..U+044F in order.
constexpr uint16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

[[noreturn]] void Fail(const std::string &what) {
  std::fprintf(stderr, "velmor-artwork: %s\n", what.c_str());
  std::exit(1);
}

// One FreeType library and face, released on scope exit.
struct Face {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  explicit Face(const std::string &path) {
    if (FT_Init_FreeType(&lib)) Fail("cannot initialise FreeType");
    if (FT_New_Face(lib, path.c_str(), 0, &face)) Fail("cannot open font " + path);
  }
  ~Face() {
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
  }
  void Size(int px) {
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(px))) Fail("cannot size font");
  }
};

constexpr FT_Int32 kCardLoad = FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT;

// Advance width of one line in 26.6 pixels, with kerning where the font has a table.
long LineWidth(Face &f, const std::u32string &line) {
  long pen = 0;
  FT_UInt prev = 0;
  for (char32_t ch : line) {
    FT_UInt gi = FT_Get_Char_Index(f.face, ch);
    if (prev && gi && FT_HAS_KERNING(f.face)) {
      FT_Vector k;
      FT_Get_Kerning(f.face, prev, gi, FT_KERNING_DEFAULT, &k);
      pen += k.x;
    }
    if (FT_Load_Glyph(f.face, gi, kCardLoad)) Fail("cannot load glyph");
    pen += f.face->glyph->advance.x;
    prev = gi;
  }
  return pen;
}

} // namespace

uint32_t Cp1251ToUnicode(uint8_t byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return 0x0410u + (byte - 0xC0u);
  return kCp1251High[byte - 0x80];
}

std::u32string DecodeUtf8(const std::string &text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    uint8_t b = uint8_t(text[i]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    char32_t cp = extra == 0 ? b : (b & (0x3F >> extra));
    for (int k = 1; k <= extra && i + k < text.size(); ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
    out.push_back(cp);
    i += size_t(extra) + 1;
  }
  return out;
}

namespace {

// Lines are spaced by 1.25 em and a blank line by half that: tighter than the font's own
// line gap, which looks loose at display sizes.
double BlockHeight(const std::vector<std::u32string> &text, int px) {
  double h = 0;
  for (const auto &l : text) h += l.empty() ? 0.625 * px : 1.25 * px;
  return h - 0.25 * px; // no gap below the last line
}

CardFit Fit(Face &f, const std::vector<std::u32string> &text, int side, double margin, int size) {
  const double box = side * (1 - 2 * margin);
  CardFit fit;
  f.Size(size);
  for (size_t i = 0; i < text.size(); ++i)
    // Headroom for the ink reaching beyond the advance box (italics, overhangs).
    if (LineWidth(f, text[i]) / 64.0 + size * 0.1 > box) fit.tooWide.push_back(i);
  fit.tooTall = BlockHeight(text, size) > box;
  fit.fits = fit.tooWide.empty() && !fit.tooTall;
  return fit;
}

std::vector<std::u32string> Decode(const std::vector<std::string> &lines) {
  std::vector<std::u32string> text;
  for (const auto &l : lines) text.push_back(DecodeUtf8(l));
  return text;
}

int PixelSize(Face &f, const std::vector<std::u32string> &text, int side, double margin) {
  int size = kLargestCardSize;
  for (; size > 8; --size)
    if (Fit(f, text, side, margin, size).fits) break;
  return size;
}

} // namespace

CardFit FitCardText(const std::string &fontPath, const std::vector<std::string> &lines, int side,
                    double margin, int pixelSize) {
  Face f(fontPath);
  return Fit(f, Decode(lines), side, margin, pixelSize);
}

int CardPixelSize(const std::string &fontPath, const std::vector<std::string> &lines, int side,
                  double margin) {
  Face f(fontPath);
  return PixelSize(f, Decode(lines), side, margin);
}

std::vector<std::pair<size_t, char32_t>> MissingGlyphs(const std::string &fontPath,
                                                       const std::vector<std::string> &lines) {
  Face f(fontPath);
  std::vector<std::pair<size_t, char32_t>> missing;
  for (size_t i = 0; i < lines.size(); ++i)
    for (char32_t ch : DecodeUtf8(lines[i]))
      if (!FT_Get_Char_Index(f.face, ch)) missing.push_back({i, ch});
  return missing;
}

Image RenderTextCard(const std::string &fontPath, const std::vector<std::string> &lines, int side,
                     double margin, CardLayout *layout) {
  Face f(fontPath);
  const std::vector<std::u32string> text = Decode(lines);
  const int size = PixelSize(f, text, side, margin);
  f.Size(size);

  std::vector<float> cover(size_t(side) * side, 0.f);
  // Centre the block on its cap height, which is where the eye puts the middle of a line.
  const double capHeight = 0.7 * size;
  const double visual = BlockHeight(text, size) - size + capHeight;
  double y = (side - visual) / 2 + capHeight;
  for (const auto &l : text) {
    if (l.empty()) {
      y += 0.625 * size;
      continue;
    }
    long pen = long(std::lround((side * 64.0 - LineWidth(f, l)) / 2));
    FT_UInt prev = 0;
    for (char32_t ch : l) {
      FT_UInt gi = FT_Get_Char_Index(f.face, ch);
      if (prev && gi && FT_HAS_KERNING(f.face)) {
        FT_Vector k;
        FT_Get_Kerning(f.face, prev, gi, FT_KERNING_DEFAULT, &k);
        pen += k.x;
      }
      if (FT_Load_Glyph(f.face, gi, kCardLoad)) Fail("cannot load glyph");
      FT_GlyphSlot g = f.face->glyph;
      if (FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL)) Fail("cannot render glyph");
      const FT_Bitmap &bm = g->bitmap;
      int ox = int((pen + 32) >> 6) + g->bitmap_left;
      int oy = int(std::lround(y)) - g->bitmap_top;
      for (unsigned r = 0; r < bm.rows; ++r)
        for (unsigned c = 0; c < bm.width; ++c) {
          int px = ox + int(c), py = oy + int(r);
          if (px < 0 || py < 0 || px >= side || py >= side) continue;
          float v = bm.buffer[r * unsigned(bm.pitch) + c] / 255.f;
          float &dst = cover[size_t(py) * side + px];
          dst = std::max(dst, v);
        }
      pen += g->advance.x;
      prev = gi;
    }
    y += 1.25 * size;
  }

  Image img(side, side);
  CardLayout box2{size, side, side, 0, 0};
  for (int py = 0; py < side; ++py)
    for (int px = 0; px < side; ++px) {
      float v = cover[size_t(py) * side + px];
      img.At(px, py) = Grey(v);
      if (v > 0) {
        box2.left = std::min(box2.left, px);
        box2.top = std::min(box2.top, py);
        box2.right = std::max(box2.right, px + 1);
        box2.bottom = std::max(box2.bottom, py + 1);
      }
    }
  if (layout) *layout = box2;
  return img;
}

std::vector<uint8_t> RenderGlyphSheet(const std::string &fontPath, int pixelSize, int baseline,
                                      bool outline) {
  constexpr int kSide = 256, kCell = 16;
  Face f(fontPath);
  f.Size(pixelSize);
  std::vector<uint8_t> sheet(kSide * kSide, 0);
  for (int code = 0; code < 256; ++code) {
    uint32_t cp = Cp1251ToUnicode(uint8_t(code));
    // Control codes, space-like characters and the unassigned byte stay empty cells.
    if (cp <= 0x20 || cp == 0x7F || cp == 0xA0 || cp == 0xAD) continue;
    FT_UInt gi = FT_Get_Char_Index(f.face, cp);
    if (!gi) continue;
    // Monochrome rendering: the sheets are strictly two- or three-level.
    if (FT_Load_Glyph(f.face, gi, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO)) Fail("glyph");
    FT_GlyphSlot g = f.face->glyph;
    const FT_Bitmap &bm = g->bitmap;
    uint8_t cell[kCell][kCell] = {};
    int ox = (kCell - int(g->advance.x >> 6)) / 2 + g->bitmap_left;
    if (ox < 0 || ox + int(bm.width) > kCell) ox = (kCell - int(bm.width)) / 2;
    int oy = baseline - g->bitmap_top;
    for (unsigned r = 0; r < bm.rows; ++r)
      for (unsigned c = 0; c < bm.width; ++c) {
        int x = ox + int(c), y = oy + int(r);
        bool on = bm.buffer[r * unsigned(bm.pitch) + (c >> 3)] & (0x80 >> (c & 7));
        if (on && x >= 0 && y >= 0 && x < kCell && y < kCell) cell[y][x] = 255;
      }
    if (outline) {
      uint8_t ringed[kCell][kCell];
      for (int y = 0; y < kCell; ++y)
        for (int x = 0; x < kCell; ++x) {
          ringed[y][x] = cell[y][x];
          if (cell[y][x]) continue;
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              int nx = x + dx, ny = y + dy;
              if (nx >= 0 && ny >= 0 && nx < kCell && ny < kCell && cell[ny][nx])
                ringed[y][x] = 128;
            }
        }
      std::copy(&ringed[0][0], &ringed[0][0] + kCell * kCell, &cell[0][0]);
    }
    const int cx = (code % 16) * kCell, cy = (code / 16) * kCell;
    for (int y = 0; y < kCell; ++y)
      for (int x = 0; x < kCell; ++x) sheet[size_t(cy + y) * kSide + cx + x] = cell[y][x];
  }
  return sheet;
}

} // namespace art
