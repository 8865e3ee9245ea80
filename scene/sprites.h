// The picture cards: their records, how they move, and how they are drawn.
#pragma once

#include <array>
#include <cstdint>

#include <GL/gl.h>

// `remaining` of a card whose approach has not begun: larger than any distance
// on the screen, it tells the first approach step to measure the real one.
constexpr float approachNotStarted = 10000.0f;

struct Sprite {
  float targetX, targetY; // the point the card's centre approaches
  float scaleTarget;      // scale grows until it reaches this
  float scaleRate;        // growth of scale per second
  float approachRate;     // approach speed along the shorter axis, units per second
  float fadeRate;         // change of grey per second, in and out
  float fadeInBelow;      // grey rises only while scale is below this
  float fadeOutAbove;     // grey falls, and the card retires at 0, once scale is above this
  float x, y;             // the centre now
  float remaining;        // approach distance left on the longer axis, or approachNotStarted
  float scale;            // the card is a square of half side 10 * scale
  float grey;             // drawn with colour (grey, grey, grey)
  float phase;            // spin phase; each drawing pass adds the frame delta
  float spinRate;         // radians per unit of phase; positive turns clockwise
  uint8_t active;         // 1: revealed and live
};

// Slots 0..39 are the cards. Slots 40..99 are never made active: the drawing
// pass reads slot 40 once the end is armed and skips it, and no pass draws the
// rest. The table keeps 100 records, not the 41 the passes reach: the spare
// ones are a margin that the sprite tests hold at zero, so a write past the
// cards shows there rather than in whatever lies beyond the table. Zeroed,
// they cost a few kilobytes.
constexpr int spriteCount = 100;
constexpr int cardCount = 40;

extern std::array<Sprite, spriteCount> SpriteTable;

void InitSpriteTable();
void UpdateSprites(double frameDelta);
void DrawSprites(double frameDelta);
void DrawProjectedQuad(float centreX, float centreY, float halfWidth, float halfHeight,
                       float angleX, float angleY, float angleZ, float scale, float distance,
                       GLuint texture);
