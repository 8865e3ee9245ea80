#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "assets/asset_alloc.h"
#include "assets/jpeg_texture.h"
#include "assets/pixel_bytes.h"
#include "assets/resources.h"
#include "assets/tga_texture.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/lines.h"
#include "tests/support/osmesa_context.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- Lookup -------------------------------------------------------------

TEST(EmbeddedResources, EveryFileIsCarriedByteForByteUnderItsTypeAndName) {
  int checked = 0;
  for (const char *dir : {VELMOR_IMAGES_DIR, VELMOR_FIXTURES_DIR}) {
    for (const auto &entry : fs::directory_iterator(dir)) {
      std::string ext = entry.path().extension().string();
      if (ext != ".jpg" && ext != ".tga") continue;
      std::string type = ext == ".jpg" ? "JPG" : "TGA";
      std::string name = entry.path().stem().string();
      ResourceBytes found = FindEmbeddedResource(type.c_str(), name.c_str());
      std::vector<uint8_t> expected = ReadFile(entry.path());
      ASSERT_NE(found.data, nullptr) << name;
      ASSERT_EQ(found.size, expected.size()) << name;
      EXPECT_EQ(std::memcmp(found.data, expected.data(), expected.size()), 0) << name;
      ++checked;
    }
  }
  EXPECT_GE(checked, 11);
}

TEST(EmbeddedResources, NamesMatchInAnyLetterCaseAndLookupsAreStable) {
  ResourceBytes upper = FindEmbeddedResource("JPG", "FIX_CORNERS");
  ResourceBytes mixed = FindEmbeddedResource("jpg", "Fix_corners");
  ResourceBytes again = FindEmbeddedResource("JPG", "FIX_CORNERS");
  ASSERT_NE(upper.data, nullptr);
  EXPECT_EQ(mixed.data, upper.data);
  EXPECT_EQ(mixed.size, upper.size);
  EXPECT_EQ(again.data, upper.data);
}

TEST(EmbeddedResources, MissingNameOrWrongTypeGivesNullAndZero) {
  for (auto [type, name] : {std::pair{"JPG", "NO_SUCH_PICTURE"}, std::pair{"TGA", "FIX_CORNERS"},
                            std::pair{"JPG", "FIX_RGB24"}, std::pair{"PNG", "FIX_CORNERS"}}) {
    ResourceBytes found = FindEmbeddedResource(type, name);
    EXPECT_EQ(found.data, nullptr) << type << " " << name;
    EXPECT_EQ(found.size, 0u) << type << " " << name;
  }
}

TEST(EmbeddedResources, ThePresentationsPicturesAreAllThere) {
  ResourceBytes screen = FindEmbeddedResource("JPG", "DATA_screen");
  EXPECT_NE(screen.data, nullptr);
  EXPECT_EQ(FindEmbeddedResource("JPG", "data_screen").data, screen.data);
  EXPECT_EQ(FindEmbeddedResource("JPG", "DATA_SCREEN").data, screen.data);
  EXPECT_NE(FindEmbeddedResource("TGA", "DATA_FONT3").data, nullptr);
  EXPECT_EQ(FindEmbeddedResource("JPG", "DATA_FONT2").data, nullptr);
  std::vector<std::string> names = {"DATA_PARTICLE", "DATA_SCREEN", "DATA_FILM"};
  for (int i = 1; i <= 17; ++i) names.push_back("DATA_" + std::to_string(i));
  for (int i = 1; i <= 13; ++i) names.push_back("DDATA_" + std::to_string(i));
  for (int i = 1; i <= 7; ++i) names.push_back("MDATA_" + std::to_string(i));
  for (int i = 1; i <= 3; ++i) names.push_back("EDATA_" + std::to_string(i));
  ASSERT_EQ(names.size(), 43u);
  for (const auto &n : names) EXPECT_NE(FindEmbeddedResource("JPG", n.c_str()).data, nullptr) << n;
}

// ---- Pixel byte counts --------------------------------------------------

