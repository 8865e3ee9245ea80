// A person's photos made into card pictures: which files are taken and in what order, the
// crop, the filter, the orientation, and what is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include <png.h>

#include "tests/tools/artwork/picture_checks.h"
#include "tools/artwork/photos.h"

using checks::Rgb;
namespace fs = std::filesystem;

namespace {

constexpr Rgb kSky{40, 90, 200}, kMark{250, 200, 20}, kOutside{230, 20, 20};

// A photo of w x h: sky, with a mark in its middle (a square a fifth of the shorter side) and
// red in the parts a centred square crop cuts away.
checks::PixelFn Scene(int w, int h) {
  return [w, h](int x, int y) {
    const int s = std::min(w, h), x0 = (w - s) / 2, y0 = (h - s) / 2;
    if (x < x0 || x >= x0 + s || y < y0 || y >= y0 + s) return kOutside;
    const int half = s / 10;
    if (std::abs(2 * x + 1 - w) < 2 * half && std::abs(2 * y + 1 - h) < 2 * half) return kMark;
    return kSky;
  };
}

// The mean colour of the n x n block at (x, y) of a picture, 0..255.
Rgb Mean(const art::Image &img, int x, int y, int n = 8) {
  double r = 0, g = 0, b = 0;
  for (int j = y; j < y + n; ++j)
    for (int i = x; i < x + n; ++i) {
      r += img.At(i, j).x, g += img.At(i, j).y, b += img.At(i, j).z;
    }
  const double k = 255.0 / (n * n);
  return {int(std::lround(r * k)), int(std::lround(g * k)), int(std::lround(b * k))};
}

void ExpectNear(Rgb got, Rgb want, int tolerance) {
  EXPECT_NEAR(got.r, want.r, tolerance);
  EXPECT_NEAR(got.g, want.g, tolerance);
  EXPECT_NEAR(got.b, want.b, tolerance);
}

art::Image Load(const fs::path &p, std::string *error) {
  return art::LoadPhoto(p.string(), 512, error);
}

} // namespace

