// velmor-artwork OUTDIR [NAME...]
// velmor-artwork --words FILE [--photos FOLDER] OUTDIR
// velmor-artwork --icon ICO
//
// Writes the intro's 45 embedded pictures into OUTDIR as NAME.jpg / NAME.tga; with names
// given, only those. The output is byte-for-byte reproducible: pictures are computed
// independently in worker threads and written afterwards in a fixed order.
//
// The second form makes a person's own show: the same 45 pictures with their words on the text
// cards and their photos on the picture cards, and a list of what each card shows for the
// preview sheet. Everything is read and checked before anything is written, so a refusal
// leaves OUTDIR as it was.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tools/artwork/cards.h"
#include "tools/artwork/encode.h"
#include "tools/artwork/gift_cards.h"
#include "tools/artwork/photos.h"
#include "tools/artwork/pictures.h"
#include "tools/artwork/text.h"
#include "tools/artwork/words.h"

namespace {

namespace fs = std::filesystem;
using art::Bytes;
using art::Image;
using art::Rgb8;

const char kUsage[] = R"(usage: velmor-artwork OUTDIR [NAME...]
       velmor-artwork --words FILE [--photos FOLDER] OUTDIR
       velmor-artwork --icon ICO

The first form writes our 45 pictures, or only the NAMEs, into OUTDIR.

The second writes the same 45 pictures into OUTDIR (made if missing) with your words on the
10 text cards and your photos on the 30 picture cards; everything else stays ours.

The third writes the Windows program's icon (16, 32, 48 and 256 pixels) into ICO.

FILE    UTF-8 text holding exactly 10 cards, separated by a blank line: the first 7 open
        the show (the first is the dedication), the last 3 close it (wishes, greetings,
        credits). Each line of a card is one line on it, centred; a tab is a space. A
        line holding only "." is an empty line within a card (a card of only those is
        refused). A line starting with "#" is a note at the top and between cards (after
        a blank line); inside a card it is refused (" #" is text). Cards are set in our
        font as large as they fit, as ours are; a card that would need type smaller than
        two thirds of the smallest size of our own cards is refused, naming the card and
        the line to shorten.
FOLDER  your photos: JPEG or PNG files (known by their contents, not their names), at
        least 128x128, of any size and shape, taken in the order a file manager lists
        them: 2.jpg before 10.jpg, capitals and small letters alike (names that differ
        only so, as 01.jpg and 1.jpg, in byte order). Files whose names start with "." and
        anything that is not a file are skipped; any other file must be a picture. They
        replace our picture cards in the order the show reveals them; with fewer than 30
        the rest stay ours, photos beyond 30 are left out. Each is cropped to its centred
        square and scaled to 512x512; its EXIF orientation (JPEG or PNG) is honoured,
        transparency is shown over black.

OUTDIR also gets .cards.tsv: each picture's file and what it shows, the cards in the
order the show reveals them ("8 · 2.jpg"), for contact_sheet.sh to label a preview by.

Exit status: 0 when every file was written; 1 on a refusal (every reason is named, and
nothing is written) or a failed write; 2 on a wrong command line.
)";

