// The generator's second form, run as a person would: their words and photos in, the 45
// pictures out, coded as ours are; and what it refuses, before writing anything.
#include <algorithm>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <png.h>

#include "tests/tools/artwork/picture_checks.h"
#include "tools/artwork/cards.h"

using namespace checks;

namespace {

const fs::path kImages = VELMOR_IMAGES_DIR;

struct Outcome {
  int status = -1;
  std::string err; // standard error
};

// Runs the generator with `args` (quoted by the caller), standard error captured.
Outcome Artwork(const std::string &args, const fs::path &errFile) {
  const std::string cmd =
      std::string("'") + VELMOR_ARTWORK_BIN + "' " + args + " 2>'" + errFile.string() + "'";
  Outcome r;
  int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  Bytes e = ReadAll(errFile);
  r.err.assign(e.begin(), e.end());
  return r;
}

std::string Q(const fs::path &p) { return "'" + p.string() + "'"; }

// Our own card texts written as a words file, from the table the generator uses.
std::string OurWords() {
  std::string text = "# our own words\n";
  for (const art::CardText &card : art::kOurCardTexts) {
    if (card.name != art::kOurCardTexts[0].name) text += "\n";
    for (const std::string &line : art::LinesOf(card)) text += (line.empty() ? "." : line) + "\n";
  }
  return text;
}

bool Contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

} // namespace

TEST(Kit, OurWordsAndThreePhotosGiveOurShowWithThosePhotos) {
  TempDir tmp;
  const fs::path words = tmp.path / "words.txt", photos = tmp.path / "photos",
                 out = tmp.path / "out";
  WriteAll(words, OurWords());
  fs::create_directory(photos);
  // Named so that name order differs from the order they were made in; a hidden file and a
  // folder beside them are passed over.
  const Rgb colours[3] = {{220, 30, 30}, {30, 200, 40}, {40, 60, 230}};
  WritePng(photos / "a-first.png", 800, 500, PNG_COLOR_TYPE_RGB_ALPHA, 8,
           [&](int, int) { return colours[0]; });
  WriteJpeg(photos / "c-third.jpg", 700, 1000, false, 0, [&](int, int) { return colours[2]; });
  WriteJpeg(photos / "b-second.jpg", 300, 300, false, 0, [&](int, int) { return colours[1]; });
  WriteAll(photos / ".DS_Store", "not a picture, but hidden");
  fs::create_directory(photos / "more");

  Outcome r = Artwork("--words " + Q(words) + " --photos " + Q(photos) + " " + Q(out),
                      tmp.path / "err.txt");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "no photo for picture cards 4 to 30: ours are used\n")) << r.err;
  EXPECT_TRUE(Contains(r.err, "velmor-artwork: 45 pictures in " + out.string() +
                                  "; photos for 3 of 30 picture cards, the other 27 are ours\n"))
      << r.err;
  ASSERT_EQ(FilesIn(out), ExpectedFiles());
  ExpectLoaderCoding(out);

  // The photos are on the first three picture cards the show reveals, in name order; every
  // other file, our words' cards among them, is ours to the byte.
  std::set<std::string> photoCards;
  for (int k = 0; k < 3; ++k) {
    const std::string file = std::string(art::PictureCardName(k)) + ".jpg";
    photoCards.insert(file);
    SCOPED_TRACE(file);
    Decoded d = Decode(ReadAll(out / file));
    ASSERT_EQ(d.w, 512);
    for (auto [x, y] : std::vector<std::pair<int, int>>{{256, 256}, {64, 64}, {448, 448}}) {
      EXPECT_NEAR(d.At(x, y)[0], colours[k].r, 6);
      EXPECT_NEAR(d.At(x, y)[1], colours[k].g, 6);
      EXPECT_NEAR(d.At(x, y)[2], colours[k].b, 6);
    }
    // The edges fade to black as our picture cards' do.
    for (auto [x, y] : std::vector<std::pair<int, int>>{{2, 256}, {256, 509}, {2, 2}})
      EXPECT_LE(std::max({d.At(x, y)[0], d.At(x, y)[1], d.At(x, y)[2]}), 16) << x << "," << y;
  }
  for (const std::string &file : ExpectedFiles()) {
    if (photoCards.count(file)) continue;
    EXPECT_TRUE(ReadAll(out / file) == ReadAll(kImages / file)) << file << " differs from ours";
  }
}

TEST(Kit, RefusalsNameTheirFileAndWriteNothing) {
  TempDir tmp;
  const fs::path words = tmp.path / "words.txt", photos = tmp.path / "photos",
                 out = tmp.path / "out", err = tmp.path / "err.txt";
  fs::create_directory(photos);
  WriteJpeg(photos / "01.jpg", 400, 300, false, 0, [](int, int) { return Rgb{9, 9, 9}; });

  // Nine cards: the count, the need, the file.
  std::string nine = OurWords();
  nine.erase(nine.rfind("\n\n"));
  WriteAll(words, nine + "\n");
  Outcome r = Artwork("--words " + Q(words) + " --photos " + Q(photos) + " " + Q(out), err);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, words.string() +
                                  ": 9 cards; the show needs exactly 10: 7 opening, 3 closing"))
      << r.err;
  EXPECT_TRUE(Contains(r.err, "nothing written")) << r.err;
  EXPECT_FALSE(fs::exists(out));

  // Good words; a folder holding a note and a thumbnail; our own folder as the output. Every
  // reason comes in the one run, and our pictures are left alone.
  WriteAll(words, OurWords());
  WriteAll(photos / "02-notes.txt", "hello");
  WritePng(photos / "03-thumb.png", 100, 100, PNG_COLOR_TYPE_RGB, 8, [](int, int) {
    return Rgb{9, 9, 9};
  });
  const auto before = fs::last_write_time(kImages / "DATA_8.jpg");
  r = Artwork("--words " + Q(words) + " --photos " + Q(photos) + " " + Q(kImages), err);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(
      Contains(r.err, (photos / "02-notes.txt").string() + ": not a picture (a JPEG or PNG file)"))
      << r.err;
  EXPECT_TRUE(Contains(r.err, (photos / "03-thumb.png").string() + ": 100x100, smaller than"))
      << r.err;
  EXPECT_TRUE(Contains(r.err, kImages.string() + ": our own pictures live there")) << r.err;
  EXPECT_EQ(fs::last_write_time(kImages / "DATA_8.jpg"), before);

  // A words file that cannot be read, and command lines that say too little or too much.
  r = Artwork("--words " + Q(tmp.path / "none.txt") + " " + Q(out), err);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, (tmp.path / "none.txt").string() + ": cannot read")) << r.err;
  EXPECT_FALSE(fs::exists(out));
  for (const std::string &args :
       {"--photos " + Q(photos) + " " + Q(out), "--words " + Q(words) + " " + Q(out) + " " + Q(out),
        "--words " + Q(words) + " --colour red " + Q(out)}) {
    r = Artwork(args, err);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(Contains(r.err, "usage: velmor-artwork")) << args;
  }
  EXPECT_FALSE(fs::exists(out));
}