TEST(Photos, EveryShapeAndSizeGivesTheCentredSquare) {
  checks::TempDir tmp;
  struct Case {
    const char *name;
    int w, h;
    bool png;
    bool grey;
  };
  // Wide and tall, larger and smaller than the card: the JPEG's DCT-reduced decode (4000
  // wide), the filter's reduction and its enlargement (208 high) all meet here.
  for (const Case &c :
       {Case{"wide.png", 900, 600, true, false}, Case{"tall.png", 300, 1100, true, false},
        Case{"grey.png", 640, 640, true, true}, Case{"big.jpg", 4000, 3000, false, false},
        Case{"small.jpg", 272, 208, false, false}, Case{"grey.jpg", 500, 700, false, true}}) {
    SCOPED_TRACE(c.name);
    const fs::path p = tmp.path / c.name;
    if (c.png)
      checks::WritePng(p, c.w, c.h, c.grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, 8,
                       Scene(c.w, c.h));
    else
      checks::WriteJpeg(p, c.w, c.h, c.grey, 0, Scene(c.w, c.h));
    std::string error;
    art::Image img = Load(p, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(img.w, 512);
    ASSERT_EQ(img.h, 512);
    // Grey photos are written from the green channel and come back grey.
    auto seen = [&](Rgb want) { return c.grey ? Rgb{want.g, want.g, want.g} : want; };
    ExpectNear(Mean(img, 252, 252), seen(kMark), 8);
    // No red from outside the crop comes in; the sky runs to the edges. (The outermost pixels
    // are left out: a JPEG decoder's chroma smoothing mixes a little of the neighbouring red
    // into the photo's own pixels there.)
    for (auto [x, y] : std::vector<std::pair<int, int>>{
             {8, 8}, {496, 8}, {8, 496}, {496, 496}, {8, 252}, {496, 252}, {252, 8}, {252, 496}})
      ExpectNear(Mean(img, x, y), seen(kSky), 10);
    // The mark keeps its place and size: a fifth of the card, so about 51 pixels each side.
    ExpectNear(Mean(img, 256 - 40, 256 - 4), seen(kMark), 12);
    ExpectNear(Mean(img, 256 + 62, 256 - 4), seen(kSky), 12);
  }
}

TEST(Photos, FilterAveragesFineDetailInsteadOfPickingPixels) {
  // One-pixel stripes halved: any pixel-picking filter gives pure black or white stripes,
  // aliased; averaging gives an even grey.
  checks::TempDir tmp;
  const fs::path p = tmp.path / "stripes.png";
  checks::WritePng(p, 1024, 1024, PNG_COLOR_TYPE_RGB, 8, [](int x, int) {
    int v = x % 2 ? 255 : 0;
    return Rgb{v, v, v};
  });
  std::string error;
  art::Image img = Load(p, &error);
  ASSERT_EQ(error, "");
  double lo = 1, hi = 0;
  for (int y = 100; y < 400; y += 7)
    for (int x = 8; x < 504; ++x)
      lo = std::min(lo, img.At(x, y).x), hi = std::max(hi, img.At(x, y).x);
  EXPECT_GT(lo, 0.45);
  EXPECT_LT(hi, 0.55);
}

TEST(Photos, TransparencyIsOverBlackAndSixteenBitsAreReduced) {
  checks::TempDir tmp;
  // Left half transparent, right half opaque.
  const fs::path rgba = tmp.path / "rgba.png";
  checks::WritePng(
      rgba, 400, 400, PNG_COLOR_TYPE_RGB_ALPHA, 8, [](int, int) { return kMark; },
      [](int x, int) { return x < 200 ? 0 : 255; });
  std::string error;
  art::Image img = Load(rgba, &error);
  ASSERT_EQ(error, "");
  ExpectNear(Mean(img, 40, 252), Rgb{0, 0, 0}, 2);
  ExpectNear(Mean(img, 440, 252), kMark, 3);

  // Mid grey in 16 bits with no gamma chunk: shown as mid grey, not as linear light made
  // brighter. The same for colour with alpha, 16 bits.
  const fs::path grey16 = tmp.path / "grey16.png", rgba16 = tmp.path / "rgba16.png";
  checks::WritePng(grey16, 300, 300, PNG_COLOR_TYPE_GRAY, 16, [](int, int) {
    return Rgb{0x80, 0x80, 0x80};
  });
  checks::WritePng(rgba16, 300, 200, PNG_COLOR_TYPE_RGB_ALPHA, 16, [](int, int) { return kSky; });
  img = Load(grey16, &error);
  ASSERT_EQ(error, "");
  ExpectNear(Mean(img, 252, 252), Rgb{0x80, 0x80, 0x80}, 2);
  img = Load(rgba16, &error);
  ASSERT_EQ(error, "");
  ExpectNear(Mean(img, 252, 252), kSky, 2);
}

TEST(Photos, ExifOrientationTurnsThePicture) {
  for (bool big : {false, true})
    for (int o = 0; o <= 9; ++o) {
      checks::Bytes t = checks::ExifTiff(o, big);
      EXPECT_EQ(art::TiffOrientation(t.data(), t.size()), o >= 1 && o <= 8 ? o : 1) << o;
    }
  checks::Bytes t = checks::ExifTiff(6, false);
  EXPECT_EQ(art::TiffOrientation(t.data(), 20), 1); // cut before the entry
  t[2] = 43;                                        // not TIFF
  EXPECT_EQ(art::TiffOrientation(t.data(), t.size()), 1);

  // The mark in the top-left quarter of the stored pixels; where each orientation shows it.
  checks::TempDir tmp;
  auto marked = [](int x, int y) { return x < 150 && y < 150 ? kMark : kSky; };
  struct Case {
    int orientation;
    bool png;
    int x, y; // a block inside the quarter that must show the mark
  };
  for (const Case &c : {Case{1, false, 40, 40}, Case{6, false, 440, 40}, Case{3, true, 440, 440},
                        Case{8, true, 40, 440}, Case{2, false, 440, 40}, Case{5, true, 40, 40}}) {
    SCOPED_TRACE(c.orientation);
    const fs::path p = tmp.path / ("o" + std::to_string(c.orientation) + (c.png ? ".png" : ".jpg"));
    if (c.png)
      checks::WritePng(p, 600, 600, PNG_COLOR_TYPE_RGB, 8, marked, nullptr, c.orientation);
    else
      checks::WriteJpeg(p, 600, 600, false, c.orientation, marked);
    std::string error;
    art::Image img = Load(p, &error);
    ASSERT_EQ(error, "");
    ExpectNear(Mean(img, c.x, c.y), kMark, 10);
    int marks = 0;
    for (auto [x, y] : std::vector<std::pair<int, int>>{{40, 40}, {440, 40}, {40, 440}, {440, 440}})
      marks += std::abs(Mean(img, x, y).r - kMark.r) < 20;
    EXPECT_EQ(marks, 1);
  }
  // The transpose (5) leaves a corner mark where it was; a wide mark shows it turned it.
  const fs::path wide = tmp.path / "wide-mark.jpg";
  checks::WriteJpeg(wide, 600, 600, false, 5,
                    [](int x, int y) { return x < 400 && y < 100 ? kMark : kSky; });
  std::string error;
  art::Image img = Load(wide, &error);
  ASSERT_EQ(error, "");
  ExpectNear(Mean(img, 20, 300), kMark, 10); // tall now: down the left edge
  ExpectNear(Mean(img, 300, 20), kSky, 10);
}

// A PNG's header alone, saying w x h at 8-bit RGB, then an empty IDAT and the end: enough for
// the library to report the size, nothing to decode.
checks::Bytes PngHeaderOnly(uint32_t w, uint32_t h) {
  auto be32 = [](checks::Bytes *to, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) to->push_back(uint8_t(v >> shift));
  };
  checks::Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char *type, const checks::Bytes &data) {
    be32(&png, uint32_t(data.size()));
    const size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    uint32_t crc = 0xFFFFFFFF; // over type and data, as PNG defines it
    for (size_t i = typeAt; i < png.size(); ++i) {
      crc ^= png[i];
      for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (crc & 1 ? 0xEDB88320 : 0);
    }
    be32(&png, ~crc);
  };
  checks::Bytes ihdr;
  be32(&ihdr, w);
  be32(&ihdr, h);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, no filter, no interlace
  chunk("IHDR", ihdr);
  chunk("IDAT", {});
  chunk("IEND", {});
  return png;
}

