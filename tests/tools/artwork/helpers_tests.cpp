// The drawing helpers every picture is built on, and the encoders on small inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include <jpeglib.h>

#include "tools/artwork/common.h"
#include "tools/artwork/encode.h"

namespace {

double Total(const art::Image &img) {
  double s = 0;
  for (const art::Vec3 &p : img.px) s += p.x;
  return s;
}

art::Rgb8 Gradient(int w, int h) {
  art::Rgb8 img{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t *p = &img.data[(size_t(y) * w + x) * 3];
      p[0] = uint8_t(x * 255 / (w - 1));
      p[1] = uint8_t(y * 255 / (h - 1));
      p[2] = uint8_t(128 + 100 * std::sin(x * 0.2 + y * 0.1));
    }
  return img;
}

std::vector<uint8_t> DecodeRgb(const art::Bytes &b, int *scans) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, b.data(), (unsigned long)b.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.buffered_image = TRUE; // lets us count the scans as they arrive
  jpeg_start_decompress(&cinfo);
  std::vector<uint8_t> rgb(size_t(cinfo.output_width) * cinfo.output_height * 3);
  while (!jpeg_input_complete(&cinfo)) jpeg_consume_input(&cinfo);
  *scans = cinfo.input_scan_number;
  jpeg_start_output(&cinfo, cinfo.input_scan_number);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &rgb[size_t(cinfo.output_scanline) * cinfo.output_width * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_output(&cinfo);
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return rgb;
}

} // namespace

TEST(Helpers, RandomNumbersAreUniformAndRepeatable) {
  art::Rng a(7), b(7), c(8);
  double sum = 0, sumBell = 0, sumBell2 = 0, lo = 1, hi = 0;
  int same = 0;
  const int n = 200000;
  for (int i = 0; i < n; ++i) {
    double u = a.Uniform();
    EXPECT_EQ(u, b.Uniform());
    if (u == c.Uniform()) ++same;
    lo = std::min(lo, u);
    hi = std::max(hi, u);
    sum += u;
    double g = a.Bell();
    b.Bell();
    c.Bell();
    sumBell += g;
    sumBell2 += g * g;
  }
  EXPECT_GE(lo, 0.0);
  EXPECT_LT(hi, 1.0);
  EXPECT_NEAR(sum / n, 0.5, 0.005);
  EXPECT_NEAR(sumBell / n, 0.0, 0.01);
  EXPECT_NEAR(std::sqrt(sumBell2 / n), 1.0, 0.02);
  EXPECT_LT(same, 5); // another seed is another sequence
}

TEST(Helpers, NoiseIsContinuousAndInRange) {
  for (int i = 0; i < 1000; ++i) {
    double x = i * 0.137, y = i * 0.071;
    double v = art::Fbm(x, y, 6, 3);
    EXPECT_GE(v, 0.0);
    EXPECT_LE(v, 1.0);
    // No jumps at lattice lines: a tiny step gives a tiny change.
    EXPECT_NEAR(art::ValueNoise(x, y, 3), art::ValueNoise(x + 1e-7, y, 3), 1e-5);
  }
}

TEST(Helpers, DepositKeepsEnergyAndOrientation) {
  art::Image img(64, 64);
  art::Deposit(img, 0.013, 0.021, art::Grey(1.0));
  EXPECT_NEAR(Total(img), 1.0, 1e-12);
  // v = 1 is the top row, u = -1 the left column.
  art::Image corner(64, 64);
  art::Deposit(corner, -1 + 1.0 / 64, 1 - 1.0 / 64, art::Grey(1.0));
  EXPECT_NEAR(corner.At(0, 0).x, 1.0, 1e-12);
}

TEST(Helpers, BlurAndDownsampleKeepTheAverage) {
  art::Image img(64, 64);
  img.At(32, 30) = art::Grey(1.0);
  art::Image blurred = art::GaussianBlur(img, 2.0);
  EXPECT_NEAR(Total(blurred), 1.0, 1e-9);
  EXPECT_GT(blurred.At(32, 30).x, blurred.At(34, 30).x);
  EXPECT_NEAR(blurred.At(34, 30).x, blurred.At(32, 32).x, 1e-12); // round, not square

  art::Image big(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) big.At(x, y) = art::Grey((x + y) % 2);
  art::Image small = art::Downsample(big, 2);
  ASSERT_EQ(small.w, 4);
  for (const art::Vec3 &p : small.px) EXPECT_DOUBLE_EQ(p.x, 0.5);
}

TEST(Helpers, CanvasDiscCoversItsArea) {
  art::Canvas cv(128, 128, 2);
  const double r = 0.3;
  cv.Disc(0.1, -0.2, r, art::Grey(1.0));
  art::Image img = cv.Finish();
  double area = Total(img) * (2.0 / 128) * (2.0 / 128);
  EXPECT_NEAR(area, M_PI * r * r, 0.01);
  // Edges are antialiased: some pixels partly covered.
  int partial = 0;
  for (const art::Vec3 &p : img.px) partial += p.x > 0.05 && p.x < 0.95;
  EXPECT_GT(partial, 20);
}

TEST(Helpers, TgaStoresBottomRowFirstWithLittleEndianSides) {
  // 3 wide, 2 high, distinct pixels: a swapped side or an upside-down block shows.
  art::Bytes topDown;
  for (uint8_t i = 0; i < 6; ++i)
    topDown.insert(topDown.end(), {i, uint8_t(i + 10), uint8_t(i + 20)});
  art::Bytes tga = art::EncodeTga(3, 2, 24, topDown);
  ASSERT_EQ(tga.size(), 18u + 18u + 26u);
  EXPECT_EQ(tga[12], 3);
  EXPECT_EQ(tga[14], 2);
  EXPECT_EQ(tga[17], 0x00);
  EXPECT_EQ(art::Bytes(tga.begin() + 18, tga.begin() + 27),
            art::Bytes(topDown.begin() + 9, topDown.end()));
  EXPECT_EQ(art::Bytes(tga.begin() + 27, tga.begin() + 36),
            art::Bytes(topDown.begin(), topDown.begin() + 9));
  art::Bytes wide = art::EncodeTga(300, 1, 32, art::Bytes(1200, 0));
  EXPECT_EQ(wide[12], 300 & 255);
  EXPECT_EQ(wide[13], 300 >> 8);
  EXPECT_EQ(wide[17], 0x08);
}

TEST(Helpers, OverlayScanScriptReachesFullPrecision) {
  // A scan script that left a successive-approximation bit unrefined would decode, but
  // visibly worse than the baseline encoder at the same quality.
  art::Rgb8 src = Gradient(64, 48);
  int progressiveScans = 0, baselineScans = 0;
  std::vector<uint8_t> prog =
      DecodeRgb(art::EncodeOverlayJpeg(src, 95, art::Bytes(200, 7), "x"), &progressiveScans);
  std::vector<uint8_t> base = DecodeRgb(art::EncodeBaselineJpeg(src, 95, "x"), &baselineScans);
  EXPECT_EQ(progressiveScans, 7);
  EXPECT_EQ(baselineScans, 1);
  auto meanError = [&](const std::vector<uint8_t> &d) {
    double e = 0;
    for (size_t i = 0; i < d.size(); ++i) e += std::abs(int(d[i]) - int(src.data[i]));
    return e / double(d.size());
  };
  // Full-resolution chroma and all bits: at least as close as 4:2:0 baseline.
  EXPECT_LT(meanError(prog), meanError(base) + 0.1);
  EXPECT_LT(meanError(prog), 2.0);
}
