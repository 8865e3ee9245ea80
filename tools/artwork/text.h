// Text rendered with FreeType: the dedication and closing cards and the two glyph sheets.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
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

// Above this, two-word cards look shouted.
constexpr int kLargestCardSize = 96;

// How a card's lines sit inside the square less `margin` at one type size.
struct CardFit {
  bool fits = false;
  std::vector<size_t> tooWide; // the lines wider than the box, by index
  bool tooTall = false;        // the block is taller than the box
};
CardFit FitCardText(const std::string &fontPath, const std::vector<std::string> &lines, int side,
                    double margin, int pixelSize);
// The size RenderTextCard sets these lines at: the largest up to kLargestCardSize at which they
// fit, or 8 when none does.
int CardPixelSize(const std::string &fontPath, const std::vector<std::string> &lines, int side,
                  double margin);
// The characters the font has no glyph for, each with the index of its line.
std::vector<std::pair<size_t, char32_t>> MissingGlyphs(const std::string &fontPath,
                                                       const std::vector<std::string> &lines);

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
