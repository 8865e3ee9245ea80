// What the artwork tests share: the inventory of picture files, a JPEG marker walk and decoder,
// the coding checks the intro's loaders rely on (for our folder and a person's alike), and
// writers of small PNG and JPEG files for the photo tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace checks {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const fs::path &p);
void WriteAll(const fs::path &p, const std::string &text);
std::set<std::string> ExpectedFiles(); // the 45 file names
std::set<std::string> FilesIn(const fs::path &dir);
bool IsTextCard(const std::string &name);

// What a walk over a JPEG's markers finds.
struct JpegFacts {
  std::string error;      // empty when the stream is well formed
  bool jfifFirst = false; // APP0 "JFIF\0" directly after SOI
  int frameMarker = 0;    // 0xC0..0xCF
  int precision = 0, width = 0, height = 0;
  std::vector<int> ids, hSamp, vSamp;
  int scans = 0;
  bool comment = false, icc = false, photoshop = false, dri = false;
  int adobeTransform = -1;
  bool endsWithEoi = false;
};
JpegFacts WalkJpeg(const Bytes &b);

struct Decoded {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  const uint8_t *At(int x, int y) const { return &rgb[(size_t(y) * w + x) * 3]; }
};
// Decodes with libjpeg; a fatal error fails the test instead of ending the process.
Decoded Decode(const Bytes &b);

// Every file of the inventory in `dir` has the coding the intro's loaders expect: the JPEG
// markers, sampling and sizes, and the glyph sheets' exact TGA layout.
void ExpectJpegCoding(const fs::path &dir);
void ExpectGlyphSheetLayout(const fs::path &dir);
void ExpectLoaderCoding(const fs::path &dir); // both

// A fresh folder under /tmp, removed with everything in it when the record goes.
struct TempDir {
  fs::path path;
  TempDir();
  ~TempDir();
};

// The colour of pixel (x, y) of a test picture, 0..255 a channel.
struct Rgb {
  int r, g, b;
};
using PixelFn = std::function<Rgb(int x, int y)>;
// An 8-bit baseline JPEG at quality 95, grey (one component) or colour, with an EXIF
// orientation in APP1 when `orientation` is not 0.
void WriteJpeg(const fs::path &p, int w, int h, bool grey, int orientation, const PixelFn &px);
// A PNG of the given libpng colour type and bit depth (8 or 16); alpha from `alpha`, 255 when
// none is given; an eXIf chunk when `orientation` is not 0.
void WritePng(const fs::path &p, int w, int h, int colorType, int bitDepth, const PixelFn &px,
              const std::function<int(int x, int y)> &alpha = nullptr, int orientation = 0);
// A little- or big-endian TIFF block holding one Orientation entry.
Bytes ExifTiff(int orientation, bool bigEndian);

} // namespace checks
