#include "tools/pack/pack_writer.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>

#include "assets/gift_pack.h"

namespace {

namespace fs = std::filesystem;

void PutU32(std::vector<uint8_t> *out, size_t at, uint64_t value) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string Upper(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

} // namespace

bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *bytes) {
  std::ifstream in(path, std::ios::binary);
  std::error_code error;
  uintmax_t size = fs::file_size(path, error);
  if (!in || error) return false;
  bytes->resize(static_cast<size_t>(size));
  in.read(reinterpret_cast<char *>(bytes->data()), static_cast<std::streamsize>(size));
  return static_cast<uintmax_t>(in.gcount()) == size;
}

bool WriteGiftPack(const std::vector<GiftPackPicture> &pictures, const std::vector<uint8_t> *module,
                   std::vector<uint8_t> *out, std::string *why) {
  if (pictures.size() > giftPackMaxEntries) {
    *why = std::to_string(pictures.size()) + " pictures; a pack holds at most " +
           std::to_string(giftPackMaxEntries);
    return false;
  }
  uint64_t size = giftPackHeaderSize + pictures.size() * giftPackEntrySize;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const GiftPackPicture &p = pictures[i];
    if (!GiftPackTypeValid(p.type)) {
      *why = p.name + ": the type \"" + p.type + "\" is not JPG or TGA";
      return false;
    }
    if (!GiftPackNameValid(p.name)) {
      *why = "\"" + p.name + "\" is not a picture's name: 1 to 35 of A-Z, 0-9 and _";
      return false;
    }
    if (p.bytes.empty()) {
      *why = p.name + "." + p.type + " is empty";
      return false;
    }
    for (size_t j = 0; j < i; ++j)
      if (pictures[j].name == p.name && pictures[j].type == p.type) {
        *why = p.name + "." + p.type + " comes twice";
        return false;
      }
    size += p.bytes.size();
  }
  if (module != nullptr && module->empty()) {
    *why = "the module is empty";
    return false;
  }
  if (module != nullptr) size += module->size();
  if (size > giftPackMaxSize) {
    *why = "the pack would be " + std::to_string(size >> 20) + " MiB; a pack may be at most " +
           std::to_string(giftPackMaxSize >> 20) + " MiB";
    return false;
  }

  out->assign(static_cast<size_t>(size), 0);
  std::memcpy(out->data(), giftPackMagic, sizeof giftPackMagic);
  PutU32(out, 8, giftPackVersion);
  PutU32(out, 12, size);
  PutU32(out, 16, pictures.size());
  size_t at = giftPackHeaderSize + pictures.size() * giftPackEntrySize;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const GiftPackPicture &p = pictures[i];
    size_t entry = giftPackHeaderSize + i * giftPackEntrySize;
    std::memcpy(out->data() + entry, p.type.data(), p.type.size());
    std::memcpy(out->data() + entry + giftPackTypeSize, p.name.data(), p.name.size());
    PutU32(out, entry + giftPackTypeSize + giftPackNameSize, at);
    PutU32(out, entry + giftPackTypeSize + giftPackNameSize + 4, p.bytes.size());
    std::copy(p.bytes.begin(), p.bytes.end(), out->begin() + static_cast<ptrdiff_t>(at));
    at += p.bytes.size();
  }
  if (module != nullptr) {
    PutU32(out, 20, at);
    PutU32(out, 24, module->size());
    std::copy(module->begin(), module->end(), out->begin() + static_cast<ptrdiff_t>(at));
  }
  PutU32(out, 28, GiftPackChecksum(std::span<const uint8_t>(*out).subspan(giftPackHeaderSize)));
  return true;
}

bool ReadPictureFolder(const std::string &folder, std::vector<GiftPackPicture> *pictures,
                       std::string *why) {
  pictures->clear();
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) {
    *why = folder + ": " + error.message();
    return false;
  }
  for (const fs::directory_entry &file : it) {
    std::string type = Upper(file.path().extension().string());
    if (type != ".JPG" && type != ".TGA") continue;
    GiftPackPicture picture{type.substr(1), Upper(file.path().stem().string()), {}};
    if (!ReadWholeFile(file.path().string(), &picture.bytes)) {
      *why = file.path().string() + ": cannot be read";
      return false;
    }
    pictures->push_back(std::move(picture));
  }
  std::sort(pictures->begin(), pictures->end(), [](const auto &a, const auto &b) {
    return a.name != b.name ? a.name < b.name : a.type < b.type;
  });
  return true;
}
