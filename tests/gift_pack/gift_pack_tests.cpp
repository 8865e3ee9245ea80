#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "assets/gift_pack.h"
#include "assets/resources.h"
#include "tests/support/lines.h"
#include "tools/pack/pack_writer.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string &text) { return {text.begin(), text.end()}; }

const std::string firstPicture = "\xFF\xD8 first picture";

// Two small pictures and a module, different in every byte that matters.
std::vector<GiftPackPicture> Pictures() {
  return {{"JPG", "DATA_1", Bytes(firstPicture)},
          {"TGA", "DATA_FONT2", Bytes("glyphs")},
          {"JPG", "DDATA_13", Bytes("\xFF\xD8 thirteenth")}};
}

std::vector<uint8_t> Pack(bool withModule = true) {
  std::vector<uint8_t> module = Bytes("IMPM a module");
  std::vector<uint8_t> out;
  std::string why;
  EXPECT_TRUE(WriteGiftPack(Pictures(), withModule ? &module : nullptr, &out, &why)) << why;
  return out;
}

uint32_t U32(const std::vector<uint8_t> &bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[at + i];
  return value;
}

void PutU32(std::vector<uint8_t> *bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// After a deliberate change, the checksum is made right again, so that the
// reader's refusal is for the change itself.
void Reseal(std::vector<uint8_t> *bytes) {
  PutU32(bytes, 28, GiftPackChecksum(std::span<const uint8_t>(*bytes).subspan(giftPackHeaderSize)));
}

size_t EntryAt(size_t index) { return giftPackHeaderSize + index * giftPackEntrySize; }
size_t OffsetField(size_t index) { return EntryAt(index) + giftPackTypeSize + giftPackNameSize; }

std::string Refusal(const std::vector<uint8_t> &bytes) {
  GiftPack pack{};
  std::string why;
  EXPECT_FALSE(ReadGiftPack(bytes, &pack, &why));
  EXPECT_TRUE(pack.entries.empty());
  EXPECT_EQ(pack.module, nullptr);
  EXPECT_FALSE(why.empty());
  return why;
}

// ---- Reading back -----------------------------------------------------------

TEST(GiftPackFormat, WhatIsWrittenReadsBackEntryForEntry) {
  for (bool withModule : {true, false}) {
    std::vector<uint8_t> bytes = Pack(withModule);
    GiftPack pack{};
    std::string why;
    ASSERT_TRUE(ReadGiftPack(bytes, &pack, &why)) << why;
    std::vector<GiftPackPicture> written = Pictures();
    ASSERT_EQ(pack.entries.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
      EXPECT_EQ(pack.entries[i].type, written[i].type);
      EXPECT_EQ(pack.entries[i].name, written[i].name);
      ASSERT_EQ(pack.entries[i].size, written[i].bytes.size());
      EXPECT_EQ(std::memcmp(pack.entries[i].data, written[i].bytes.data(), pack.entries[i].size),
                0);
      // Inside the bytes it was read from, not a copy.
      EXPECT_GE(pack.entries[i].data, bytes.data());
      EXPECT_LE(pack.entries[i].data + pack.entries[i].size, bytes.data() + bytes.size());
    }
    if (withModule) {
      ASSERT_NE(pack.module, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char *>(pack.module), pack.moduleSize),
                "IMPM a module");
    } else {
      EXPECT_EQ(pack.module, nullptr);
      EXPECT_EQ(pack.moduleSize, 0u);
    }
  }
}

TEST(GiftPackFormat, TheLayoutIsTheDocumentedOne) {
  std::vector<uint8_t> bytes = Pack();
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "VELMORPK");
  EXPECT_EQ(U32(bytes, 8), 1u);
  EXPECT_EQ(U32(bytes, 12), bytes.size());
  EXPECT_EQ(U32(bytes, 16), 3u);
  // The data follows the directory in the order of the entries; the module last.
  size_t data = giftPackHeaderSize + 3 * giftPackEntrySize;
  EXPECT_EQ(U32(bytes, OffsetField(0)), data);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(&bytes[EntryAt(0)])), "JPG");
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(&bytes[EntryAt(0) + 4])), "DATA_1");
  EXPECT_EQ(U32(bytes, 20) + U32(bytes, 24), bytes.size());
  // The CRC-32 of "123456789" is the standard check value.
  EXPECT_EQ(GiftPackChecksum(Bytes("123456789")), 0xCBF43926u);
}

// ---- Refusals -------------------------------------------------------------

TEST(GiftPackFormat, EveryTruncationIsRefusedAsTruncated) {
  std::vector<uint8_t> bytes = Pack();
  for (size_t length = 1; length < bytes.size(); ++length) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
    std::string why = Refusal(cut);
    if (length >= 8) {
      EXPECT_NE(why.find("truncated"), std::string::npos) << length << ": " << why;
    }
  }
  EXPECT_NE(Refusal({}).find("not a gift pack"), std::string::npos);
}

