#include "tools/artwork/photos.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

#include "assets/pixel_bytes.h"
#include "tools/artwork/cards.h"
#include "tools/artwork/text.h"
#include "tools/artwork/words.h"

namespace art {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Enough for any photo a camera makes; a larger PNG would need gigabytes to decode.
constexpr double kLargestPngPixels = 200e6;

struct Decoded {
  int w = 0, h = 0;
  Bytes rgb;
  int orientation = 1;
};

std::string Size(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

std::string TooSmall(int w, int h) {
  return Size(w, h) + ", smaller than " + Size(kSmallestPhoto, kSmallestPhoto);
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

// Reduces the decode in the DCT (1/2, 1/4, 1/8) while the shorter side stays at least twice
// the card's: big photos decode fast and in little memory, and the filter does the rest.
int JpegScale(int shorter, int side) {
  int denom = 8;
  while (denom > 1 && shorter / denom < 2 * side) denom /= 2;
  return denom;
}

bool DecodeJpeg(const Bytes &b, int side, Decoded *out, std::string *why) {
  jpeg_decompress_struct cinfo;
  JpegError err{};
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = [](j_common_ptr c) {
    auto *e = reinterpret_cast<JpegError *>(c->err);
    (*c->err->format_message)(c, e->message);
    std::longjmp(e->jump, 1);
  };
  // Warnings are not printed; a stream cut short is a refusal, as its lower part would be grey.
  err.mgr.emit_message = [](j_common_ptr c, int level) {
    if (level < 0 && c->err->msg_code == JWRN_JPEG_EOF)
      reinterpret_cast<JpegError *>(c->err)->truncated = true;
  };
  Bytes row;
  jpeg_create_decompress(&cinfo);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    *why = std::string("damaged JPEG: ") + err.message;
    return false;
  }
  jpeg_mem_src(&cinfo, b.data(), static_cast<unsigned long>(b.size()));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
    if (m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0)
      out->orientation = TiffOrientation(m->data + 6, m->data_length - 6);
  const int w = int(cinfo.image_width), h = int(cinfo.image_height);
  if (std::min(w, h) < kSmallestPhoto) {
    jpeg_destroy_decompress(&cinfo);
    *why = TooSmall(w, h);
    return false;
  }
  // Adobe's CMYK is stored inverted: the ink's absence, so each channel times K is the light.
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  cinfo.scale_num = 1;
  cinfo.scale_denom = unsigned(JpegScale(std::min(w, h), side));
  cinfo.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&cinfo);
  const std::optional<size_t> bytes = PixelBytes(cinfo.output_width, cinfo.output_height, 3);
  if (!bytes) {
    jpeg_destroy_decompress(&cinfo);
    *why = Size(w, h) + " is too large to decode here";
    return false;
  }
  out->w = int(cinfo.output_width);
  out->h = int(cinfo.output_height);
  out->rgb.resize(*bytes);
  row.resize(size_t(out->w) * size_t(cinfo.output_components));
  while (cinfo.output_scanline < cinfo.output_height) {
    uint8_t *dst = &out->rgb[size_t(cinfo.output_scanline) * size_t(out->w) * 3];
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&cinfo, &r, 1);
    for (int x = 0; x < out->w; ++x)
      if (cmyk) {
        const uint8_t *p = &row[size_t(x) * 4];
        for (int c = 0; c < 3; ++c) dst[x * 3 + c] = uint8_t((p[c] * p[3] + 127) / 255);
      } else {
        std::copy_n(&row[size_t(x) * 3], 3, &dst[x * 3]);
      }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (err.truncated) {
    *why = "damaged JPEG: the file ends inside the picture";
    return false;
  }
  return true;
}

uint32_t Be32(const uint8_t *p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The orientation in a PNG's eXIf chunk, which comes before the pixels when there is one.
int PngOrientation(const Bytes &b) {
  for (size_t at = 8; at + 12 <= b.size();) {
    const size_t len = Be32(&b[at]);
    const std::string type(b.begin() + std::ptrdiff_t(at + 4), b.begin() + std::ptrdiff_t(at + 8));
    if (type == "IDAT" || type == "IEND" || len > b.size() - at - 12) break;
    if (type == "eXIf") return TiffOrientation(&b[at + 8], len);
    at += 12 + len;
  }
  return 1;
}

bool DecodePng(const Bytes &b, Decoded *out, std::string *why) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, b.data(), b.size())) {
    *why = std::string("damaged PNG: ") + image.message;
    return false;
  }
  const int w = int(image.width), h = int(image.height);
  if (std::min(w, h) < kSmallestPhoto) {
    png_image_free(&image);
    *why = TooSmall(w, h);
    return false;
  }
  // Three 8-bit samples a pixel, as asked for below. The library's own size
  // macro multiplies in 32 bits, which only the limit keeps from wrapping.
  const std::optional<size_t> bytes = PixelBytes(w, h, 3);
  if (double(w) * h > kLargestPngPixels || !bytes) {
    png_image_free(&image);
    *why = Size(w, h) + " is too large for a PNG here; save it smaller or as JPEG";
    return false;
  }
  // Without this flag the library takes 16-bit samples that carry no gamma as linear light,
  // which would show such a photo washed out.
  image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  image.format = PNG_FORMAT_RGB; // grey expanded, 16 bits reduced, alpha over the background
  out->w = w;
  out->h = h;
  out->rgb.resize(*bytes);
  png_color black{0, 0, 0};
  if (!png_image_finish_read(&image, &black, out->rgb.data(), 0, nullptr)) {
    *why = std::string("damaged PNG: ") + image.message;
    png_image_free(&image);
    return false;
  }
  out->orientation = PngOrientation(b);
  return true;
}

