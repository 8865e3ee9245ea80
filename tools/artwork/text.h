// Text rendered with FreeType: the dedication and closing cards and the two glyph sheets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/artwork/common.h"

namespace art {

// Windows-1251 byte to Unicode code point; 0 for the one unassigned byte (0x98).
uint32_t Cp1251ToUnicode(uint8_t byte);

std::u32string DecodeUtf8(const std::string &text);

struct CardLayout {
  int pixelSize = 0;         // the font size chosen by the fit
  int left = 0, top = 0;     // bounding box of the inked pixels
  int right = 0, bottom = 0; // exclusive
};

// White text on black, centred, one entry per line ("" leaves a half-line gap). The font
// size is the largest at which the block fits inside the square less `margin` (a fraction
// of the side) on every side.
Image RenderTextCard(const std::string &fontPath, const std::vector<std::string> &lines, int side,
                     double margin, CardLayout *layout = nullptr);

// A 256x256 sheet of 16x16 cells in code-page order, code 0 top left. Values per pixel:
// 0 background, 255 glyph and, with outline set, 128 for a one-pixel ring around the glyph.
std::vector<uint8_t> RenderGlyphSheet(const std::string &fontPath, int pixelSize, int baseline,
                                      bool outline);

} // namespace art
