// The committed pictures in assets/images: names, coding properties the loaders rely on,
// a few content facts the intro's look depends on, and that a fresh run reproduces them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "tests/tools/artwork/picture_checks.h"

using namespace checks;

namespace {

// Our folder, or a gift's when VELMOR_CHECK_IMAGES names one: the inventory,
// coding and glyph-sheet checks hold for both (the gift checks run them so).
const fs::path kImages = std::getenv("VELMOR_CHECK_IMAGES") != nullptr
                             ? std::getenv("VELMOR_CHECK_IMAGES")
                             : VELMOR_IMAGES_DIR;

} // namespace

TEST(ImageFiles, ExactlyTheInventoryIsPresent) {
  ASSERT_TRUE(fs::is_directory(kImages)) << kImages;
  EXPECT_EQ(FilesIn(kImages), ExpectedFiles());
}

TEST(ImageFiles, EveryJpegHasTheCodingTheLoaderExpects) { ExpectJpegCoding(kImages); }

TEST(ImageFiles, MarkerWalkerRejectsDamagedStreams) {
  Bytes good = ReadAll(kImages / "DATA_1.jpg");
  ASSERT_EQ(WalkJpeg(good).error, "");
  Bytes cut(good.begin(), good.end() - 2); // no EOI
  EXPECT_NE(WalkJpeg(cut).error, "");
  Bytes trailing = good;
  trailing.push_back(0);
  EXPECT_FALSE(WalkJpeg(trailing).endsWithEoi);
}

TEST(ImageFiles, GlyphSheetsHaveTheExactTgaLayout) { ExpectGlyphSheetLayout(kImages); }

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
  TempDir tmp;
  const fs::path &out = tmp.path;
  const std::string cmd = std::string("'") + VELMOR_ARTWORK_BIN + "' '" + out.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  EXPECT_EQ(FilesIn(out), ExpectedFiles());
  for (const std::string &file : ExpectedFiles()) {
    if (!fs::exists(out / file)) continue;
    EXPECT_TRUE(ReadAll(out / file) == ReadAll(kImages / file)) << file << " differs";
  }
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
