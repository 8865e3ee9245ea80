// The Windows program's icon: the committed file is what the generator makes,
// and it is laid out as Windows reads an icon (each size where its directory
// entry says, bitmaps with their doubled height and a mask that agrees with
// their alpha, the largest as PNG).
#include <gtest/gtest.h>

#include <png.h>

#include <cstdlib>
#include <iterator>
#include <string>

#include "tests/tools/artwork/picture_checks.h"
#include "tools/artwork/pictures.h"

using namespace checks;

namespace {

uint32_t Le(const Bytes &b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b.at(at + size_t(i));
  return v;
}

struct Entry {
  int side;
  size_t size, offset;
};

std::vector<Entry> Directory(const Bytes &ico) {
  EXPECT_EQ(Le(ico, 0, 2), 0u);
  EXPECT_EQ(Le(ico, 2, 2), 1u) << "not an icon";
  std::vector<Entry> entries;
  for (uint32_t i = 0; i < Le(ico, 4, 2); ++i) {
    size_t at = 6 + 16 * size_t(i);
    int side = ico.at(at) == 0 ? 256 : ico.at(at);
    EXPECT_EQ(ico.at(at + 1) == 0 ? 256 : ico.at(at + 1), side) << "not square";
    EXPECT_EQ(Le(ico, at + 4, 2), 1u) << "planes";
    EXPECT_EQ(Le(ico, at + 6, 2), 32u) << "bits per pixel";
    entries.push_back({side, Le(ico, at + 8, 4), Le(ico, at + 12, 4)});
  }
  return entries;
}

} // namespace

TEST(ProgramIcon, CommittedFileIsWhatTheGeneratorMakes) {
  TempDir tmp;
  const fs::path made = tmp.path / "velmor.ico";
  const std::string cmd =
      std::string("'") + VELMOR_ARTWORK_BIN + "' --icon '" + made.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  EXPECT_TRUE(ReadAll(made) == ReadAll(VELMOR_ICON)) << VELMOR_ICON << " differs from a fresh run";
}

TEST(ProgramIcon, EveryImageLiesWhereItsEntrySaysAndMatchesItsPicture) {
  const Bytes ico = art::ProgramIconFile();
  const std::vector<Entry> entries = Directory(ico);
  const int sides[] = {16, 32, 48, 256};
  ASSERT_EQ(entries.size(), std::size(sides));
  size_t expectedOffset = 6 + 16 * entries.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry &e = entries[i];
    SCOPED_TRACE(e.side);
    EXPECT_EQ(e.side, sides[i]);
    // Packed one after the other, the last ending the file.
    EXPECT_EQ(e.offset, expectedOffset);
    expectedOffset += e.size;
    ASSERT_LE(e.offset + e.size, ico.size());
    const art::IconPicture picture = art::ProgramIcon(e.side);
    if (e.side == 256) {
      png_image image{};
      image.version = PNG_IMAGE_VERSION;
      ASSERT_TRUE(png_image_begin_read_from_memory(&image, &ico[e.offset], e.size))
          << image.message;
      EXPECT_EQ(image.width, 256u);
      EXPECT_EQ(image.height, 256u);
      image.format = PNG_FORMAT_RGBA;
      Bytes rgba(PNG_IMAGE_SIZE(image));
      ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
      EXPECT_TRUE(rgba == picture.rgba);
      continue;
    }
    const size_t header = e.offset;
    EXPECT_EQ(Le(ico, header, 4), 40u);
    EXPECT_EQ(Le(ico, header + 4, 4), uint32_t(e.side));
    EXPECT_EQ(Le(ico, header + 8, 4), uint32_t(e.side * 2)) << "colours and mask";
    EXPECT_EQ(Le(ico, header + 14, 2), 32u);
    const size_t maskRow = size_t((e.side + 31) / 32 * 4);
    ASSERT_EQ(e.size, 40 + size_t(e.side) * e.side * 4 + maskRow * size_t(e.side));
    const size_t colours = header + 40;
    const size_t mask = colours + size_t(e.side) * e.side * 4;
    int mismatched = 0;
    for (int y = 0; y < e.side; ++y)
      for (int x = 0; x < e.side; ++x) {
        // Rows are stored bottom first, in B, G, R, A.
        const size_t stored = colours + (size_t(e.side - 1 - y) * e.side + x) * 4;
        const uint8_t *want = &picture.rgba[(size_t(y) * e.side + x) * 4];
        if (ico[stored] != want[2] || ico[stored + 1] != want[1] || ico[stored + 2] != want[0] ||
            ico[stored + 3] != want[3])
          ++mismatched;
        const bool masked =
            (ico[mask + size_t(e.side - 1 - y) * maskRow + size_t(x / 8)] & (0x80 >> (x % 8))) != 0;
        if (masked != (want[3] == 0)) ++mismatched;
      }
    EXPECT_EQ(mismatched, 0);
  }
  EXPECT_EQ(expectedOffset, ico.size());
}

TEST(ProgramIcon, RoundedSquareOverTransparencyWithTheFlowerAtItsHeart) {
  for (int side : {16, 32, 48, 256}) {
    SCOPED_TRACE(side);
    const art::IconPicture p = art::ProgramIcon(side);
    ASSERT_EQ(p.rgba.size(), size_t(side) * side * 4);
    auto at = [&](int x, int y) { return &p.rgba[(size_t(y) * side + x) * 4]; };
    // The corners are cut away; the square is covered to near its edges.
    const int rim = side / 10;
    for (int x : {0, side - 1})
      for (int y : {0, side - 1}) EXPECT_EQ(at(x, y)[3], 0) << x << "," << y;
    for (int x : {rim, side - 1 - rim}) EXPECT_EQ(at(x, side / 2)[3], 255) << x;
    for (int y : {rim, side - 1 - rim}) EXPECT_EQ(at(side / 2, y)[3], 255) << y;
    // The flower is light; the edge of the square is the show's dark blue.
    const uint8_t *heart = at(side / 2, side / 2);
    EXPECT_GT(heart[0] + heart[1] + heart[2], 3 * 200);
    const uint8_t *edge = at(side / 2, side - 1 - rim);
    EXPECT_LT(edge[0] + edge[1] + edge[2], 3 * 90);
    EXPECT_GE(edge[2], edge[0]) << "blue, not warm";
  }
}
