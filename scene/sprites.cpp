#include "scene/sprites.h"

#include <cmath>

#include "scene/scene_init.h"
#include "scene/timeline.h"

std::array<Sprite, spriteCount> SpriteTable;

namespace {

// The values every card starts from, by group, then the cards that differ.
struct GroupValues {
  int first, last; // sprite numbers, inclusive
  float scale, scaleRate, fadeRate, fadeOutAbove, phase, spinRate;
};

constexpr std::array<GroupValues, 4> groups = {{
    {0, 6, 5.0f, 15.0f, 0.1f, 45.1f, -0.9f, 0.2f},    // the dedication
    {7, 29, 10.0f, 11.0f, 0.1f, 65.1f, -5.6f, 0.14f}, // the pictures
    {30, 36, 1.0f, 15.0f, 0.1f, 70.1f, -5.6f, -0.2f}, // the second family of pictures
    {37, 39, 1.0f, 2.0f, 0.6f, 33.1f, -5.6f, 0.02f},  // wishes, greetings, credits
}};

enum class Field { ScaleRate, FadeOutAbove, Phase, SpinRate };

struct Exception {
  int sprite;
  Field field;
  float value;
};

// Written after their group's values, in this order.
constexpr std::array<Exception, 14> exceptions = {{
    {0, Field::ScaleRate, 10.0f},
    {0, Field::FadeOutAbove, 35.1f},
    {0, Field::Phase, -5.0f},
    {1, Field::Phase, -2.0f},
    {2, Field::Phase, -5.0f},
    {3, Field::Phase, -4.5f},
    {4, Field::Phase, -2.0f},
    {5, Field::Phase, -3.0f},
    {28, Field::SpinRate, 1.0f},
    {29, Field::SpinRate, 2.0f},
    {29, Field::FadeOutAbove, 50.1f},
    {31, Field::SpinRate, 0.2f},
    {33, Field::SpinRate, 0.2f},
    {35, Field::SpinRate, 0.2f},
}};

float &FieldOf(Sprite *s, Field f) {
  switch (f) {
  case Field::ScaleRate: return s->scaleRate;
  case Field::FadeOutAbove: return s->fadeOutAbove;
  case Field::Phase: return s->phase;
  case Field::SpinRate: break;
  }
  return s->spinRate;
}

void ApplyExceptions(int first, int last) {
  for (const Exception &e : exceptions)
    if (e.sprite >= first && e.sprite <= last) FieldOf(&SpriteTable[e.sprite], e.field) = e.value;
}

void Approach(Sprite *s, double dt) {
  if (s->remaining <= 0.0f) return;
  double v = s->approachRate;
  int sx = s->x >= s->targetX ? -1 : 1;
  int sy = s->y >= s->targetY ? -1 : 1;
  double dx = std::fabs(static_cast<double>(s->x) - s->targetX);
  double dy = std::fabs(static_cast<double>(s->y) - s->targetY);
  if (s->remaining == approachNotStarted) s->remaining = static_cast<float>(dx > dy ? dx : dy);
  double stepX, stepY;
  if (dx > dy) {
    // On a line parallel to an axis the ratio has no divisor; the centre
    // then moves along that axis alone, at the approach speed.
    stepX = dy > 0.0 ? dx / dy * dt * v : v * dt;
    stepY = v * dt;
    s->remaining = static_cast<float>(s->remaining - stepX);
  } else if (dx < dy) {
    stepX = v * dt;
    stepY = dx > 0.0 ? dy / dx * dt * v : v * dt;
    s->remaining = static_cast<float>(s->remaining - stepY);
  } else {
    stepX = stepY = v * dt;
    s->remaining = static_cast<float>(s->remaining - v * dt);
  }
  if (dx > 0.0) s->x = static_cast<float>(s->x + sx * stepX);
  if (dy > 0.0) s->y = static_cast<float>(s->y + sy * stepY);
}

} // namespace

