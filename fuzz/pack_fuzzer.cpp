// The gift pack reader on arbitrary bytes. The input is read twice: as it
// is, which the checksum mostly refuses, and with the checksum made right,
// so that the fuzzer reaches every check of the header and directory. A pack
// that is accepted must be what the format promises: every picture and the
// module inside the bytes and past the directory, names and types valid and
// distinct, each found by its name in any letter case; and written again,
// it must read back to the same pictures and module.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/gift_pack.h"
#include "tools/pack/pack_writer.h"

namespace {

[[noreturn]] void Fail(const char *what, const std::string &detail = "") {
  std::fprintf(stderr, "pack_fuzzer: %s %s\n", what, detail.c_str());
  std::abort();
}

bool Inside(const uint8_t *data, uint32_t size, std::span<const uint8_t> bytes, size_t from) {
  return data >= bytes.data() + from && data + size <= bytes.data() + bytes.size() && size > 0;
}

void Check(std::span<const uint8_t> bytes) {
  GiftPack pack{};
  std::string why;
  if (!ReadGiftPack(bytes, &pack, &why)) {
    if (why.empty() || why.find('\n') != std::string::npos)
      Fail("a refusal without its one line:", why);
    if (!pack.entries.empty() || pack.module != nullptr) Fail("a refused pack left entries");
    return;
  }
  size_t dataStart = giftPackHeaderSize + pack.entries.size() * giftPackEntrySize;
  std::vector<GiftPackPicture> pictures;
  for (const GiftPackEntry &entry : pack.entries) {
    if (!GiftPackTypeValid(entry.type) || !GiftPackNameValid(entry.name))
      Fail("an invalid name or type accepted:", entry.type + " " + entry.name);
    if (!Inside(entry.data, entry.size, bytes, dataStart)) Fail("a picture outside:", entry.name);
    std::string lower = entry.name;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (FindGiftPackEntry(&pack, "jpg", lower.c_str()) !=
        (entry.type == "JPG" ? &entry : FindGiftPackEntry(&pack, "JPG", entry.name.c_str())))
      Fail("the lookup found another entry for", entry.name);
    if (FindGiftPackEntry(&pack, entry.type.c_str(), lower.c_str()) != &entry)
      Fail("the lookup missed", entry.name);
    pictures.push_back({entry.type, entry.name, {entry.data, entry.data + entry.size}});
  }
  std::vector<uint8_t> module;
  if (pack.module != nullptr) {
    if (!Inside(pack.module, pack.moduleSize, bytes, dataStart)) Fail("the module outside");
    module.assign(pack.module, pack.module + pack.moduleSize);
  }

  std::vector<uint8_t> again;
  if (!WriteGiftPack(pictures, pack.module != nullptr ? &module : nullptr, &again, &why))
    Fail("an accepted pack cannot be written again:", why);
  GiftPack reread{};
  if (!ReadGiftPack(again, &reread, &why)) Fail("a written pack is refused:", why);
  if (reread.entries.size() != pack.entries.size()) Fail("written again, entries were lost");
  for (size_t i = 0; i < pictures.size(); ++i) {
    const GiftPackEntry &e = reread.entries[i];
    if (e.type != pictures[i].type || e.name != pictures[i].name ||
        e.size != pictures[i].bytes.size() ||
        std::memcmp(e.data, pictures[i].bytes.data(), e.size) != 0)
      Fail("written again, a picture changed:", pictures[i].name);
  }
  if ((reread.module != nullptr) != (pack.module != nullptr) ||
      (reread.module != nullptr && (reread.moduleSize != module.size() ||
                                    std::memcmp(reread.module, module.data(), module.size()) != 0)))
    Fail("written again, the module changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Check({data, size});
  if (size >= giftPackHeaderSize) {
    std::vector<uint8_t> sealed(data, data + size);
    uint32_t crc = GiftPackChecksum(std::span<const uint8_t>(sealed).subspan(giftPackHeaderSize));
    for (int i = 0; i < 4; ++i) sealed[28 + i] = static_cast<uint8_t>(crc >> (8 * i));
    Check(sealed);
  }
  return 0;
}