TEST(GiftPackFormat, AnotherVersionIsRefusedNamingBoth) {
  std::vector<uint8_t> bytes = Pack();
  PutU32(&bytes, 8, 2);
  Reseal(&bytes);
  EXPECT_EQ(Refusal(bytes), "made for version 2 of the gift pack; this intro reads version 1");
}

TEST(GiftPackFormat, APictureOrModulePastTheEndIsRefusedNamingIt) {
  std::vector<uint8_t> bytes = Pack();
  std::vector<uint8_t> longer = bytes;
  PutU32(&longer, OffsetField(1) + 4, U32(bytes, OffsetField(1) + 4) + 0x7FFFFFF0u);
  Reseal(&longer);
  std::string why = Refusal(longer);
  EXPECT_NE(why.find("picture 2 (DATA_FONT2 TGA) runs past the end of the file"), std::string::npos)
      << why;

  // An offset near 2^32 must not wrap around to look inside.
  std::vector<uint8_t> wrapped = bytes;
  PutU32(&wrapped, OffsetField(2), 0xFFFFFFF0u);
  Reseal(&wrapped);
  EXPECT_NE(Refusal(wrapped).find("picture 3 (DDATA_13 JPG) runs past the end"), std::string::npos);

  std::vector<uint8_t> inside = bytes;
  PutU32(&inside, OffsetField(0), 8);
  Reseal(&inside);
  EXPECT_NE(Refusal(inside).find("starts inside the pack's header or directory"),
            std::string::npos);

  std::vector<uint8_t> module = bytes;
  PutU32(&module, 24, U32(bytes, 24) + 1);
  Reseal(&module);
  EXPECT_NE(Refusal(module).find("its module runs past the end"), std::string::npos);

  std::vector<uint8_t> empty = bytes;
  PutU32(&empty, OffsetField(0) + 4, 0);
  Reseal(&empty);
  EXPECT_NE(Refusal(empty).find("picture 1 (DATA_1 JPG) is empty"), std::string::npos);
}

TEST(GiftPackFormat, AForeignFileIsRefusedAsNotAPack) {
  for (const std::string &foreign :
       {std::string("\x89PNG\r\n\x1a\n and the rest of a picture"), std::string("IMPM"),
        std::string("velmorpk in small letters, 32 bytes and more")}) {
    EXPECT_EQ(Refusal(Bytes(foreign)), "not a gift pack (it does not begin with VELMORPK)");
  }
}

TEST(GiftPackFormat, DamageInsideIsCaughtByTheChecksum) {
  std::vector<uint8_t> bytes = Pack();
  for (size_t at : {EntryAt(0) + 2, bytes.size() - 1, size_t{giftPackHeaderSize} + 3 * 48 + 5}) {
    std::vector<uint8_t> damaged = bytes;
    damaged[at] ^= 0x20;
    EXPECT_EQ(Refusal(damaged), "damaged: its contents do not match their checksum") << at;
  }
}

TEST(GiftPackFormat, BadDirectoriesAreRefusedNamingTheEntry) {
  std::vector<uint8_t> bytes = Pack();
  auto refused = [&](auto change) {
    std::vector<uint8_t> changed = bytes;
    change(&changed);
    Reseal(&changed);
    return Refusal(changed);
  };
  EXPECT_EQ(refused([](auto *b) { std::memcpy(&(*b)[EntryAt(2) + 4], "DATA_1\0\0", 8); }),
            "picture 3 (DATA_1 JPG) is listed twice");
  EXPECT_EQ(refused([](auto *b) { (*b)[EntryAt(1) + 4] = 'd'; }),
            "picture 2 has a name that is not 1 to 35 of A-Z, 0-9 and _");
  EXPECT_EQ(refused([](auto *b) { (*b)[EntryAt(1) + 4] = 0; }),
            "picture 2 has a name that is not 1 to 35 of A-Z, 0-9 and _");
  // Stray bytes after a name's end.
  EXPECT_EQ(refused([](auto *b) { (*b)[EntryAt(0) + 4 + 30] = 'X'; }),
            "picture 1 has a name that is not 1 to 35 of A-Z, 0-9 and _");
  EXPECT_EQ(refused([](auto *b) { std::memcpy(&(*b)[EntryAt(0)], "PNG", 3); }),
            "picture 1 has a type other than JPG or TGA");
  EXPECT_EQ(refused([](auto *b) { PutU32(b, 16, giftPackMaxEntries + 1); }),
            "it lists 257 pictures; a pack holds at most 256");
  EXPECT_NE(refused([](auto *b) { PutU32(b, 16, 200); }).find("truncated: its list of 200"),
            std::string::npos);
  std::vector<uint8_t> longer = bytes;
  longer.push_back(0);
  Reseal(&longer);
  EXPECT_EQ(Refusal(longer),
            "1 bytes follow the " + std::to_string(bytes.size()) + " the pack declares");
}

// ---- Writing --------------------------------------------------------------