TEST(PixelBytes, CountsThatFitAreExactUpToTheLastByteOfTheRange) {
  EXPECT_EQ(PixelBytes(2, 2, 3), std::optional<size_t>{12});
  EXPECT_EQ(PixelBytes<uint32_t>(65535, 16384, 4), std::optional<uint32_t>{4294901760u});
  // 65537 x 65535 is 2^32 - 1: the largest count a 32-bit size holds.
  EXPECT_EQ(PixelBytes<uint32_t>(65537, 65535, 1), std::optional<uint32_t>{UINT32_MAX});
  EXPECT_EQ(PixelBytes<uint64_t>(65535, 65535, 4), std::optional<uint64_t>{17179344900u});
  EXPECT_EQ(PixelBytes<uint32_t>(0, 65535, 4), std::optional<uint32_t>{0});
  EXPECT_EQ(PixelBytes<uint32_t>(65535, 65535, 0), std::optional<uint32_t>{0});
}

// Headers whose count a 32-bit size_t (the browser's) wraps, most of them to
// a few bytes that any length check lets through. The wrapped figure is
// worked out beside each case to show that it would have passed.
TEST(PixelBytes, CountsPastA32BitSizeAreRefusedNotWrapped) {
  struct Case {
    uint64_t width, height, bytesPerPixel;
    uint32_t wrapped; // width * height * bytesPerPixel, multiplied in 32 bits
  };
  for (const Case &c : {
           Case{32768, 32768, 4, 0},              // a TGA at 32 bits
           Case{65536, 16384, 4, 0},              // the same count, wider
           Case{65500, 21858, 3, 129704},         // a JPEG at libjpeg's widest
           Case{65537, 65535, 2, UINT32_MAX - 1}, // past by the last factor only
           Case{65536, 65536, 1, 0},              // past by width x height alone
       }) {
    uint32_t wrapped = static_cast<uint32_t>(c.width) * static_cast<uint32_t>(c.height) *
                       static_cast<uint32_t>(c.bytesPerPixel);
    EXPECT_EQ(wrapped, c.wrapped) << c.width << "x" << c.height;
    EXPECT_EQ(PixelBytes<uint32_t>(c.width, c.height, c.bytesPerPixel), std::nullopt)
        << c.width << "x" << c.height << "x" << c.bytesPerPixel;
    // The same count in 64 bits is exact.
    EXPECT_EQ(PixelBytes<uint64_t>(c.width, c.height, c.bytesPerPixel),
              std::optional<uint64_t>{c.width * c.height * c.bytesPerPixel});
  }
}

TEST(PixelBytes, CountsPast64BitsAreRefusedToo) {
  EXPECT_EQ(PixelBytes<uint64_t>(uint64_t{1} << 32, uint64_t{1} << 32, 1), std::nullopt);
  EXPECT_EQ(PixelBytes<uint64_t>(uint64_t{1} << 32, uint64_t{1} << 30, 4), std::nullopt);
  EXPECT_EQ(PixelBytes<uint64_t>(1, 1, UINT64_MAX), std::optional<uint64_t>{UINT64_MAX});
  EXPECT_EQ(PixelBytes<uint64_t>(2, 1, UINT64_MAX), std::nullopt);
}

// ---- JPEG ---------------------------------------------------------------

class JpegLoader : public ::testing::Test {
protected:
  OsMesaContext gl{64, 64};
  void SetUp() override { ASSERT_TRUE(gl.ok()); }

  static std::vector<uint8_t> Level0(GLuint texture, int *width, int *height) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
    std::vector<uint8_t> texels(static_cast<size_t>(*width) * *height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return texels;
  }
};

void ExpectColour(const uint8_t *px, int r, int g, int b, const char *what) {
  EXPECT_NEAR(px[0], r, 12) << what;
  EXPECT_NEAR(px[1], g, 12) << what;
  EXPECT_NEAR(px[2], b, 12) << what;
}

TEST_F(JpegLoader, TextureStartsWithTheBottomLeftPixelAndHasMipmaps) {
  GLuint slot = 0;
  EXPECT_EQ(LoadJpegTexture(&slot, "fix_corners"), 1);
  ASSERT_NE(slot, 0u);
  int w = 0, h = 0;
  std::vector<uint8_t> texels = Level0(slot, &w, &h);
  ASSERT_EQ(w, 64);
  ASSERT_EQ(h, 32);
  ExpectColour(&texels[0], 255, 0, 0, "first texel: bottom-left is red");
  ExpectColour(&texels[texels.size() - 3], 255, 255, 255, "last texel: top-right is white");
  ExpectColour(&texels[(static_cast<size_t>(h - 1) * w) * 3], 0, 0, 255, "top-left is blue");
  GLint level1 = 0, minFilter = 0, wrap = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
  EXPECT_EQ(level1, 32);
  EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);
  EXPECT_EQ(wrap, GL_CLAMP);
}

