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

// The pictures in `folder` in the byte order of their names, skipping names that start with
// '.' and anything that is not a file. Empty, with a message, when the folder cannot be read.
std::vector<std::string> ListPhotos(const std::string &folder, std::string *error);

// The photo at `path` as a side x side picture; an empty picture, with a message naming the
// file, when it is not a picture, cannot be read or is smaller than kSmallestPhoto.
Image LoadPhoto(const std::string &path, int side, std::string *error);

// EXIF orientation (1..8) from a TIFF structure ("II*\0" or "MM\0*"); 1 when it has none.
int TiffOrientation(const uint8_t *tiff, size_t size);

// The square picture turned as an EXIF orientation asks: 6 turns it a quarter clockwise.
Image Orient(const Image &img, int orientation);

// Resamples the square at (x0, y0) with sides `side` of rgb (8-bit RGB, w pixels a row) to
// out x out with a Lanczos filter three lobes wide, widened by the reduction so that every
// input pixel counts.
Image ResampleSquare(const std::vector<uint8_t> &rgb, int w, int x0, int y0, int side, int out);

} // namespace art