// The code point at s[*i], moving *i past it; a byte that does not start a well-formed letter
// stands for itself, so that any name still has an order.
char32_t NextLetter(const std::string &s, size_t *i) {
  const uint8_t b = uint8_t(s[*i]);
  const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  const std::string one = s.substr(*i, size_t(extra) + 1);
  if (extra == 0 || InvalidUtf8At(one) != std::string::npos) {
    ++*i;
    return b;
  }
  *i += size_t(extra) + 1;
  return DecodeUtf8(one)[0];
}

// Capitals as small letters, for the alphabets people name their photos in.
char32_t Lower(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20; // А..Я
  if (c >= 0x400 && c <= 0x40F) return c + 0x50; // Ѐ..Џ, Ё among them
  return c;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Negative, zero or positive as a comes before, with or after b in NaturalLess's order, before
// its last resort.
int NaturalCompare(const std::string &a, const std::string &b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Runs of digits by value: without their leading zeros, the longer is the larger.
      size_t ei = i, ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      while (i + 1 < ei && a[i] == '0') ++i;
      while (j + 1 < ej && b[j] == '0') ++j;
      if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
      if (int c = a.compare(i, ei - i, b, j, ej - j); c != 0) return c;
      i = ei, j = ej;
      continue;
    }
    const char32_t x = Lower(NextLetter(a, &i)), y = Lower(NextLetter(b, &j));
    if (x != y) return x < y ? -1 : 1;
  }
  return (i < a.size()) - (j < b.size());
}

double Lanczos3(double x) {
  x = std::fabs(x);
  if (x < 1e-9) return 1;
  if (x >= 3) return 0;
  const double px = kPi * x;
  return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
}

} // namespace

bool NaturalLess(const std::string &a, const std::string &b) {
  const int c = NaturalCompare(a, b);
  return c != 0 ? c < 0 : a < b; // "01.jpg" and "1.jpg", "a.jpg" and "A.jpg": still one order
}

std::string Shown(const std::string &name, size_t most) {
  std::vector<std::string> letters;
  for (size_t i = 0; i < name.size();) {
    const size_t at = i;
    const char32_t c = NextLetter(name, &i);
    const bool utf8 = c < 0x80 || i - at > 1; // a stray byte comes back as itself, alone
    letters.push_back(!utf8 || c < 0x20 || c == 0x7F ? "?" : name.substr(at, i - at));
  }
  if (letters.size() > most && most >= 3) {
    const size_t tail = (most - 1) / 2, head = most - 1 - tail;
    letters.erase(letters.begin() + std::ptrdiff_t(head), letters.end() - std::ptrdiff_t(tail));
    letters.insert(letters.begin() + std::ptrdiff_t(head), "…");
  }
  std::string out;
  for (const std::string &l : letters) out += l;
  return out;
}

std::vector<SheetEntry> SheetOrder(const std::vector<std::string> &files,
                                   const std::vector<std::string> &photos) {
  // Long enough for a camera's names ("IMG_20240315_142233.jpg") under a card on the sheet.
  constexpr size_t kLongestName = 24;
  auto stem = [](const std::string &f) { return f.substr(0, f.find('.')); };
  std::vector<SheetEntry> sheet;
  std::vector<bool> placed(files.size());
  for (size_t k = 0; k < cardPictures.size(); ++k) {
    const std::string card = cardPictures[k];
    const auto it = std::find_if(files.begin(), files.end(),
                                 [&](const std::string &f) { return stem(f) == card; });
    if (it == files.end()) continue;
    placed[size_t(it - files.begin())] = true;
    std::string what;
    if (const int t = TextCardIndex(card); t >= 0)
      what = "words, card " + std::to_string(t + 1);
    else if (const int p = PictureCardIndex(card); size_t(p) < photos.size())
      what = Shown(fs::path(photos[size_t(p)]).filename().string(), kLongestName);
    else
      what = "ours: " + card;
    sheet.push_back({*it, std::to_string(k + 1) + " · " + what});
  }
  for (size_t i = 0; i < files.size(); ++i)
    if (!placed[i]) sheet.push_back({files[i], stem(files[i])});
  return sheet;
}

