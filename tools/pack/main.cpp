// velmor-pack [--module FILE.it] FOLDER OUT.pack
//
// Packs the pictures of FOLDER (the 45 that velmor-artwork writes) and, if
// given, a module into one gift pack. OUT is written whole or not at all.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "assets/gift_pack.h"
#include "tools/pack/pack_writer.h"

namespace {

const char kUsage[] = R"(usage: velmor-pack [--module FILE.it] FOLDER OUT.pack

Writes OUT.pack, a gift pack holding every .jpg and .tga picture of FOLDER under
its name (upper case, without the extension) and, with --module, FILE.it as the
music. Placed as gift.pack in the folder the intro starts in, it is shown in
place of our own pictures (and music).
)";

int Refuse(const std::string &why) {
  std::fprintf(stderr, "velmor-pack: %s\n", why.c_str());
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string modulePath;
  if (args.size() >= 2 && args[0] == "--module") {
    modulePath = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 2 || args[0].starts_with("-")) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string &folder = args[0];
  const std::string &outPath = args[1];

  std::string why;
  std::vector<GiftPackPicture> pictures;
  if (!ReadPictureFolder(folder, &pictures, &why)) return Refuse(why);
  if (pictures.empty()) return Refuse(folder + ": no .jpg or .tga pictures to pack");
  std::vector<uint8_t> module;
  if (!modulePath.empty()) {
    if (!ReadWholeFile(modulePath, &module)) return Refuse(modulePath + ": cannot be read");
  }
  std::vector<uint8_t> pack;
  if (!WriteGiftPack(pictures, modulePath.empty() ? nullptr : &module, &pack, &why))
    return Refuse(why);

  // Beside OUT, then renamed over it: a failure leaves OUT as it was.
  std::string part = outPath + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(pack.data()),
              static_cast<std::streamsize>(pack.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(part, ignored);
      return Refuse(outPath + ": cannot be written");
    }
  }
  std::error_code error;
  std::filesystem::rename(part, outPath, error);
  if (error) {
    std::filesystem::remove(part, error);
    return Refuse(outPath + ": cannot be written");
  }
  std::printf("velmor-pack: %s: %zu pictures%s, %zu bytes\n", outPath.c_str(), pictures.size(),
              modulePath.empty() ? "" : " and the module", pack.size());
  return 0;
}