TEST_F(JpegLoader, DecodedRowsAreTurnedBottomFirst) {
  DecodedImage *image = DecodeJpegResource("FIX_CORNERS");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->imageWidth, 64);
  EXPECT_EQ(image->imageHeight, 32);
  EXPECT_EQ(image->rowStride, 192);
  ExpectColour(image->pixels, 255, 0, 0, "bottom-left");
  ExpectColour(image->pixels + 63 * 3, 0, 255, 0, "bottom-right");
  ExpectColour(image->pixels + 31 * 192, 0, 0, 255, "top-left");
  std::free(image->pixels);
  std::free(image);
}

// A decompressor that reads the given bytes through our memory source;
// destroyed with the test's scope.
struct MemoryDecompressor {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  MemoryDecompressor(const uint8_t *data, size_t size) {
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    InstallMemorySource(&d, data, size);
  }
  ~MemoryDecompressor() { jpeg_destroy_decompress(&d); }
};

TEST_F(JpegLoader, CompleteDatastreamIsUsedUpExactlyWithoutWarnings) {
  ResourceBytes bytes = FindEmbeddedResource("JPG", "FIX_CORNERS");
  MemoryDecompressor m(bytes.data, bytes.size);
  jpeg_decompress_struct &d = m.d;
  DecodedImage image{};
  testing::internal::CaptureStderr();
  ReadJpegImage(&d, &image);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(m.err.num_warnings, 0);
  EXPECT_EQ(d.src->bytes_in_buffer, 0u);
  EXPECT_EQ(d.src->next_input_byte, bytes.data + bytes.size);
  std::free(image.pixels);
}

TEST_F(JpegLoader, CutDatastreamGivesFullTextureAndExactlyOneWarningLine) {
  GLuint slot = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadJpegTexture(&slot, "FIX_CUT"), 1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Lines(err), std::vector<std::string>{"Premature end of JPEG file"});
  int w = 0, h = 0;
  Level0(slot, &w, &h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 64);
}

TEST_F(JpegLoader, GreyPictureIsConvertedToThreeSamplesPerPixel) {
  DecodedImage *image = DecodeJpegResource("FIX_GREY");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->rowStride, 3 * 32);
  for (int i = 0; i < 32 * 32; ++i) {
    const uint8_t *px = image->pixels + i * 3;
    ASSERT_EQ(px[0], px[1]);
    ASSERT_EQ(px[1], px[2]);
  }
  std::free(image->pixels);
  std::free(image);
}

TEST_F(JpegLoader, SkipBeyondTheEndIsMetWithSubstituteMarkers) {
  static const uint8_t data[5] = {1, 2, 3, 4, 5};
  MemoryDecompressor m(data, sizeof data);
  jpeg_decompress_struct &d = m.d;
  auto *source = reinterpret_cast<MemorySource *>(d.src);
  testing::internal::CaptureStderr();
  d.src->skip_input_data(&d, 0);
  d.src->skip_input_data(&d, -3);
  EXPECT_EQ(d.src->bytes_in_buffer, 5u);
  // 5 bytes, then two refills of two bytes each: 9 = 5 + 2 + 2.
  d.src->skip_input_data(&d, 9);
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(d.src->bytes_in_buffer, 0u);
  EXPECT_EQ(d.src->next_input_byte, source->endMarker + 2);
  EXPECT_EQ(source->endMarker[0], 0xFF);
  EXPECT_EQ(source->endMarker[1], 0xD9);
  EXPECT_EQ(m.err.num_warnings, 2);
  EXPECT_EQ(Lines(out), std::vector<std::string>{"Premature end of JPEG file"});
}

TEST(JpegLoaderDeath, MissingPictureEndsTheProcessWithTheLibrarysMessage) {
  // A fresh process: the software renderer's threads do not survive a fork.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        OsMesaContext gl(16, 16);
        GLuint slot = 0;
        LoadJpegTexture(&slot, "NO_SUCH_PICTURE");
      },
      testing::ExitedWithCode(1), "Not a JPEG file: starts with 0xff 0xd9");
}