TEST(GiftPackWriter, RefusesWhatNoReaderWouldTake) {
  auto refusal = [](std::vector<GiftPackPicture> pictures) {
    std::vector<uint8_t> out;
    std::string why;
    EXPECT_FALSE(WriteGiftPack(pictures, nullptr, &out, &why));
    return why;
  };
  EXPECT_EQ(refusal({{"JPG", "DATA_1", Bytes("a")}, {"JPG", "DATA_1", Bytes("b")}}),
            "DATA_1.JPG comes twice");
  EXPECT_NE(refusal({{"JPG", "DATA-1", Bytes("a")}}).find("not a picture's name"),
            std::string::npos);
  EXPECT_NE(refusal({{"JPG", std::string(36, 'A'), Bytes("a")}}).find("not a picture's name"),
            std::string::npos);
  EXPECT_EQ(refusal({{"PNG", "DATA_1", Bytes("a")}}), "DATA_1: the type \"PNG\" is not JPG or TGA");
  EXPECT_EQ(refusal({{"JPG", "DATA_1", {}}}), "DATA_1.JPG is empty");
  // The same name under both types is two pictures.
  std::vector<uint8_t> out;
  std::string why;
  EXPECT_TRUE(WriteGiftPack({{"JPG", "DATA_1", Bytes("a")}, {"TGA", "DATA_1", Bytes("b")}}, nullptr,
                            &out, &why))
      << why;
}

TEST(GiftPackWriter, AFolderIsReadAsTheBuildNamesItsPictures) {
  fs::path folder = fs::temp_directory_path() / ("gift_pack_folder_" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  auto put = [&](const char *name, const char *text) {
    std::ofstream(folder / name, std::ios::binary) << text;
  };
  put("ddata_2.Jpg", "two");
  put("DATA_FONT2.tga", "font");
  put("DATA_1.jpg", "one");
  put("notes.txt", "not a picture");
  std::vector<GiftPackPicture> pictures;
  std::string why;
  ASSERT_TRUE(ReadPictureFolder(folder.string(), &pictures, &why)) << why;
  ASSERT_EQ(pictures.size(), 3u);
  EXPECT_EQ(pictures[0].name + "." + pictures[0].type, "DATA_1.JPG");
  EXPECT_EQ(pictures[1].name + "." + pictures[1].type, "DATA_FONT2.TGA");
  EXPECT_EQ(pictures[2].name + "." + pictures[2].type, "DDATA_2.JPG");
  EXPECT_EQ(pictures[2].bytes, Bytes("two"));
  fs::remove_all(folder);
  EXPECT_FALSE(ReadPictureFolder(folder.string(), &pictures, &why));
  EXPECT_NE(why.find(folder.string()), std::string::npos);
}

// ---- The pack in the show's lookup -----------------------------------------

TEST(GiftPackLookup, ThePacksPicturesComeFirstAndOursFillTheRest) {
  ResourceBytes ours = FindEmbeddedResource("JPG", "DATA_1");
  ResourceBytes oursScreen = FindEmbeddedResource("JPG", "DATA_SCREEN");
  ASSERT_NE(ours.data, nullptr);
  ASSERT_NE(oursScreen.data, nullptr);

  std::vector<uint8_t> bytes = Pack();
  ASSERT_TRUE(UseGiftPack(bytes.data(), bytes.size(), "test.pack"));
  ASSERT_NE(giftPack, nullptr);
  // The pack keeps its own copy: the caller's bytes may go.
  std::fill(bytes.begin(), bytes.end(), 0);

  // Letter case is not regarded, in names or types, as with ours.
  for (auto [type, name] : {std::pair{"JPG", "DATA_1"}, std::pair{"jpg", "data_1"}}) {
    ResourceBytes found = FindEmbeddedResource(type, name);
    ASSERT_EQ(found.size, firstPicture.size()) << name;
    EXPECT_EQ(std::memcmp(found.data, firstPicture.data(), firstPicture.size()), 0);
  }
  ResourceBytes screen = FindEmbeddedResource("JPG", "DATA_screen");
  EXPECT_EQ(screen.data, oursScreen.data);
  // A name the pack holds under another type is not the pack's.
  EXPECT_EQ(FindEmbeddedResource("TGA", "DATA_1").data, nullptr);
  EXPECT_EQ(FindEmbeddedResource("TGA", "data_font2").size, 6u);

  // A refused pack says so in one line naming it, and what was shown stays.
  std::vector<uint8_t> damaged = Pack();
  PutU32(&damaged, 8, 7);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(UseGiftPack(damaged.data(), damaged.size(), "other.pack"));
  std::vector<std::string> lines = Lines(testing::internal::GetCapturedStderr());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "velmor: the gift pack \"other.pack\" cannot be shown: made for version 7 "
                      "of the gift pack; this intro reads version 1");
  EXPECT_EQ(FindEmbeddedResource("JPG", "DATA_1").size, firstPicture.size());
  // And the show, which asks next, does not start.
  EXPECT_FALSE(OpenGiftPack());
}

} // namespace
