// The generator's second form, run as a person would: their words and photos in, the 45
// pictures out, coded as ours are; and what it refuses, before writing anything.
#include <algorithm>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
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

std::string Text(const fs::path &p) {
  const Bytes b = ReadAll(p);
  return std::string(b.begin(), b.end());
}

bool Contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

} // namespace

TEST(GiftPictures, OurWordsAndThreePhotosGiveOurShowWithThosePhotos) {
  TempDir tmp;
  const fs::path words = tmp.path / "words.txt", photos = tmp.path / "photos",
                 out = tmp.path / "out";
  WriteAll(words, OurWords());
  fs::create_directory(photos);
  // Named so that the order a file manager shows differs both from the order they were made
  // in and from the byte order of their names; a hidden file and a folder beside them are
  // passed over.
  const Rgb colours[3] = {{220, 30, 30}, {30, 200, 40}, {40, 60, 230}};
  WritePng(photos / "photo 1.png", 800, 500, PNG_COLOR_TYPE_RGB_ALPHA, 8,
           [&](int, int) { return colours[0]; });
  WriteJpeg(photos / "Photo 10.jpg", 700, 1000, false, 0, [&](int, int) { return colours[2]; });
  WriteJpeg(photos / "photo 2.jpg", 300, 300, false, 0, [&](int, int) { return colours[1]; });
  WriteAll(photos / ".DS_Store", "not a picture, but hidden");
  fs::create_directory(photos / "more");

  Outcome r = Artwork("--words " + Q(words) + " --photos " + Q(photos) + " " + Q(out),
                      tmp.path / "err.txt");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "no photo for picture cards 4 to 30: ours are used\n")) << r.err;
  EXPECT_TRUE(Contains(r.err, "velmor-artwork: 45 pictures in " + out.string() +
                                  "; photos for 3 of 30 picture cards, the other 27 are ours\n"))
      << r.err;
  std::set<std::string> written = ExpectedFiles();
  written.insert(".cards.tsv");
  ASSERT_EQ(FilesIn(out), written);
  ExpectLoaderCoding(out);

  // The list the preview sheet is drawn from names each photo under the card it went to.
  std::istringstream in(Text(out / ".cards.tsv"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 45u);
  EXPECT_EQ(lines[7], "DATA_8.jpg\t8 · photo 1.png");
  EXPECT_EQ(lines[8], "DDATA_1.jpg\t9 · photo 2.jpg");
  EXPECT_EQ(lines[9], "DATA_9.jpg\t10 · Photo 10.jpg");
  EXPECT_EQ(lines[10], "DDATA_2.jpg\t11 · ours: DDATA_2");

  // The photos are on the first three picture cards the show reveals, in that order; every
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

TEST(GiftPictures, RefusalsNameTheirFileAndWriteNothing) {
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

TEST(GiftPictures, ThePreviewSheetFollowsItsListWhateverTheLabelsHold) {
  TempDir tmp;
  const Rgb red{220, 30, 30}, green{30, 200, 40}, blue{40, 60, 230};
  for (auto [name, colour] :
       std::vector<std::pair<const char *, Rgb>>{{"a.jpg", red}, {"b.jpg", green}, {"c.jpg", blue}})
    WriteJpeg(tmp.path / name, 300, 300, false, 0, [c = colour](int, int) { return c; });
  // Out of name order, with labels that montage would otherwise read as formats or files.
  const fs::path list = tmp.path / "cards.tsv", sheet = tmp.path / "sheet.png";
  WriteAll(list, "c.jpg\t1 · 100% \\ done\nb.jpg\t@" + list.string() + "\na.jpg\t3 · %t\n");
  const std::string run = "bash '" VELMOR_CONTACT_SHEET "' " + Q(sheet) + " " + Q(tmp.path) + " " +
                          Q(list) + " 2>" + Q(tmp.path / "err.txt");
  ASSERT_EQ(std::system(run.c_str()), 0) << Text(tmp.path / "err.txt");

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, sheet.c_str())) << image.message;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  // Each picture sits in a cell 168 wide, in the list's order; its middle shows its colour.
  ASSERT_GE(image.width, 3u * 168);
  int i = 0;
  for (const Rgb &want : {blue, green, red}) {
    const uint8_t *p = &rgb[(size_t(84) * image.width + size_t(i++ * 168 + 84)) * 3];
    EXPECT_NEAR(p[0], want.r, 12) << "cell " << i;
    EXPECT_NEAR(p[1], want.g, 12) << "cell " << i;
    EXPECT_NEAR(p[2], want.b, 12) << "cell " << i;
  }

  // A list that names a picture the folder lacks is refused, naming both.
  WriteAll(list, "c.jpg\tone\nd.jpg\ttwo\n");
  EXPECT_NE(std::system(run.c_str()), 0);
  EXPECT_TRUE(Contains(Text(tmp.path / "err.txt"),
                       list.string() + " names d.jpg, which is not in " + tmp.path.string()))
      << Text(tmp.path / "err.txt");
}
