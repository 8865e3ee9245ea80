#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <tuple>
#include <vector>

#include "scene/sprites.h"
#include "scene/timeline.h"
#include "tests/support/osmesa_context.h"

namespace {

struct Expected {
  float scale, scaleRate, fadeRate, fadeOutAbove, phase, spinRate;
};

// The value each card starts from, written out card by card.
Expected ExpectedFor(int i) {
  Expected e{};
  if (i <= 6)
    e = {5, 15, 0.1f, 45.1f, -0.9f, 0.2f};
  else if (i <= 29)
    e = {10, 11, 0.1f, 65.1f, -5.6f, 0.14f};
  else if (i <= 36)
    e = {1, 15, 0.1f, 70.1f, -5.6f, -0.2f};
  else
    e = {1, 2, 0.6f, 33.1f, -5.6f, 0.02f};
  const float phases[6] = {-5, -2, -5, -4.5f, -2, -3};
  if (i < 6) e.phase = phases[i];
  if (i == 0) e.scaleRate = 10, e.fadeOutAbove = 35.1f;
  if (i == 28) e.spinRate = 1;
  if (i == 29) e.spinRate = 2, e.fadeOutAbove = 50.1f;
  if (i == 31 || i == 33 || i == 35) e.spinRate = 0.2f;
  return e;
}

class SpriteTest : public ::testing::Test {
protected:
  void SetUp() override {
    SpriteTable = {};
    InitSpriteTable();
    TimelineStep = -1;
  }
};

TEST_F(SpriteTest, TableHoldsEachGroupsValuesAndExceptions) {
  for (int i = 0; i < cardCount; ++i) {
    const Sprite &s = SpriteTable[i];
    Expected e = ExpectedFor(i);
    EXPECT_EQ(s.targetX, 400.0f);
    EXPECT_EQ(s.x, 400.0f);
    EXPECT_EQ(s.targetY, 300.0f);
    EXPECT_EQ(s.y, 300.0f);
    EXPECT_EQ(s.remaining, approachNotStarted);
    EXPECT_EQ(s.scaleTarget, 100.0f);
    EXPECT_EQ(s.approachRate, 50.0f);
    EXPECT_EQ(s.fadeInBelow, 30.0f);
    EXPECT_EQ(s.active, 0);
    EXPECT_EQ(s.grey, 0.0f);
    EXPECT_EQ(s.scale, e.scale) << i;
    EXPECT_EQ(s.scaleRate, e.scaleRate) << i;
    EXPECT_EQ(s.fadeRate, e.fadeRate) << i;
    EXPECT_EQ(s.fadeOutAbove, e.fadeOutAbove) << i;
    EXPECT_EQ(s.phase, e.phase) << i;
    EXPECT_EQ(s.spinRate, e.spinRate) << i;
  }
  for (int i = cardCount; i < spriteCount; ++i) {
    const Sprite &s = SpriteTable[i];
    EXPECT_EQ(s.scale, 0.0f);
    EXPECT_EQ(s.remaining, 0.0f);
    EXPECT_EQ(s.active, 0);
  }
}

TEST_F(SpriteTest, SecondInitialisationMakesCardsDormantButKeepsTheirGrey) {
  SpriteTable[3].active = 1;
  SpriteTable[3].grey = 0.12f;
  SpriteTable[3].scale = 40;
  InitSpriteTable();
  EXPECT_EQ(SpriteTable[3].active, 0);
  EXPECT_EQ(SpriteTable[3].scale, 5.0f);
  EXPECT_EQ(SpriteTable[3].grey, 0.12f);
}

struct Life {
  int first, last;
  float brightest, fadeStart, retired, scaleAtRetirement;
};

// How long each group lives, in seconds after its first motion frame.
constexpr std::array<Life, 6> lives = {{
    {0, 0, 0.25f, 3.0f, 5.5f, 60.0f},
    {1, 6, 0.167f, 2.7f, 4.3f, 70.0f},
    {7, 28, 0.18f, 5.0f, 6.8f, 85.0f},
    {29, 29, 0.18f, 3.6f, 5.5f, 70.0f},
    {30, 36, 0.19f, 4.6f, 6.5f, 99.0f},
    {37, 39, 1.0f, 16.05f, 17.7f, 36.0f},
}};

class Lifetimes : public SpriteTest, public ::testing::WithParamInterface<double> {};

TEST_P(Lifetimes, EveryGroupLivesAsLongAsItsValuesSay) {
  const double dt = GetParam();
  for (int i = 0; i < cardCount; ++i) SpriteTable[i].active = 1;
  std::array<float, cardCount> brightest{}, fadeStart{}, retired{}, scaleAtRetirement{};
  std::array<float, cardCount> previousGrey{};
  fadeStart.fill(-1);
  retired.fill(-1);
  for (int frame = 1; frame * dt < 20.0; ++frame) {
    UpdateSprites(dt);
    double t = frame * dt;
    for (int i = 0; i < cardCount; ++i) {
      const Sprite &s = SpriteTable[i];
      brightest[i] = std::max(brightest[i], s.grey);
      if (fadeStart[i] < 0 && s.grey < previousGrey[i]) fadeStart[i] = static_cast<float>(t - dt);
      if (retired[i] < 0 && s.active == 0) {
        retired[i] = static_cast<float>(t);
        scaleAtRetirement[i] = s.scale;
      }
      previousGrey[i] = s.grey;
    }
  }
  for (const Life &life : lives) {
    for (int i = life.first; i <= life.last; ++i) {
      const Sprite &s = SpriteTable[i];
      // The table's figures are rounded; each may also be off by one frame.
      double slack = dt + 0.06;
      EXPECT_NEAR(brightest[i], life.brightest, s.fadeRate * dt + 0.01) << i;
      EXPECT_NEAR(fadeStart[i], life.fadeStart, slack) << i;
      EXPECT_NEAR(retired[i], life.retired, slack) << i;
      EXPECT_NEAR(scaleAtRetirement[i], life.scaleAtRetirement, s.scaleRate * dt + 1.0) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FrameRates, Lifetimes, ::testing::Values(1.0 / 60.0, 1.0 / 7.0),
                         [](const auto &info) { return info.param > 0.1 ? "7fps" : "60fps"; });

TEST_F(SpriteTest, FirstUpdateEndsTheApproachWithoutMovingTheCentre) {
  Sprite &s = SpriteTable[7];
  s.active = 1;
  UpdateSprites(0.1);
  EXPECT_FLOAT_EQ(s.remaining, -5.0f); // not started -> 0 -> -V * dt by the tie case
  EXPECT_EQ(s.x, 400.0f);
  EXPECT_EQ(s.y, 300.0f);
  UpdateSprites(0.1);
  EXPECT_FLOAT_EQ(s.remaining, -5.0f);
}

TEST_F(SpriteTest, ZeroDeltaChangesNothingButADarkLargeCardStillRetires) {
  Sprite &live = SpriteTable[8];
  live.active = 1;
  live.grey = 0.5f;
  Sprite before = live;
  UpdateSprites(0.0);
  EXPECT_EQ(live.scale, before.scale);
  EXPECT_EQ(live.grey, before.grey);
  EXPECT_EQ(live.active, 1);

  Sprite &dark = SpriteTable[9];
  dark.active = 1;
  dark.grey = 0.0f;
  dark.scale = 70.0f; // above its 65.1
  UpdateSprites(0.0);
  EXPECT_EQ(dark.active, 0);
}

TEST_F(SpriteTest, ExactThresholdsStopGrowthFadesAndRetirement) {
  Sprite &atFadeOut = SpriteTable[10];
  atFadeOut.active = 1;
  atFadeOut.scale = atFadeOut.fadeOutAbove;
  atFadeOut.scaleRate = 0; // hold the scale on the threshold
  atFadeOut.grey = 0.0f;
  UpdateSprites(0.1);
  EXPECT_EQ(atFadeOut.active, 1); // equal is not above: no retirement
  EXPECT_EQ(atFadeOut.grey, 0.0f);

  Sprite &atFadeIn = SpriteTable[11];
  atFadeIn.active = 1;
  atFadeIn.scale = 30.0f;
  atFadeIn.scaleRate = 0;
  UpdateSprites(0.1);
  EXPECT_EQ(atFadeIn.grey, 0.0f);

  Sprite &atTarget = SpriteTable[12];
  atTarget.active = 1;
  atTarget.scale = 100.0f;
  UpdateSprites(0.1);
  EXPECT_EQ(atTarget.scale, 100.0f);

  Sprite &white = SpriteTable[13];
  white.active = 1;
  white.grey = 1.0f;
  UpdateSprites(0.1);
  EXPECT_EQ(white.grey, 1.0f);
}

TEST_F(SpriteTest, ALongFrameSkipsTheFadeInAndCanRetireAtOnce) {
  Sprite &s = SpriteTable[1]; // scale 5, rate 15, fade-out above 45.1
  s.active = 1;
  UpdateSprites(3.0); // scale 50: past both thresholds in one step
  EXPECT_FLOAT_EQ(s.scale, 50.0f);
  EXPECT_EQ(s.grey, 0.0f);
  EXPECT_EQ(s.active, 0);
}

TEST_F(SpriteTest, NegativeDeltaRunsTheRulesBackwards) {
  Sprite &s = SpriteTable[2];
  s.active = 1;
  s.grey = 0.5f;
  UpdateSprites(-0.5);
  EXPECT_FLOAT_EQ(s.scale, 5.0f - 7.5f);
  EXPECT_FLOAT_EQ(s.grey, 0.45f);
}

TEST_F(SpriteTest, RecordsNotExactlyActiveAreLeftAlone) {
  SpriteTable[5].active = 2;
  Sprite before = SpriteTable[5];
  UpdateSprites(0.5);
  EXPECT_EQ(SpriteTable[5].scale, before.scale);
  EXPECT_EQ(SpriteTable[5].remaining, before.remaining);
}

TEST_F(SpriteTest, ApproachAlongOneAxisTakesFiniteStepsAndEnds) {
  for (auto [tx, ty] : {std::pair{500.0f, 300.0f}, std::pair{400.0f, 150.0f}}) {
    Sprite &s = SpriteTable[20];
    InitSpriteTable();
    s.active = 1;
    s.targetX = tx;
    s.targetY = ty;
    int frames = 0;
    while (s.remaining > 0.0f && frames < 1000) {
      UpdateSprites(0.1);
      ASSERT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.remaining));
      ++frames;
    }
    EXPECT_LE(s.remaining, 0.0f);
    EXPECT_LE(frames, 40); // 100 or 150 units at 5 units a frame
    EXPECT_NEAR(s.x, tx, 5.0f);
    EXPECT_NEAR(s.y, ty, 5.0f);
  }
}

TEST_F(SpriteTest, DiagonalApproachKeepsTheCentreOnTheLineToItsTarget) {
  Sprite &s = SpriteTable[21];
  s.active = 1;
  s.x = 100.0f, s.y = 200.0f; // target (400, 300): three units across for one up
  UpdateSprites(0.1);
  EXPECT_FLOAT_EQ(s.y, 205.0f);
  EXPECT_FLOAT_EQ(s.x, 115.0f);
  EXPECT_FLOAT_EQ(s.remaining, 285.0f);
}

// ---- Drawing ------------------------------------------------------------

struct FeedbackVertex {
  float x, y, s, t;
  bool operator<(const FeedbackVertex &o) const {
    return std::tie(x, y, s, t) < std::tie(o.x, o.y, o.s, o.t);
  }
};

// Runs `draw` in GL feedback mode and returns the distinct vertices it made,
// as window coordinates with their texture coordinates.
template <typename Draw> std::set<FeedbackVertex> Feedback(Draw draw) {
  std::vector<GLfloat> buffer(4096);
  glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
  glRenderMode(GL_FEEDBACK);
  draw();
  GLint n = glRenderMode(GL_RENDER);
  std::set<FeedbackVertex> out;
  // Each vertex: x, y, z, r, g, b, a, s, t, r, q.
  for (GLint i = 0; i < n;) {
    GLint token = static_cast<GLint>(buffer[i++]);
    if (token != GL_POLYGON_TOKEN) break;
    GLint count = static_cast<GLint>(buffer[i++]);
    for (GLint v = 0; v < count; ++v, i += 11) {
      float w = buffer[i + 10];
      out.insert({std::round(buffer[i] * 100) / 100, std::round(buffer[i + 1] * 100) / 100,
                  buffer[i + 7] / w, buffer[i + 8] / w});
    }
  }
  return out;
}

class DrawingTest : public SpriteTest {
protected:
  OsMesaContext gl{800, 600};
  void SetUp() override {
    SpriteTest::SetUp();
    ASSERT_TRUE(gl.ok());
    glViewport(0, 0, 800, 600);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 800, 0, 600, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }
};

TEST_F(DrawingTest, QuadAtRestIsAnUprightSquareWithTextureAlongItsAxes) {
  auto vertices = Feedback([] { DrawProjectedQuad(400, 300, 10, 10, 0, 0, 0, 1, 200, 0); });
  std::set<FeedbackVertex> expected = {
      {390, 290, 0, 0}, {410, 290, 1, 0}, {390, 310, 0, 1}, {410, 310, 1, 1}};
  EXPECT_EQ(vertices.size(), 4u);
  for (const auto &v : expected) EXPECT_EQ(vertices.count(v), 1u) << v.x << "," << v.y;
}

TEST_F(DrawingTest, PositiveAngleTurnsTheQuadClockwise) {
  auto vertices = Feedback(
      [] { DrawProjectedQuad(400, 300, 10, 10, 0, 0, static_cast<float>(M_PI / 2), 1, 200, 0); });
  // Corner 1 (texture 1, 0) was at (+10, -10); a quarter turn clockwise takes it to (-10, -10).
  std::set<FeedbackVertex> expected = {
      {390, 310, 0, 0}, {390, 290, 1, 0}, {410, 310, 0, 1}, {410, 290, 1, 1}};
  EXPECT_EQ(vertices.size(), 4u);
  for (const auto &v : expected) EXPECT_EQ(vertices.count(v), 1u) << v.x << "," << v.y;
}

TEST_F(DrawingTest, PassDrawsRevealedLiveCardsAndAdvancesOnlyTheirSpin) {
  SpriteTable[0].active = 1;
  SpriteTable[1].active = 0; // retired
  SpriteTable[2].active = 1; // beyond the step: not drawn yet
  SpriteTable[0].scale = 2;
  TimelineStep = 1;
  float phase0 = SpriteTable[0].phase, phase1 = SpriteTable[1].phase, phase2 = SpriteTable[2].phase;
  auto vertices = Feedback([] { DrawSprites(0.25); });
  EXPECT_FLOAT_EQ(SpriteTable[0].phase, phase0 + 0.25f);
  EXPECT_EQ(SpriteTable[1].phase, phase1);
  EXPECT_EQ(SpriteTable[2].phase, phase2);
  EXPECT_EQ(vertices.size(), 4u); // one card
  TimelineStep = -1;
  EXPECT_TRUE(Feedback([] { DrawSprites(0.25); }).empty());
  EXPECT_FLOAT_EQ(SpriteTable[0].phase, phase0 + 0.25f);
}

TEST_F(DrawingTest, AfterTheLastStepTheDormantFortiethRecordIsSkipped) {
  TimelineStep = 40;
  EXPECT_TRUE(Feedback([] { DrawSprites(0.1); }).empty());
}

} // namespace
