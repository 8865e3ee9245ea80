#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "app/main.h"
#include "app/scene.h"
#include "assets/jpeg_texture.h"
#include "music/music.h"
#include "platform/fake/fake_platform.h"
#include "scene/composition.h"
#include "scene/scene_init.h"
#include "scene/sprites.h"
#include "scene/timeline.h"
#include "tests/scene/fake_music.h"
#include "tests/support/osmesa_context.h"

namespace {

using Rgb = std::array<double, 3>;

// A decoded picture, sampled as GL's bilinear magnification samples it.
struct Picture {
  DecodedImage *image;
  Rgb At(double u, double v) const {
    double x = u * image->imageWidth - 0.5, y = v * image->imageHeight - 0.5;
    int x0 = std::clamp(static_cast<int>(std::floor(x)), 0, image->imageWidth - 1);
    int y0 = std::clamp(static_cast<int>(std::floor(y)), 0, image->imageHeight - 1);
    int x1 = std::min(x0 + 1, image->imageWidth - 1), y1 = std::min(y0 + 1, image->imageHeight - 1);
    double fx = std::clamp(x - x0, 0.0, 1.0), fy = std::clamp(y - y0, 0.0, 1.0);
    Rgb out{};
    for (int c = 0; c < 3; ++c) {
      auto p = [&](int px, int py) {
        return image->pixels[static_cast<size_t>(py) * image->rowStride + px * 3 + c] / 255.0;
      };
      out[c] = (p(x0, y0) * (1 - fx) + p(x1, y0) * fx) * (1 - fy) +
               (p(x0, y1) * (1 - fx) + p(x1, y1) * fx) * fy;
    }
    return out;
  }
};

class FrameTest : public ::testing::Test {
protected:
  static inline std::unique_ptr<OsMesaContext> gl;
  static inline AppWindow window{};
  static inline KeyTable keys{};
  static inline Picture screen{}, film{};
  static inline GLuint corners = 0;

  static void SetUpTestSuite() {
    gl = std::make_unique<OsMesaContext>(800, 600);
    ASSERT_TRUE(gl->ok());
    FakeReset();
    window.keys = &keys;
    ASSERT_EQ(InitScene(&window, &keys), 1);
    screen.image = DecodeJpegResource("DATA_SCREEN");
    film.image = DecodeJpegResource("DATA_FILM");
    LoadJpegTexture(&corners, "FIX_CORNERS");
  }
  static void TearDownTestSuite() {
    for (Picture *p : {&screen, &film}) {
      std::free(p->image->pixels);
      std::free(p->image);
    }
    gl.reset();
  }

  void SetUp() override {
    fakeMusic = FakeMusicState{};
    SpriteTable = {};
    InitSpriteTable();
    TimelineStep = -1;
    keys.fill(0);
  }

  static Rgb Pixel(int x, int y) {
    const uint8_t *p = gl->pixel(x, y);
    return {p[0] / 255.0, p[1] / 255.0, p[2] / 255.0};
  }

  // What the three picture layers make of `base` at screen point (x, y).
  static Rgb Layers(Rgb base, int x, int y, float flicker) {
    double u = (x + 0.5) / 800.0, v = (y + 0.5) / 600.0;
    Rgb s = screen.At(u, v), f = film.At(u, v), out{};
    for (int c = 0; c < 3; ++c) {
      double d = base[c] * s[c];
      double grain = 0.2 * f[c];
      d = grain + d * (1 - grain);
      double shine = std::clamp(static_cast<double>(flicker), 0.0, 1.0) * s[c];
      out[c] = shine + d * (1 - shine);
    }
    return out;
  }