TEST_F(JpegLoader, ProgressiveAndSmallPicturesTakeTheSamePath) {
  for (auto [name, side] :
       {std::pair{"DATA_screen", 512}, std::pair{"DATA_PARTICLE", 32}, std::pair{"DATA_1", 512}}) {
    GLuint slot = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadJpegTexture(&slot, name), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << name;
    int w = 0, h = 0;
    Level0(slot, &w, &h);
    EXPECT_EQ(w, side) << name;
    EXPECT_EQ(h, side) << name;
  }
}

// Each of the loader's own allocations in turn fails: the picture is dropped
// without a crash or a leak (the sanitiser build checks), decoding gives
// null, and loading shows the box captioned with the picture's name and makes
// no texture. The loop ends at the first load that makes no more allocations
// than the one armed to fail.
TEST_F(JpegLoader, EveryAllocationFailingDropsThePictureWithTheBox) {
  int failures = 0;
  for (uint32_t n = 1;; ++n) {
    FailAssetAllocation(n);
    DecodedImage *image = DecodeJpegResource("FIX_CORNERS");
    if (assetAllocations < n) {
      ASSERT_NE(image, nullptr);
      std::free(image->pixels);
      std::free(image);
      break;
    }
    EXPECT_EQ(image, nullptr) << "allocation " << n;

    FakeReset();
    FailAssetAllocation(n);
    GLuint slot = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadJpegTexture(&slot, "FIX_CORNERS"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "allocation " << n;
    EXPECT_EQ(FakeMessageBoxes(), std::vector<std::string>{"FIX_CORNERS|???."})
        << "allocation " << n;
    EXPECT_EQ(slot, 0u) << "allocation " << n;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ++failures;
  }
  FailAssetAllocation(0);
  // The record, the pixels, the row pointers and the turned copy.
  EXPECT_EQ(failures, 4);

  // The decompressor that gave up leaves nothing behind: the next load works.
  FakeReset();
  GLuint slot = 0;
  EXPECT_EQ(LoadJpegTexture(&slot, "FIX_CORNERS"), 1);
  EXPECT_NE(slot, 0u);
  EXPECT_TRUE(FakeMessageBoxes().empty());
}

TEST_F(JpegLoader, ReadWithoutMemoryForThePixelsReturnsFalseAndNoPixels) {
  ResourceBytes bytes = FindEmbeddedResource("JPG", "FIX_CORNERS");
  for (uint32_t n : {1u, 2u}) { // the pixels, then the row pointers
    MemoryDecompressor m(bytes.data, bytes.size);
    jpeg_decompress_struct &d = m.d;
    DecodedImage image{};
    FailAssetAllocation(n);
    EXPECT_EQ(ReadJpegImage(&d, &image), FALSE) << "allocation " << n;
    FailAssetAllocation(0);
    EXPECT_EQ(image.pixels, nullptr) << "allocation " << n;
    EXPECT_EQ(image.imageWidth, 64);
    // Aborted: the decompressor is back at its start, ready to be destroyed.
    EXPECT_EQ(d.global_state, 200) << "allocation " << n; // DSTATE_START
  }
}

// ---- TGA ----------------------------------------------------------------

class TgaLoader : public ::testing::Test {
protected:
  OsMesaContext gl{16, 16};
  void SetUp() override { ASSERT_TRUE(gl.ok()); }
};

TEST_F(TgaLoader, TwentyFourBitPictureLoadsAsRgbInStoredRowOrder) {
  TgaImage image{};
  ASSERT_EQ(LoadTgaTexture(&image, "FIX_RGB24"), 1);
  EXPECT_EQ(image.bitsPerPixel, 24u);
  EXPECT_EQ(image.imageWidth, 2u);
  EXPECT_EQ(image.imageHeight, 2u);
  const uint8_t swapped[12] = {30, 20, 10, 60, 50, 40, 90, 80, 70, 120, 110, 100};
  EXPECT_EQ(std::memcmp(image.pixels, swapped, sizeof swapped), 0);
  GLint format = 0, minFilter = 0;
  glBindTexture(GL_TEXTURE_2D, image.texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  EXPECT_EQ(format, GL_RGB);
  EXPECT_EQ(minFilter, GL_LINEAR);
  uint8_t texels[12] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
  EXPECT_EQ(std::memcmp(texels, swapped, sizeof swapped), 0);
  std::free(image.pixels);
}

TEST_F(TgaLoader, ThirtyTwoBitPictureKeepsItsAlpha) {
  TgaImage image{};
  ASSERT_EQ(LoadTgaTexture(&image, "FIX_RGBA32"), 1);
  const uint8_t swapped[8] = {3, 2, 1, 4, 7, 6, 5, 8};
  EXPECT_EQ(std::memcmp(image.pixels, swapped, sizeof swapped), 0);
  GLint format = 0;
  glBindTexture(GL_TEXTURE_2D, image.texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  EXPECT_EQ(format, GL_RGBA);
  std::free(image.pixels);
}

TEST_F(TgaLoader, FontSheetLoadsWithAllAlphaZero) {
  TgaImage image{};
  ASSERT_EQ(LoadTgaTexture(&image, "DATA_FONT2"), 1);
  EXPECT_EQ(image.bitsPerPixel, 32u);
  EXPECT_EQ(image.imageWidth, 256u);
  EXPECT_EQ(image.imageHeight, 256u);
  for (size_t i = 3; i < 256 * 256 * 4; i += 4) ASSERT_EQ(image.pixels[i], 0) << i;
  std::free(image.pixels);
}

// A top-first picture and its bottom-first twin give the same texture, read
// back from GL, and the same pixel copy; the bottom-first one keeps its
// stored order. Every row of the twins differs, so a missing turn shows.
TEST_F(TgaLoader, TopRowFirstPicturesComeOutLikeTheirBottomFirstTwins) {
  for (auto [bottomName, topName, bytesPerPixel] :
       {std::tuple{"FIX_BOTTOM24", "FIX_TOP24", 3}, std::tuple{"FIX_BOTTOM32", "FIX_TOP32", 4}}) {
    TgaImage bottom{}, top{};
    ASSERT_EQ(LoadTgaTexture(&bottom, bottomName), 1) << TgaLoadFailure();
    ASSERT_EQ(LoadTgaTexture(&top, topName), 1) << TgaLoadFailure();
    ASSERT_EQ(top.imageWidth, bottom.imageWidth);
    ASSERT_EQ(top.imageHeight, bottom.imageHeight);
    size_t stride = bottom.imageWidth * bytesPerPixel;
    size_t size = stride * bottom.imageHeight;
    EXPECT_EQ(std::memcmp(top.pixels, bottom.pixels, size), 0) << topName;

    // The bottom-first copy is the stored bytes with red and blue exchanged.
    const uint8_t *stored = FindEmbeddedResource("TGA", bottomName).data + 18;
    for (size_t i = 0; i < size; i += bytesPerPixel)
      ASSERT_EQ(bottom.pixels[i], stored[i + 2]) << bottomName << " byte " << i;

    GLenum format = bytesPerPixel == 3 ? GL_RGB : GL_RGBA;
    std::vector<uint8_t> bottomTexels(size), topTexels(size);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, bottom.texture);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, bottomTexels.data());
    glBindTexture(GL_TEXTURE_2D, top.texture);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, topTexels.data());
    EXPECT_EQ(topTexels, bottomTexels) << topName;
    EXPECT_EQ(std::memcmp(bottomTexels.data(), bottom.pixels, size), 0) << bottomName;
    for (size_t row = 1; row < bottom.imageHeight; ++row)
      ASSERT_NE(std::memcmp(bottom.pixels, bottom.pixels + row * stride, stride), 0);
    std::free(bottom.pixels);
    std::free(top.pixels);
  }
}