// Photos whose pixels would take gigabytes are refused from their header, before any
// allocation; 40000 x 40000 x 3 bytes also passes 4 GiB, which the library's own size macro
// (32-bit arithmetic) would wrap to some 480 MiB.
TEST(Photos, PngsTooLargeToDecodeAreRefusedFromTheirHeader) {
  checks::TempDir tmp;
  for (uint32_t side : {20000u, 40000u}) {
    const fs::path p = tmp.path / ("huge" + std::to_string(side) + ".png");
    const checks::Bytes png = PngHeaderOnly(side, side);
    checks::WriteAll(p, std::string(png.begin(), png.end()));
    std::string error;
    art::Image img = Load(p, &error);
    const std::string size = std::to_string(side) + "x" + std::to_string(side);
    EXPECT_EQ(error, p.string() + ": " + size +
                         " is too large for a PNG here; save it smaller or as JPEG");
    EXPECT_EQ(img.w, 0);
  }
  // The same header at a size that fits is read past the header, and fails only at its empty
  // pixel data: the refusal above comes from the size, not from the crafted file.
  const fs::path small = tmp.path / "small.png";
  const checks::Bytes png = PngHeaderOnly(200, 200);
  checks::WriteAll(small, std::string(png.begin(), png.end()));
  std::string error;
  Load(small, &error);
  EXPECT_EQ(error.rfind(small.string() + ": damaged PNG: ", 0), 0u) << error;
}

TEST(Photos, NonPicturesSmallPicturesAndDamagedOnesAreRefusedByName) {
  checks::TempDir tmp;
  const fs::path text = tmp.path / "notes.jpg", small = tmp.path / "small.png",
                 thin = tmp.path / "thin.jpg", cut = tmp.path / "cut.jpg";
  checks::WriteAll(text, "not a picture, whatever its name says");
  checks::WritePng(small, 300, 127, PNG_COLOR_TYPE_RGB, 8, Scene(300, 127));
  checks::WriteJpeg(thin, 100, 900, false, 0, Scene(100, 900));
  checks::WriteJpeg(cut, 600, 600, false, 0, Scene(600, 600));
  checks::Bytes whole = checks::ReadAll(cut);
  checks::WriteAll(cut,
                   std::string(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() / 2)));
  struct Case {
    fs::path path;
    std::string why;
  };
  for (const Case &c :
       {Case{text, "not a picture (a JPEG or PNG file)"},
        Case{small, "300x127, smaller than 128x128"}, Case{thin, "100x900, smaller than 128x128"},
        Case{cut, "damaged JPEG: the file ends inside the picture"},
        Case{tmp.path / "gone.png", "cannot read: No such file or directory"}}) {
    std::string error;
    art::Image img = Load(c.path, &error);
    EXPECT_EQ(error, c.path.string() + ": " + c.why);
    EXPECT_EQ(img.w, 0);
  }
}

TEST(Photos, FolderListingSkipsHiddenFilesAndFoldersInFileManagerOrder) {
  checks::TempDir tmp;
  for (const char *name : {"b.png", "a.jpg", ".hidden.png", "10.jpg", "2.jpg", "notes.txt",
                           "photo 12.jpg", "Photo 3.png", "img_10.jpg", "IMG_0009.jpg"})
    checks::WriteAll(tmp.path / name, "x");
  fs::create_directory(tmp.path / "0-folder");
  std::string error;
  std::vector<std::string> got = art::ListPhotos(tmp.path.string(), &error);
  EXPECT_EQ(error, "");
  std::vector<std::string> want;
  for (const char *name : {"2.jpg", "10.jpg", "a.jpg", "b.png", "IMG_0009.jpg", "img_10.jpg",
                           "notes.txt", "Photo 3.png", "photo 12.jpg"})
    want.push_back((tmp.path / name).string());
  EXPECT_EQ(got, want);

  got = art::ListPhotos((tmp.path / "none").string(), &error);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(error.rfind((tmp.path / "none").string() + ": cannot read the folder", 0), 0u) << error;
}

