// The code page table and the FreeType layout behind the text cards and glyph sheets.
#include <gtest/gtest.h>

#include <iconv.h>

#include <set>

#include "tools/artwork/text.h"

namespace {

const char kSerif[] = "/usr/share/fonts/truetype/paratype/PTF55F.ttf";
const char kSans[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The C library's own converter as the reference; 0 where it has no mapping.
uint32_t LibcCp1251(uint8_t byte) {
  iconv_t cd = iconv_open("UTF-32LE", "CP1251");
  if (cd == iconv_t(-1)) return 0xFFFFFFFF;
  char in[1] = {char(byte)};
  unsigned char out[4] = {};
  char *ip = in, *op = reinterpret_cast<char *>(out);
  size_t il = 1, ol = 4;
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == size_t(-1) || ol != 0) return 0;
  return uint32_t(out[0]) | uint32_t(out[1]) << 8 | uint32_t(out[2]) << 16 | uint32_t(out[3]) << 24;
}

} // namespace

TEST(TextRender, Cp1251TableMatchesTheCLibrary) {
  ASSERT_NE(LibcCp1251('A'), 0xFFFFFFFFu) << "iconv has no CP1251";
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(art::Cp1251ToUnicode(uint8_t(b)), LibcCp1251(uint8_t(b))) << b;
}

TEST(TextRender, Utf8DecodesCyrillicAndDashes) {
  EXPECT_EQ(art::DecodeUtf8("Торве — 2026"), U"Торве — 2026");
}

TEST(TextRender, CardsStayInsideTheMarginsAndFillThem) {
  const double margin = 0.12;
  const int lo = int(512 * margin), hi = 512 - lo;
  art::CardLayout shortCard, longCard;
  art::RenderTextCard(kSerif, {"Торве —", "от Велмора"}, 512, margin, &shortCard);
  art::RenderTextCard(kSerif,
                      {"Пусть этот год", "будет щедрым на свет,", "на добрые встречи", "", "2026"},
                      512, margin, &longCard);
  for (const art::CardLayout &l : {shortCard, longCard}) {
    EXPECT_GE(l.left, lo);
    EXPECT_GE(l.top, lo);
    EXPECT_LE(l.right, hi);
    EXPECT_LE(l.bottom, hi);
    // Centred: equal room left and right, and above and below, within a few pixels.
    EXPECT_NEAR(l.left, 512 - l.right, 6);
    EXPECT_NEAR(l.top, 512 - l.bottom, 24);
  }
  // The fit grows the text until the box is nearly full in one direction.
  EXPECT_GT(longCard.right - longCard.left, (hi - lo) * 0.8);
  EXPECT_GT(shortCard.pixelSize, longCard.pixelSize);
}

TEST(TextRender, GlyphSheetsAreStrictlyTwoOrThreeLevels) {
  std::vector<uint8_t> plain = art::RenderGlyphSheet(kSans, 12, 12, false);
  std::vector<uint8_t> ringed = art::RenderGlyphSheet(kSans, 11, 12, true);
  ASSERT_EQ(plain.size(), 65536u);
  EXPECT_EQ(std::set<uint8_t>(plain.begin(), plain.end()), (std::set<uint8_t>{0, 255}));
  EXPECT_EQ(std::set<uint8_t>(ringed.begin(), ringed.end()), (std::set<uint8_t>{0, 128, 255}));
  // Every outline pixel touches its glyph inside the same cell, so no outline leaks
  // from one character into the next.
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      if (ringed[size_t(y) * 256 + x] != 128) continue;
      bool touches = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          int nx = x + dx, ny = y + dy;
          if (nx / 16 == x / 16 && ny / 16 == y / 16 && nx >= 0 && ny >= 0 && nx < 256 &&
              ny < 256 && ringed[size_t(ny) * 256 + nx] == 255)
            touches = true;
        }
      ASSERT_TRUE(touches) << x << "," << y;
    }
}

TEST(TextRender, GlyphSheetCellsFollowTheCodePage) {
  std::vector<uint8_t> sheet = art::RenderGlyphSheet(kSans, 12, 12, false);
  auto cell = [&](int code) {
    std::vector<uint8_t> c;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        c.push_back(sheet[size_t((code / 16) * 16 + y) * 256 + (code % 16) * 16 + x]);
    return c;
  };
  // The Cyrillic capitals that share their shape with Latin ones come out identical,
  // which pins both the code page and the cell arithmetic.
  EXPECT_EQ(cell(0xC0), cell('A'));                    // А
  EXPECT_EQ(cell(0xCE), cell('O'));                    // О
  EXPECT_EQ(cell(0xD2), cell('T'));                    // Т
  EXPECT_NE(cell(0xC1), cell('B'));                    // Б is not B
  EXPECT_EQ(cell(0x98), std::vector<uint8_t>(256, 0)); // unassigned in the code page
}