TEST_F(TgaLoader, PixelCopyWithoutMemoryIsARefusalThatTouchesNothingElse) {
  TgaImage image{};
  uint8_t sentinel = 0;
  image.pixels = &sentinel;
  image.bitsPerPixel = 99;
  image.texture = 55;
  FailAssetAllocation(1);
  EXPECT_EQ(LoadTgaTexture(&image, "FIX_RGB24"), 0);
  FailAssetAllocation(0);
  EXPECT_STREQ(TgaLoadFailure(), "no memory for 12 bytes of pixels");
  EXPECT_EQ(image.pixels, &sentinel);
  EXPECT_EQ(image.bitsPerPixel, 99u);
  EXPECT_EQ(image.texture, 55u);
  EXPECT_EQ(image.imageWidth, 2u);
  EXPECT_FALSE(glIsTexture(1));

  // The copy is the loader's one allocation: with the second armed, it loads
  // and the reason of the refusal before is gone.
  image = TgaImage{};
  FailAssetAllocation(2);
  EXPECT_EQ(LoadTgaTexture(&image, "FIX_RGB24"), 1);
  EXPECT_EQ(assetAllocations, 1u);
  FailAssetAllocation(0);
  EXPECT_STREQ(TgaLoadFailure(), "");
  std::free(image.pixels);
}