std::vector<std::string> ListPhotos(const std::string &folder, std::string *error) {
  std::error_code ec;
  std::vector<std::string> names;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    *error = folder + ": cannot read the folder: " + ec.message();
    return {};
  }
  for (const fs::directory_entry &e : it) {
    const std::string name = e.path().filename().string();
    if (name.empty() || name[0] == '.' || !e.is_regular_file(ec)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  for (std::string &n : names) n = (fs::path(folder) / n).string();
  return names;
}

int TiffOrientation(const uint8_t *tiff, size_t size) {
  if (size < 8) return 1;
  const bool little = tiff[0] == 'I' && tiff[1] == 'I';
  if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return 1;
  auto u16 = [&](size_t at) {
    return little ? uint32_t(tiff[at]) | uint32_t(tiff[at + 1]) << 8
                  : uint32_t(tiff[at]) << 8 | uint32_t(tiff[at + 1]);
  };
  auto u32 = [&](size_t at) {
    return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
  };
  if (u16(2) != 42) return 1;
  const size_t ifd = u32(4);
  if (ifd > size - 2) return 1;
  const size_t entries = u16(ifd);
  for (size_t i = 0; i < entries; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    if (e + 12 > size) break;
    if (u16(e) != 0x0112 || u16(e + 2) != 3) continue; // Orientation, a SHORT
    const uint32_t v = u16(e + 8);
    return v >= 1 && v <= 8 ? int(v) : 1;
  }
  return 1;
}

Image Orient(const Image &img, int orientation) {
  const int n = img.w;
  Image out(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const int m = n - 1;
      int sx = x, sy = y;
      switch (orientation) {
      case 2: sx = m - x; break;
      case 3: sx = m - x, sy = m - y; break;
      case 4: sy = m - y; break;
      case 5: sx = y, sy = x; break;
      case 6: sx = y, sy = m - x; break;
      case 7: sx = m - y, sy = m - x; break;
      case 8: sx = m - y, sy = x; break;
      default: break;
      }
      out.At(x, y) = img.At(sx, sy);
    }
  return out;
}

Image ResampleSquare(const std::vector<uint8_t> &rgb, int w, int x0, int y0, int side, int out) {
  // The taps of each output position along one axis, the same for both: the square's own.
  struct Tap {
    int at;
    float weight;
  };
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(out));
  const double scale = double(side) / out, width = std::max(1.0, scale), reach = 3 * width;
  for (int i = 0; i < out; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    double sum = 0;
    for (int j = int(std::floor(centre - reach)) + 1; j <= int(std::floor(centre + reach)); ++j) {
      const double wgt = Lanczos3((j - centre) / width);
      if (wgt == 0) continue;
      // Past the square's edge its border pixels stand in, so nothing outside it shows.
      taps[size_t(i)].push_back({std::clamp(j, 0, side - 1), float(wgt)});
      sum += wgt;
    }
    for (Tap &t : taps[size_t(i)]) t.weight = float(t.weight / sum);
  }
  // Across first, over every row of the square; then down.
  std::vector<float> across(size_t(side) * size_t(out) * 3);
  for (int y = 0; y < side; ++y) {
    const uint8_t *src = &rgb[(size_t(y0 + y) * size_t(w) + size_t(x0)) * 3];
    float *dst = &across[size_t(y) * size_t(out) * 3];
    for (int i = 0; i < out; ++i) {
      float r = 0, g = 0, b = 0;
      for (const Tap &t : taps[size_t(i)]) {
        const uint8_t *p = src + size_t(t.at) * 3;
        r += t.weight * p[0];
        g += t.weight * p[1];
        b += t.weight * p[2];
      }
      dst[i * 3] = r, dst[i * 3 + 1] = g, dst[i * 3 + 2] = b;
    }
  }
  Image img(out, out);
  for (int y = 0; y < out; ++y)
    for (int x = 0; x < out; ++x) {
      double r = 0, g = 0, b = 0;
      for (const Tap &t : taps[size_t(y)]) {
        const float *p = &across[(size_t(t.at) * size_t(out) + size_t(x)) * 3];
        r += t.weight * p[0];
        g += t.weight * p[1];
        b += t.weight * p[2];
      }
      img.At(x, y) = Vec3{r, g, b} / 255.0;
    }
  return img;
}

Image LoadPhoto(const std::string &path, int side, std::string *error) {
  std::ifstream in(path, std::ios::binary);
  Bytes b;
  if (in) b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in || in.bad()) {
    *error = path + ": cannot read: " + std::strerror(errno);
    return {};
  }
  return DecodePhoto(path, b, side, error);
}

Image DecodePhoto(const std::string &name, const std::vector<uint8_t> &b, int side,
                  std::string *error) {
  const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Decoded d;
  std::string why;
  bool ok;
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
    ok = DecodeJpeg(b, side, &d, &why);
  } else if (b.size() >= 8 && std::equal(png, png + 8, b.begin())) {
    ok = DecodePng(b, &d, &why);
  } else {
    ok = false;
    why = "not a picture (a JPEG or PNG file)";
  }
  if (!ok) {
    *error = name + ": " + why;
    return {};
  }
  const int sq = std::min(d.w, d.h);
  return Orient(ResampleSquare(d.rgb, d.w, (d.w - sq) / 2, (d.h - sq) / 2, sq, side),
                d.orientation);
}

} // namespace art