  static void ShowCard(int scale, float grey, float angle) {
    TextureTable[0] = corners;
    TimelineStep = 0;
    Sprite &s = SpriteTable[0];
    s.active = 1;
    s.scale = static_cast<float>(scale);
    s.grey = grey;
    s.phase = angle / s.spinRate;
  }
};

void ExpectNear(const Rgb &got, const Rgb &want, const char *where) {
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(got[c] * 255, want[c] * 255, 4.0) << where << " channel " << c;
}

enum Hue { Red, Green, Blue, White };

void ExpectHue(const Rgb &p, Hue hue, const char *where) {
  double r = p[0] * 255, g = p[1] * 255, b = p[2] * 255;
  switch (hue) {
  case Red:
    EXPECT_TRUE(r > g + 60 && r > b + 60) << where << ": " << r << " " << g << " " << b;
    break;
  case Green:
    EXPECT_TRUE(g > r + 60 && g > b + 60) << where << ": " << r << " " << g << " " << b;
    break;
  case Blue:
    EXPECT_TRUE(b > r + 60 && b > g + 40) << where << ": " << r << " " << g << " " << b;
    break;
  case White:
    EXPECT_TRUE(r > 120 && g > 120 && b > 120) << where << ": " << r << " " << g << " " << b;
    break;
  }
}

TEST_F(FrameTest, FrameWithoutCardsIsTheGlowingClearColourUnderThePictureLayers) {
  SceneFrame(1.0 / 60.0);
  EXPECT_FLOAT_EQ(FlickerLevel, -0.15f);
  // Fifteen glow layers with alphas adding up to 2.4 lift the clear colour 3.4 times.
  Rgb glowing = {0.0, 0.03 * 3.4, 0.06 * 3.4};
  for (auto [x, y] :
       {std::pair{400, 300}, std::pair{60, 50}, std::pair{740, 560}, std::pair{200, 450}})
    ExpectNear(Pixel(x, y), Layers(glowing, x, y, FlickerLevel), "background");
  // The vignette darkens the edges against the middle.
  EXPECT_LT(Pixel(5, 5)[2], Pixel(400, 300)[2]);
}

TEST_F(FrameTest, FlickerFollowsSpectrumBinThree) {
  fakeMusic.bin3 = 1.0f;
  SceneFrame(1.0 / 60.0);
  EXPECT_FLOAT_EQ(FlickerLevel, 0.35f);
  Rgb glowing = {0.0, 0.03 * 3.4, 0.06 * 3.4};
  ExpectNear(Pixel(400, 300), Layers(glowing, 400, 300, 0.35f), "bright flicker");
  fakeMusic.bin3 = 0.09f;
  SceneFrame(1.0 / 60.0);
  EXPECT_LE(FlickerLevel, 0.0f);
}

TEST_F(FrameTest, CardStandsUprightUnmirroredCentredAndSized) {
  ShowCard(10, 1.0f, 0.0f); // 200 units square around (400, 300)
  SceneFrame(0.0);
  ExpectHue(Pixel(315, 215), Red, "bottom-left");
  ExpectHue(Pixel(485, 215), Green, "bottom-right");
  ExpectHue(Pixel(315, 385), Blue, "top-left");
  ExpectHue(Pixel(485, 385), White, "top-right");

  // The card pass alone shows its size: 20 * scale units, centred on (400, 300).
  SetScreenProjection();
  glClear(GL_COLOR_BUFFER_BIT);
  glViewport(0, 0, 800, 600);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
  DrawSprites(0.0);
  const Rgb clear = {0.0, 8 / 255.0, 15 / 255.0};
  ExpectHue(Pixel(302, 210), Red, "just inside the left edge");
  ExpectNear(Pixel(297, 210), clear, "just outside the left edge");
  ExpectHue(Pixel(498, 210), Green, "just inside the right edge");
  ExpectNear(Pixel(502, 210), clear, "just outside the right edge");
  ExpectHue(Pixel(310, 202), Red, "just inside the bottom edge");
  ExpectNear(Pixel(310, 197), clear, "just outside the bottom edge");
  ExpectHue(Pixel(310, 398), Blue, "just inside the top edge");
  ExpectNear(Pixel(310, 402), clear, "just outside the top edge");
}

TEST_F(FrameTest, CardTurnsClockwiseBySpinTimesPhase) {
  ShowCard(10, 1.0f, static_cast<float>(M_PI / 2));
  SceneFrame(0.0);
  ExpectHue(Pixel(315, 385), Red, "bottom-left corner now top-left");
  ExpectHue(Pixel(485, 385), Blue, "top-left corner now top-right");
  ExpectHue(Pixel(485, 215), White, "top-right corner now bottom-right");
  ExpectHue(Pixel(315, 215), Green, "bottom-right corner now bottom-left");
}

TEST_F(FrameTest, DarkCardAddsNothing) {
  SceneFrame(0.0);
  Rgb without = Pixel(330, 230);
  ShowCard(10, 0.0f, 0.0f);
  SceneFrame(0.0);
  ExpectNear(Pixel(330, 230), without, "card with grey 0");
}

TEST_F(FrameTest, GlowTextureHoldsOnlyThisFramesSmallPass) {
  auto glow = [] {
    std::vector<uint8_t> texels(256 * 256 * 3);
    glBindTexture(GL_TEXTURE_2D, GlowTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return texels;
  };
  ShowCard(10, 1.0f, 0.0f);
  SceneFrame(0.0);
  std::vector<uint8_t> with = glow();
  // The card, reduced by 256/800, covers the middle of the small pass.
  const uint8_t *bottomLeft = &with[(static_cast<size_t>(128 - 20) * 256 + (128 - 20)) * 3];
  EXPECT_GT(bottomLeft[0], 200);
  SpriteTable[0].active = 0;
  SceneFrame(0.0);
  std::vector<uint8_t> without = glow();
  for (size_t i = 0; i < without.size(); i += 3) {
    ASSERT_EQ(without[i], 0) << i;
    ASSERT_NEAR(without[i + 1], 8, 1) << i;
    ASSERT_NEAR(without[i + 2], 15, 1) << i;
  }
}

TEST_F(FrameTest, MusicStartsOnTheFirstFrameAndIsReadEveryFrame) {
  MusicStarted = 0;
  MusicEnabled = 1;
  fakeMusic.position = 5 | (77u << 16);
  SceneFrame(0.0);
  SceneFrame(0.0);
  EXPECT_EQ(std::count(fakeMusic.calls.begin(), fakeMusic.calls.end(), "ChannelPlay(65536,1)"), 1);
  EXPECT_EQ(std::count(fakeMusic.calls.begin(), fakeMusic.calls.end(), "ChannelGetData"), 2);
  EXPECT_EQ(MusicPosition.order, 5u);
  EXPECT_EQ(MusicPosition.row, 77u);
}

} // namespace
