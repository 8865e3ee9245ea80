// A gift pack: someone's own pictures (and, if they chose one, their module)
// in one file that the intro reads in place of its own. docs/GIFT_PACK.md
// describes the layout; this is its one reader and its one writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The file the intro looks for in the folder it starts in, beside the module.
inline constexpr const char *giftPackFileName = "gift.pack";

inline constexpr char giftPackMagic[8] = {'V', 'E', 'L', 'M', 'O', 'R', 'P', 'K'};
inline constexpr uint32_t giftPackVersion = 1;
inline constexpr size_t giftPackHeaderSize = 32;
inline constexpr size_t giftPackEntrySize = 48;
inline constexpr size_t giftPackTypeSize = 4;  // "JPG" or "TGA", zero-padded
inline constexpr size_t giftPackNameSize = 36; // up to 35 characters, zero-padded
inline constexpr uint32_t giftPackMaxEntries = 256;
inline constexpr uint64_t giftPackMaxSize = 64ull << 20;

struct GiftPackEntry {
  std::string type; // as stored: upper case
  std::string name; // as stored: upper case
  const uint8_t *data;
  uint32_t size;
};

// A pack checked whole. The entries point into the bytes it was read from,
// which must outlive it.
struct GiftPack {
  std::vector<GiftPackEntry> entries;
  const uint8_t *module; // null when the pack carries none
  uint32_t moduleSize;
};

// Checks every field of the pack in `bytes` and fills `pack`; on a refusal
// returns false with `why` saying what is wrong, in words for the person who
// was given the file, and leaves `pack` empty.
bool ReadGiftPack(std::span<const uint8_t> bytes, GiftPack *pack, std::string *why);

// The entry of `pack` with this type and name, compared without regard to
// letter case as the embedded pictures are; null when the pack has none.
const GiftPackEntry *FindGiftPackEntry(const GiftPack *pack, const char *type, const char *name);

// Whether `name` may name a picture in a pack: 1 to 35 of A-Z, 0-9 and '_'
// once upper-cased; and `type` its type: JPG or TGA.
bool GiftPackNameValid(const std::string &name);
bool GiftPackTypeValid(const std::string &type);

// The CRC-32 (IEEE 802.3, as zip's) the header keeps of everything after it.
uint32_t GiftPackChecksum(std::span<const uint8_t> bytes);

// The pack this run shows, if any: its bytes are kept for the whole run.
extern GiftPack *giftPack;

// Reads `giftPackFileName` from the current folder once per run. No file:
// true, and the show is ours. A file that cannot be read or is refused:
// false, with one line on standard error naming the file and what is wrong.
bool OpenGiftPack();

// The same for bytes that arrived another way (the browser page hands its
// own, before the show starts); `name` is what the line calls them. The bytes
// are copied. OpenGiftPack then looks for no file and answers as this did.
bool UseGiftPack(const uint8_t *bytes, size_t size, const char *name);