void InitSpriteTable() {
  for (const GroupValues &g : groups) {
    for (int i = g.first; i <= g.last; ++i) {
      Sprite &s = SpriteTable[i];
      s.targetX = s.x = 400.0f;
      s.targetY = s.y = 300.0f;
      s.remaining = approachNotStarted;
      s.scaleTarget = 100.0f;
      s.approachRate = 50.0f;
      s.fadeInBelow = 30.0f;
      s.active = 0;
      s.scale = g.scale;
      s.scaleRate = g.scaleRate;
      s.fadeRate = g.fadeRate;
      s.fadeOutAbove = g.fadeOutAbove;
      s.phase = g.phase;
      s.spinRate = g.spinRate;
    }
    ApplyExceptions(g.first, g.last);
  }
}

void UpdateSprites(double frameDelta) {
  for (Sprite &s : SpriteTable) {
    if (s.active != 1) continue;
    Approach(&s, frameDelta);
    if (s.scale < s.scaleTarget) s.scale = static_cast<float>(s.scale + s.scaleRate * frameDelta);
    if (s.grey < 1.0f && s.scale < s.fadeInBelow)
      s.grey = static_cast<float>(s.grey + s.fadeRate * frameDelta);
    if (s.grey > 0.0f && s.scale > s.fadeOutAbove)
      s.grey = static_cast<float>(s.grey - s.fadeRate * frameDelta);
    if (s.grey <= 0.0f && s.scale > s.fadeOutAbove) s.active = 0;
  }
}

void DrawSprites(double frameDelta) {
  for (int i = 0; i <= TimelineStep; ++i) {
    Sprite &s = SpriteTable[i];
    if (s.active != 1) continue;
    s.phase = static_cast<float>(s.phase + frameDelta);
    glColor3f(s.grey, s.grey, s.grey);
    DrawProjectedQuad(s.x, s.y, 10.0f, 10.0f, 0.0f, 0.0f, s.spinRate * s.phase, s.scale, 200.0f,
                      TextureTable[i]);
  }
}

void DrawProjectedQuad(float centreX, float centreY, float halfWidth, float halfHeight,
                       float angleX, float angleY, float angleZ, float scale, float distance,
                       GLuint texture) {
  const double cx = std::cos(static_cast<double>(angleX)),
               sx = std::sin(static_cast<double>(angleX));
  const double cy = std::cos(static_cast<double>(angleY)),
               sy = std::sin(static_cast<double>(angleY));
  const double cz = std::cos(static_cast<double>(angleZ)),
               sz = std::sin(static_cast<double>(angleZ));
  const float cornerX[4] = {-halfWidth, halfWidth, halfWidth, -halfWidth};
  const float cornerY[4] = {-halfHeight, -halfHeight, halfHeight, halfHeight};
  float screenX[4], screenY[4];
  for (int c = 0; c < 4; ++c) {
    double x1 = cornerX[c] * cy;
    double z1 = cornerX[c] * sy;
    float x2 = static_cast<float>(x1 * cz + cornerY[c] * sz);
    double y2 = cornerY[c] * cz - x1 * sz;
    float y3 = static_cast<float>(y2 * cx + z1 * sx);
    float z3 = static_cast<float>(z1 * cx - y2 * sx);
    double depth = static_cast<double>(z3) + distance;
    screenX[c] = static_cast<float>(static_cast<double>(x2) * distance / depth * scale + centreX);
    screenY[c] = static_cast<float>(static_cast<double>(y3) * distance / depth * scale + centreY);
  }
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glBegin(GL_TRIANGLE_STRIP);
  // Corners 0, 1, 3, 2: s along the card's x axis, t along its y axis.
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(screenX[0], screenY[0]);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(screenX[1], screenY[1]);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(screenX[3], screenY[3]);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(screenX[2], screenY[2]);
  glEnd();
}
