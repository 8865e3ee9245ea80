#include "assets/gift_pack.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

GiftPack *giftPack = nullptr;

namespace {

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// A zero-padded field: the text before the first zero, and whether every byte
// after it is zero too (a field with stray bytes after its end is damage).
bool ReadPadded(std::span<const uint8_t> field, std::string *text) {
  const auto *begin = reinterpret_cast<const char *>(field.data());
  size_t length = strnlen(begin, field.size());
  text->assign(begin, length);
  for (size_t i = length; i < field.size(); ++i)
    if (field[i] != 0) return false;
  return true;
}

std::string Describe(size_t index, const std::string &type, const std::string &name) {
  return "picture " + std::to_string(index + 1) + " (" + name + " " + type + ")";
}

// A region [offset, offset + size) that must lie past the header and
// directory and inside the file; 64-bit sums, so that no 32-bit field wraps.
const char *RegionFault(uint64_t offset, uint64_t size, uint64_t dataStart, uint64_t fileSize) {
  if (size == 0) return "is empty";
  if (offset < dataStart) return "starts inside the pack's header or directory";
  if (offset + size > fileSize) return "runs past the end of the file";
  return nullptr;
}

bool Refuse(GiftPack *pack, std::string *why, std::string text) {
  *pack = GiftPack{};
  *why = std::move(text);
  return false;
}

// The bytes of the pack this run shows, kept for the whole run.
std::vector<uint8_t> *keptBytes = nullptr;
// Whether a pack was looked for (or handed over) this run, and the answer:
// a refused pack stays refused for the rest of the run.
bool lookedFor = false;
bool usable = true;

bool Install(std::vector<uint8_t> bytes, const char *name) {
  auto kept = std::make_unique<std::vector<uint8_t>>(std::move(bytes));
  auto pack = std::make_unique<GiftPack>();
  std::string why;
  if (!ReadGiftPack(*kept, pack.get(), &why)) {
    std::fprintf(stderr, "velmor: the gift pack \"%s\" cannot be shown: %s\n", name, why.c_str());
    return false;
  }
  delete giftPack;
  delete keptBytes;
  keptBytes = kept.release();
  giftPack = pack.release();
  return true;
}

// Reads and installs giftPackFileName from the current folder; no file is
// no pack, and the show is ours.
bool ReadPackFile() {
  std::FILE *file = std::fopen(giftPackFileName, "rb");
  if (file == nullptr) {
    if (errno == ENOENT) return true;
    std::fprintf(stderr, "velmor: cannot open the gift pack \"%s\": %s\n", giftPackFileName,
                 std::strerror(errno));
    return false;
  }
  // Read to the end in pieces, with a bound: a file far larger than any pack
  // is refused by its size, not read whole into memory first.
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > giftPackMaxSize) break;
  }
  bool failed = std::ferror(file) != 0;
  int error = errno;
  std::fclose(file);
  if (failed) {
    std::fprintf(stderr, "velmor: cannot read the gift pack \"%s\": %s\n", giftPackFileName,
                 std::strerror(error));
    return false;
  }
  if (bytes.size() > giftPackMaxSize) {
    std::fprintf(stderr,
                 "velmor: the gift pack \"%s\" cannot be shown: larger than the %llu MiB a gift "
                 "pack may be\n",
                 giftPackFileName, static_cast<unsigned long long>(giftPackMaxSize >> 20));
    return false;
  }
  return Install(std::move(bytes), giftPackFileName);
}

} // namespace