const char kSheetFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char kSheetFontBold[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const char kIccProfile[] = "/usr/share/color/icc/sRGB.icc";
using art::kComment;

struct Entry {
  std::string file; // NAME.jpg or NAME.tga
  std::function<Bytes()> make;
};

Bytes ReadFile(const char *path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "velmor-artwork: cannot read %s\n", path);
    std::exit(1);
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes GlyphSheet(bool outlined) {
  std::vector<uint8_t> sheet = outlined ? art::RenderGlyphSheet(kSheetFontBold, 11, 12, true)
                                        : art::RenderGlyphSheet(kSheetFont, 12, 12, false);
  const int bpp = outlined ? 3 : 4;
  Bytes pixels;
  pixels.reserve(sheet.size() * size_t(bpp));
  for (uint8_t v : sheet) {
    pixels.insert(pixels.end(), {v, v, v});
    if (bpp == 4) pixels.push_back(0); // the loader ignores alpha; keep it empty
  }
  return art::EncodeTga(256, 256, bpp * 8, pixels);
}

std::vector<Entry> Inventory() {
  using namespace art;
  std::vector<Entry> e;
  auto jpg = [&](const char *name, std::function<Bytes()> f) {
    e.push_back({std::string(name) + ".jpg", f});
  };
  auto pic = [&](const char *name, std::function<Image()> f) {
    jpg(name, [f] { return CardJpeg(f()); });
  };

  jpg("DATA_PARTICLE", [] { return EncodeBaselineJpeg(Quantise(WhiteFlower32()), 92, kComment); });
  jpg("DATA_SCREEN", [] {
    return EncodeOverlayJpeg(Quantise(ScreenVignette()), 95, ReadFile(kIccProfile), kComment);
  });
  jpg("DATA_FILM", [] { return EncodeBaselineJpeg(Quantise(FilmGrain()), 90, kComment); });

  auto text = [&](const CardText &card) {
    jpg(card.name, [lines = LinesOf(card)] { return TextCardJpeg(lines); });
  };

  // The opening dedication, one thought per card.
  for (int i = 0; i < kOpeningCards; ++i) text(kOurCardTexts[size_t(i)]);

  // The pictures, in the order the intro loads them.
  pic("DATA_8", GlassAndMetalSpheres);
  pic("DDATA_1", MandelbrotValley);
  pic("DATA_9", SunsetLandscape);
  pic("DDATA_2", CandleFlame);
  pic("DATA_10", GalaxyAndStars);
  pic("DDATA_3", ParticleHeart);
  pic("DATA_11", MoonOverWater);
  pic("DDATA_4", Snowflakes);
  pic("DATA_12", Fireworks);
  pic("DDATA_5", Aurora);
  pic("DATA_13", RoseCurves);
  pic("DDATA_6", Lighthouse);
  pic("DATA_14", TreeAtDusk);
  pic("DDATA_7", OceanAtSunset);
  pic("DATA_15", FlowerMeadow);
  pic("DDATA_8", BarnsleyFern);
  pic("DATA_16", RingedPlanet);
  pic("DDATA_9", Sunflower);
  pic("DATA_17", ButterflyCurve);
  pic("DDATA_10", SoapBubbles);
  pic("DDATA_11", MountainRidges);
  pic("DDATA_12", LorenzAttractor);
  pic("DDATA_13", Bokeh);
  pic("MDATA_1", [] { return VioletJulia(0); });
  pic("MDATA_2", [] { return VioletKaleidoscope(0); });
  pic("MDATA_3", [] { return VioletJulia(1); });
  pic("MDATA_4", [] { return VioletKaleidoscope(1); });
  pic("MDATA_5", [] { return VioletJulia(2); });
  pic("MDATA_6", [] { return VioletKaleidoscope(2); });
  pic("MDATA_7", [] { return VioletJulia(3); });

  // Closing: wishes, greetings, credits.
  for (size_t i = kOpeningCards; i < kOurCardTexts.size(); ++i) text(kOurCardTexts[i]);

  e.push_back({"DATA_FONT2.tga", [] { return GlyphSheet(false); }});
  e.push_back({"DATA_FONT3.tga", [] { return GlyphSheet(true); }});
  return e;
}

// False, with its line, on a failed write.
bool WriteFile(const std::string &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "velmor-artwork: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

// Makes the pictures and writes them in a fixed order; false, with its line, on a failed write.
bool MakeAndWrite(const std::string &outDir, const std::vector<Entry> &todo) {
  std::vector<Bytes> results(todo.size());
  art::RunAll(todo.size(), [&](size_t i) { results[i] = todo[i].make(); });
  for (size_t i = 0; i < todo.size(); ++i)
    if (!WriteFile(outDir + "/" + todo[i].file, results[i])) return false;
  return true;
}

std::string Stem(const std::string &file) { return file.substr(0, file.find('.')); }

std::string Cards(size_t first, size_t last) {
  return first == last ? "picture card " + std::to_string(first)
                       : "picture cards " + std::to_string(first) + " to " + std::to_string(last);
}

int MakeGiftPictures(const std::vector<std::string> &args) {
  std::string wordsPath, photosDir, outDir;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if ((a == "--words" || a == "--photos") && i + 1 < args.size()) {
      (a == "--words" ? wordsPath : photosDir) = args[++i];
    } else if (a.empty() || a[0] == '-' || !outDir.empty()) {
      std::fprintf(stderr, "velmor-artwork: unexpected \"%s\"\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      outDir = a;
    }
  }
  if (wordsPath.empty() || outDir.empty()) {
    std::fprintf(stderr, "velmor-artwork: --words FILE and OUTDIR are needed\n%s", kUsage);
    return 2;
  }

  std::vector<std::string> errors;
  std::vector<art::WordsCard> cards = art::ReadWords(wordsPath, &errors);
  if (!cards.empty())
    art::CheckWordsFit(wordsPath, cards, art::kCardFont, art::kSide, art::kCardMargin, &errors);
  std::vector<std::string> photos;
  if (!photosDir.empty()) {
    std::string error;
    photos = art::ListPhotos(photosDir, &error);
    if (!error.empty()) errors.push_back(error);
  }
  const size_t used = std::min(photos.size(), size_t(art::kPictureCards));
  std::vector<Rgb8> pixels(used);
  std::vector<std::string> photoErrors(used);
  if (used)
    std::fprintf(stderr, "velmor-artwork: reading %zu photo%s from %s\n", used,
                 used == 1 ? "" : "s", photosDir.c_str());
  art::RunAll(used, [&](size_t i) {
    Image img = art::LoadPhoto(photos[i], art::kSide, &photoErrors[i]);
    if (photoErrors[i].empty()) pixels[i] = art::PhotoCardPixels(std::move(img));
  });
  for (const std::string &e : photoErrors)
    if (!e.empty()) errors.push_back(e);
  std::error_code unrelated; // either folder may be missing
  if (fs::equivalent(outDir, VELMOR_OUR_IMAGES_DIR, unrelated))
    errors.push_back(outDir + ": our own pictures live there; choose another folder");
  if (!errors.empty()) {
    for (const std::string &e : errors) std::fprintf(stderr, "velmor-artwork: %s\n", e.c_str());
    std::fprintf(stderr, "velmor-artwork: nothing written\n");
    return 1;
  }
  std::error_code ec;
  if (!fs::is_directory(outDir)) fs::create_directories(outDir, ec);
  if (ec) {
    std::fprintf(stderr, "velmor-artwork: cannot make %s: %s\n", outDir.c_str(),
                 ec.message().c_str());
    return 1;
  }

  std::fprintf(stderr, "velmor-artwork: %zu cards from %s\n", cards.size(), wordsPath.c_str());
  if (photos.size() > used) {
    std::string left;
    for (size_t i = used; i < photos.size(); ++i)
      left += (i > used ? ", " : "") + fs::path(photos[i]).filename().string();
    std::fprintf(stderr, "velmor-artwork: the show has %d picture cards; left out: %s\n",
                 art::kPictureCards, left.c_str());
  }
  if (used < size_t(art::kPictureCards))
    std::fprintf(stderr, "velmor-artwork: no photo for %s: ours are used\n",
                 Cards(used + 1, size_t(art::kPictureCards)).c_str());

  std::vector<Entry> todo = Inventory();
  for (Entry &en : todo)
    if (auto gift = art::GiftCardMaker(en.file, cards, pixels)) en.make = gift;
  if (!MakeAndWrite(outDir, todo)) return 1;
  std::vector<std::string> files;
  for (const Entry &en : todo) files.push_back(en.file);
  const std::string listPath = outDir + "/.cards.tsv";
  std::ofstream list(listPath, std::ios::binary);
  for (const art::SheetEntry &s :
       art::SheetOrder(files, std::vector<std::string>(photos.begin(), photos.begin() + used)))
    list << s.file << '\t' << s.label << '\n';
  if (!list.flush()) {
    std::fprintf(stderr, "velmor-artwork: cannot write %s\n", listPath.c_str());
    return 1;
  }
  if (used == size_t(art::kPictureCards))
    std::fprintf(stderr, "velmor-artwork: %zu pictures in %s; photos for all %d picture cards\n",
                 todo.size(), outDir.c_str(), art::kPictureCards);
  else
    std::fprintf(stderr,
                 "velmor-artwork: %zu pictures in %s; photos for %zu of %d picture cards, the "
                 "other %zu are ours\n",
                 todo.size(), outDir.c_str(), used, art::kPictureCards,
                 size_t(art::kPictureCards) - used);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!args.empty() && (args[0] == "--words" || args[0] == "--photos"))
    return MakeGiftPictures(args);
  if (!args.empty() && args[0] == "--icon") {
    if (args.size() != 2) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    return WriteFile(args[1], art::ProgramIconFile()) ? 0 : 1;
  }
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string outDir = argv[1];
  std::vector<Entry> all = Inventory(), todo;
  for (const Entry &en : all) {
    bool wanted = argc == 2;
    for (int i = 2; i < argc; ++i)
      if (Stem(en.file) == argv[i]) wanted = true;
    if (wanted) todo.push_back(en);
  }
  return MakeAndWrite(outDir, todo) ? 0 : 1;
}
