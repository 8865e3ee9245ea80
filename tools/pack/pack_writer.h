// The writing half of the gift pack: the bytes of a pack from pictures in
// memory, and the pictures of a folder as the build would embed them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GiftPackPicture {
  std::string type; // "JPG" or "TGA"
  std::string name; // upper case
  std::vector<uint8_t> bytes;
};

// The pack holding these pictures in this order, and the module when
// `module` is not null. False with `why` when a name or type is not one a
// pack may hold, a name comes twice, or the whole would pass the limits.
bool WriteGiftPack(const std::vector<GiftPackPicture> &pictures, const std::vector<uint8_t> *module,
                   std::vector<uint8_t> *out, std::string *why);

// The whole of the regular file at `path`; false when it cannot be read.
bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *bytes);

// Every *.jpg and *.tga of `folder` (the extension in either case), named as
// the build names the pictures it embeds: the file's name without its
// extension, in capitals, and the extension in capitals; sorted by name.
// False with `why` naming the file that cannot be read or named.
bool ReadPictureFolder(const std::string &folder, std::vector<GiftPackPicture> *pictures,
                       std::string *why);