uint32_t GiftPackChecksum(std::span<const uint8_t> bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

bool GiftPackTypeValid(const std::string &type) { return type == "JPG" || type == "TGA"; }

bool GiftPackNameValid(const std::string &name) {
  if (name.empty() || name.size() >= giftPackNameSize) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

bool ReadGiftPack(std::span<const uint8_t> bytes, GiftPack *pack, std::string *why) {
  *pack = GiftPack{};
  const uint64_t size = bytes.size();
  size_t compared = std::min<size_t>(bytes.size(), sizeof giftPackMagic);
  if (size == 0 || std::memcmp(bytes.data(), giftPackMagic, compared) != 0)
    return Refuse(pack, why, "not a gift pack (it does not begin with VELMORPK)");
  if (size < giftPackHeaderSize)
    return Refuse(pack, why,
                  "truncated: " + std::to_string(size) + " bytes, shorter than the pack's header");
  uint32_t version = ReadU32(bytes, 8);
  if (version != giftPackVersion)
    return Refuse(pack, why,
                  "made for version " + std::to_string(version) +
                      " of the gift pack; this intro reads version " +
                      std::to_string(giftPackVersion));
  uint64_t declared = ReadU32(bytes, 12);
  if (size < declared)
    return Refuse(pack, why,
                  "truncated: " + std::to_string(size) + " of its " + std::to_string(declared) +
                      " bytes");
  if (size > declared)
    return Refuse(pack, why,
                  std::to_string(size - declared) + " bytes follow the " +
                      std::to_string(declared) + " the pack declares");
  if (size > giftPackMaxSize)
    return Refuse(pack, why,
                  "larger than the " + std::to_string(giftPackMaxSize >> 20) +
                      " MiB a gift pack may be");
  uint32_t count = ReadU32(bytes, 16);
  if (count > giftPackMaxEntries)
    return Refuse(pack, why,
                  "it lists " + std::to_string(count) + " pictures; a pack holds at most " +
                      std::to_string(giftPackMaxEntries));
  const uint64_t dataStart = giftPackHeaderSize + uint64_t{count} * giftPackEntrySize;
  if (dataStart > size)
    return Refuse(pack, why,
                  "truncated: its list of " + std::to_string(count) +
                      " pictures runs past the end of the file");
  uint32_t stored = ReadU32(bytes, 28);
  uint32_t computed = GiftPackChecksum(bytes.subspan(giftPackHeaderSize));
  if (stored != computed)
    return Refuse(pack, why, "damaged: its contents do not match their checksum");

  GiftPack read{};
  read.entries.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    size_t at = giftPackHeaderSize + size_t{i} * giftPackEntrySize;
    GiftPackEntry entry{};
    bool typePadded = ReadPadded(bytes.subspan(at, giftPackTypeSize), &entry.type);
    bool namePadded =
        ReadPadded(bytes.subspan(at + giftPackTypeSize, giftPackNameSize), &entry.name);
    if (!typePadded || !GiftPackTypeValid(entry.type))
      return Refuse(pack, why,
                    "picture " + std::to_string(i + 1) + " has a type other than JPG or TGA");
    if (!namePadded || !GiftPackNameValid(entry.name))
      return Refuse(pack, why,
                    "picture " + std::to_string(i + 1) +
                        " has a name that is not 1 to 35 of A-Z, 0-9 and _");
    uint32_t offset = ReadU32(bytes, at + giftPackTypeSize + giftPackNameSize);
    uint32_t length = ReadU32(bytes, at + giftPackTypeSize + giftPackNameSize + 4);
    if (const char *fault = RegionFault(offset, length, dataStart, size))
      return Refuse(pack, why,
                    Describe(i, entry.type, entry.name) + " " + fault + " (offset " +
                        std::to_string(offset) + ", " + std::to_string(length) + " bytes, file " +
                        std::to_string(size) + " bytes)");
    for (const GiftPackEntry &earlier : read.entries)
      if (earlier.type == entry.type && earlier.name == entry.name)
        return Refuse(pack, why, Describe(i, entry.type, entry.name) + " is listed twice");
    entry.data = bytes.data() + offset;
    entry.size = length;
    read.entries.push_back(std::move(entry));
  }

  uint32_t moduleOffset = ReadU32(bytes, 20);
  uint32_t moduleSize = ReadU32(bytes, 24);
  if (moduleOffset != 0 || moduleSize != 0) {
    if (const char *fault = RegionFault(moduleOffset, moduleSize, dataStart, size))
      return Refuse(pack, why,
                    std::string("its module ") + fault + " (offset " +
                        std::to_string(moduleOffset) + ", " + std::to_string(moduleSize) +
                        " bytes, file " + std::to_string(size) + " bytes)");
    read.module = bytes.data() + moduleOffset;
    read.moduleSize = moduleSize;
  }
  *pack = std::move(read);
  why->clear();
  return true;
}

const GiftPackEntry *FindGiftPackEntry(const GiftPack *pack, const char *type, const char *name) {
  if (pack == nullptr || type == nullptr || name == nullptr) return nullptr;
  for (const GiftPackEntry &entry : pack->entries)
    if (strcasecmp(entry.type.c_str(), type) == 0 && strcasecmp(entry.name.c_str(), name) == 0)
      return &entry;
  return nullptr;
}

bool UseGiftPack(const uint8_t *bytes, size_t size, const char *name) {
  lookedFor = true;
  usable = Install(std::vector<uint8_t>(bytes, bytes + size), name);
  return usable;
}

bool OpenGiftPack() {
  // A window re-created by the full-screen toggle starts the scene again; the
  // pack it found the first time stays.
  if (lookedFor) return usable;
  lookedFor = true;
  usable = ReadPackFile();
  return usable;
}