TEST(Photos, NaturalOrderComparesNumbersByValueAndLettersWithoutCase) {
  const std::vector<std::pair<std::string, std::string>> before = {
      {"2.jpg", "10.jpg"},
      {"x9y", "x10"},
      {"Photo 3.png", "photo 10.png"},
      {"photo 3.png", "Photo 10.png"},
      {"day 2 - 9.jpg", "day 2 - 10.jpg"},
      {"Фото 2.jpg", "фото 10.jpg"},
      {"Ёлка 2.jpg", "ёлка 10.jpg"},
      {"abc.jpg", "abd.jpg"},
      {"a.jpg", "a1.jpg"},
      {"99999999999999999999.jpg", "100000000000000000000.jpg"}, // past 64 bits
      {"caf\xE9.jpg", "caf\xFF.jpg"},                            // not UTF-8: still ordered
  };
  for (const auto &[a, b] : before) {
    EXPECT_TRUE(art::NaturalLess(a, b)) << a << " < " << b;
    EXPECT_FALSE(art::NaturalLess(b, a)) << b << " < " << a;
  }
  // Names equal but for leading zeros or case are still told apart, one way only, so that
  // the order does not depend on the order the folder is read in.
  for (const auto &[a, b] : std::vector<std::pair<std::string, std::string>>{
           {"01.jpg", "1.jpg"}, {"A.jpg", "a.jpg"}, {"Я.jpg", "я.jpg"}}) {
    EXPECT_NE(art::NaturalLess(a, b), art::NaturalLess(b, a)) << a << " " << b;
    EXPECT_FALSE(art::NaturalLess(a, a)) << a;
  }
}

TEST(Photos, NamesAreShownWholeOrWithTheirMiddleLeftOut) {
  EXPECT_EQ(art::Shown("2.jpg", 24), "2.jpg");
  EXPECT_EQ(art::Shown("Фото Торвы.jpg", 24), "Фото Торвы.jpg");
  EXPECT_EQ(art::Shown("caf\xE9 a\tb.jpg", 24), "caf? a?b.jpg");
  const std::string cut = art::Shown("IMG_20240315_142233_HDR_final_edit.jpg", 24);
  EXPECT_EQ(cut, "IMG_20240315…al_edit.jpg");
  // Letters, not bytes, are counted, and none is cut in two.
  EXPECT_EQ(art::Shown("Ёлка и подарки у бабушки.jpg", 11), "Ёлка …и.jpg");
}

TEST(Photos, TheSheetShowsTheCardsInTheOrderOfTheShowWithWhatEachShows) {
  // The generator's files in its own order: overlays, opening, pictures, closing, glyphs.
  const std::set<std::string> inventory = checks::ExpectedFiles();
  std::vector<std::string> files = {"DATA_PARTICLE.jpg", "DATA_SCREEN.jpg", "DATA_FILM.jpg"};
  for (const std::string &f : inventory)
    if (std::find(files.begin(), files.end(), f) == files.end()) files.push_back(f);
  const std::vector<art::SheetEntry> sheet =
      art::SheetOrder(files, {"/home/m/Photos/photo 1.png", "/home/m/Photos/photo 2.jpg",
                              "/home/m/Photos/Photo 10.jpg"});
  ASSERT_EQ(sheet.size(), 45u);
  std::set<std::string> seen;
  for (const art::SheetEntry &e : sheet) seen.insert(e.file);
  EXPECT_EQ(seen, inventory);

  auto at = [&](size_t k) { return sheet[k - 1].file + " " + sheet[k - 1].label; };
  EXPECT_EQ(at(1), "DATA_1.jpg 1 · words, card 1");
  EXPECT_EQ(at(7), "DATA_7.jpg 7 · words, card 7");
  EXPECT_EQ(at(8), "DATA_8.jpg 8 · photo 1.png");
  EXPECT_EQ(at(9), "DDATA_1.jpg 9 · photo 2.jpg");
  EXPECT_EQ(at(10), "DATA_9.jpg 10 · Photo 10.jpg");
  EXPECT_EQ(at(11), "DDATA_2.jpg 11 · ours: DDATA_2");
  EXPECT_EQ(at(31), "MDATA_1.jpg 31 · ours: MDATA_1");
  EXPECT_EQ(at(38), "EDATA_1.jpg 38 · words, card 8");
  EXPECT_EQ(at(40), "EDATA_3.jpg 40 · words, card 10");
  // Below the cards, the pictures that are not cards, by name.
  EXPECT_EQ(at(41), "DATA_PARTICLE.jpg DATA_PARTICLE");
  EXPECT_EQ(at(45), "DATA_FONT3.tga DATA_FONT3");
}
