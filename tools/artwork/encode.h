// Writers for the two picture formats the intro embeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/artwork/common.h"

namespace art {

using Bytes = std::vector<uint8_t>;

// Baseline JFIF, 4:2:0, one scan, with a comment segment.
Bytes EncodeBaselineJpeg(const Rgb8 &img, int quality, const std::string &comment);

// The full-screen overlay: progressive JFIF with full-resolution chroma, seven scans, the
// given ICC profile, a small Photoshop-style resource block, an Adobe segment and a comment.
Bytes EncodeOverlayJpeg(const Rgb8 &img, int quality, const Bytes &iccProfile,
                        const std::string &comment);

// Uncompressed true-colour TGA, bottom row first, with the TGA 2.0 footer. bgra holds
// rows top to bottom, 3 or 4 bytes per pixel in B, G, R(, A) order.
Bytes EncodeTga(int w, int h, int bitsPerPixel, const Bytes &bgraTopDown);

// A square picture for an icon: rows top to bottom, R, G, B, A each, alpha not
// premultiplied.
struct IconPicture {
  int side = 0;
  Bytes rgba;
};

// A Windows icon file holding the pictures in the order given: those below
// 256 pixels as 32-bit bitmaps with their mask (what every Windows reads),
// a 256-pixel one as PNG (what Windows expects at that size).
Bytes EncodeIco(const std::vector<IconPicture> &pictures);

} // namespace art
