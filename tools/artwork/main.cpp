// velmor-artwork OUTDIR [NAME...]
//
// Writes the intro's 45 embedded pictures into OUTDIR as NAME.jpg / NAME.tga; with names
// given, only those. The output is byte-for-byte reproducible: pictures are computed
// independently in worker threads and written afterwards in a fixed order.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tools/artwork/encode.h"
#include "tools/artwork/pictures.h"
#include "tools/artwork/text.h"

namespace {

using art::Bytes;
using art::Image;

const char kCardFont[] = "/usr/share/fonts/truetype/paratype/PTF55F.ttf";
const char kSheetFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char kSheetFontBold[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const char kIccProfile[] = "/usr/share/color/icc/sRGB.icc";
const char kComment[] = "Velmor for Torva";
// The cards spin and sit under a vignette: text stays in the middle three quarters.
constexpr double kCardMargin = 0.12;

struct Entry {
  std::string file; // NAME.jpg or NAME.tga
  std::function<Bytes()> make;
};

Bytes Card(const Image &img) { return art::EncodeBaselineJpeg(art::Quantise(img), 90, kComment); }

Bytes TextCard(std::vector<std::string> lines) {
  return Card(art::RenderTextCard(kCardFont, lines, art::kSide, kCardMargin));
}

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
    jpg(name, [f] { return Card(f()); });
  };

  jpg("DATA_PARTICLE", [] { return EncodeBaselineJpeg(Quantise(WhiteFlower32()), 92, kComment); });
  jpg("DATA_SCREEN", [] {
    return EncodeOverlayJpeg(Quantise(ScreenVignette()), 95, ReadFile(kIccProfile), kComment);
  });
  jpg("DATA_FILM", [] { return EncodeBaselineJpeg(Quantise(FilmGrain()), 90, kComment); });

  // The opening dedication, one thought per card.
  jpg("DATA_1", [] { return TextCard({"Торве —", "от Велмора"}); });
  jpg("DATA_2", [] { return TextCard({"Я долго думал,", "что тебе подарить"}); });
  jpg("DATA_3", [] {
    return TextCard({"И решил сделать", "то, что умею сам:", "свет, цвет и музыку"});
  });
  jpg("DATA_4", [] { return TextCard({"Каждую картинку", "я рисовал,", "думая о тебе"}); });
  jpg("DATA_5", [] { return TextCard({"Спасибо за тепло,", "за терпение", "и за смех"}); });
  jpg("DATA_6", [] { return TextCard({"За то, что ты рядом,", "когда это", "важнее всего"}); });
  jpg("DATA_7", [] { return TextCard({"А теперь —", "смотри и слушай"}); });

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
  jpg("EDATA_1", [] {
    return TextCard(
        {"Пусть этот год", "будет щедрым на свет,", "на добрые встречи", "и тихую радость"});
  });
  jpg("EDATA_2", [] {
    return TextCard({"Приветы", "", "друзьям и родным —", "всем, кто рядом,", "и тем, кто далеко"});
  });
  jpg("EDATA_3", [] {
    return TextCard({"Код — Велмор", "Графика — Велмор", "Музыка — Велмор", "", "2026"});
  });

  e.push_back({"DATA_FONT2.tga", [] { return GlyphSheet(false); }});
  e.push_back({"DATA_FONT3.tga", [] { return GlyphSheet(true); }});
  return e;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: velmor-artwork OUTDIR [NAME...]\n");
    return 2;
  }
  const std::string outDir = argv[1];
  std::vector<Entry> all = Inventory(), todo;
  for (const Entry &en : all) {
    bool wanted = argc == 2;
    for (int i = 2; i < argc; ++i)
      if (en.file.substr(0, en.file.find('.')) == argv[i]) wanted = true;
    if (wanted) todo.push_back(en);
  }

  std::vector<Bytes> results(todo.size());
  std::atomic<size_t> next{0};
  unsigned workers = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
  std::vector<std::thread> pool;
  for (unsigned w = 0; w < workers; ++w)
    pool.emplace_back([&] {
      for (size_t i; (i = next.fetch_add(1)) < todo.size();) results[i] = todo[i].make();
    });
  for (std::thread &t : pool) t.join();

  for (size_t i = 0; i < todo.size(); ++i) {
    std::string path = outDir + "/" + todo[i].file;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(results[i].data()),
              std::streamsize(results[i].size()));
    if (!out) {
      std::fprintf(stderr, "velmor-artwork: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