// 32768 x 32768 at 32 bits, top row first, with 64 bytes of pixels: refused
// before anything is allocated, so no row is turned into a block too small
// for it (the sanitiser build checks). Its reason, with the count told whole,
// is among the rejections below.
TEST_F(TgaLoader, HeaderWhoseCountPasses32BitsIsRefusedBeforeAnyAllocation) {
  TgaImage image{};
  FailAssetAllocation(UINT32_MAX); // counts, and fails none that come
  EXPECT_EQ(LoadTgaTexture(&image, "FIX_HUGE"), 0);
  EXPECT_EQ(assetAllocations, 0u);
  FailAssetAllocation(0);
  EXPECT_FALSE(glIsTexture(1));
  // The loader's count, taken with the browser's size_t.
  EXPECT_EQ(PixelBytes<uint32_t>(image.imageWidth, image.imageHeight, 4), std::nullopt);
}

struct Rejection {
  const char *name;
  bool sizeWritten; // width and height stored before the rejection
  uint32_t width, height;
  const char *reason;
};

void PrintTo(const Rejection &r, std::ostream *os) { *os << r.name; }

class TgaRejection : public TgaLoader, public ::testing::WithParamInterface<Rejection> {};

TEST_P(TgaRejection, ReturnsFalseAndTouchesOnlyWhatItReadFirst) {
  const Rejection &r = GetParam();
  TgaImage image{};
  uint8_t sentinel = 0;
  image.pixels = &sentinel;
  image.bitsPerPixel = 99;
  image.imageWidth = 77;
  image.imageHeight = 66;
  image.texture = 55;
  EXPECT_EQ(LoadTgaTexture(&image, r.name), 0);
  EXPECT_EQ(image.pixels, &sentinel);
  EXPECT_EQ(image.bitsPerPixel, 99u);
  EXPECT_EQ(image.texture, 55u);
  EXPECT_EQ(image.imageWidth, r.sizeWritten ? r.width : 77u);
  EXPECT_EQ(image.imageHeight, r.sizeWritten ? r.height : 66u);
  EXPECT_STREQ(TgaLoadFailure(), r.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, TgaRejection,
    ::testing::Values(
        Rejection{"FIX_RLE", false, 0, 0, "image type 10 is not 2 (uncompressed true-colour)"},
        Rejection{"FIX_IDLENGTH", false, 0, 0, "an ID field (1 bytes)"},
        Rejection{"FIX_COLOURMAP", false, 0, 0, "a colour map (type 1)"},
        Rejection{"FIX_ORIGIN", false, 0, 0, "origin (0, 4) is not (0, 0)"},
        Rejection{"FIX_ZEROWIDTH", true, 0, 5, "no pixels: 0 wide, 5 high"},
        Rejection{"FIX_DEPTH16", true, 4, 4, "pixel depth 16 is not 24 or 32"},
        Rejection{"FIX_SHORT", true, 4, 4, "10 bytes of pixels where 4x4 at 32 bits needs 64"},
        Rejection{"FIX_HUGE", true, 32768, 32768,
                  "64 bytes of pixels where 32768x32768 at 32 bits needs 4294967296"},
        Rejection{"FIX_TINY", false, 0, 0, "10 bytes, shorter than the 18-byte header"},
        Rejection{"NO_SUCH_PICTURE", false, 0, 0, "no such resource"},
        Rejection{"FIX_CORNERS", false, 0, 0, "no such resource"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
