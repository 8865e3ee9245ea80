// A person's photos made into card pictures.
//
// A picture is a JPEG or PNG file, known by its first bytes whatever its name. It becomes the
// centred square of itself, turned as its EXIF orientation says (JPEG APP1, PNG eXIf), scaled
// with a windowed-sinc filter; transparency is shown over black, 16-bit samples are reduced to
// 8 and grey is shown as grey.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/artwork/common.h"

namespace art {

constexpr int kSmallestPhoto = 128; // on the shorter side

// The order a file manager lists names in, so that photos are taken as their owner sees them:
// runs of digits compare by their value ("2.jpg" before "10.jpg"), and letters without regard
// to case (Latin and Cyrillic); names equal so ("01.jpg" and "1.jpg") fall back to byte order.
bool NaturalLess(const std::string &a, const std::string &b);

// The pictures in `folder` in NaturalLess order of their names, skipping names that start
// with '.' and anything that is not a file. Empty, with a message, when the folder cannot be
// read.
std::vector<std::string> ListPhotos(const std::string &folder, std::string *error);

// What the preview sheet of a person's show shows: every picture in `files` (names with their
// extension), the cards first in the order the show reveals them, then the others as they come.
// Each label says what the picture is: "8 · 2.jpg" for the 8th card, made from the first photo
// in `photos` (paths, in the order they went to the picture cards), "1 · words, card 1",
// "31 · ours: MDATA_1" where no photo was left for it, and the file's own name for the rest.
struct SheetEntry {
  std::string file, label;
};
std::vector<SheetEntry> SheetOrder(const std::vector<std::string> &files,
                                   const std::vector<std::string> &photos);

// A name as a label can show it: bytes that are not UTF-8 and control characters as '?', and
// past `most` letters its middle as "…", so that the start and the extension stay.
std::string Shown(const std::string &name, size_t most);

// The photo at `path` as a side x side picture; an empty picture, with a message naming the
// file, when it is not a picture, cannot be read or is smaller than kSmallestPhoto.
Image LoadPhoto(const std::string &path, int side, std::string *error);
// The same from the file's bytes, the messages naming it `name`.
Image DecodePhoto(const std::string &name, const std::vector<uint8_t> &bytes, int side,
                  std::string *error);

// EXIF orientation (1..8) from a TIFF structure ("II*\0" or "MM\0*"); 1 when it has none.
int TiffOrientation(const uint8_t *tiff, size_t size);

// The square picture turned as an EXIF orientation asks: 6 turns it a quarter clockwise.
Image Orient(const Image &img, int orientation);

// Resamples the square at (x0, y0) with sides `side` of rgb (8-bit RGB, w pixels a row) to
// out x out with a Lanczos filter three lobes wide, widened by the reduction so that every
// input pixel counts.
Image ResampleSquare(const std::vector<uint8_t> &rgb, int w, int x0, int y0, int side, int out);

} // namespace art
