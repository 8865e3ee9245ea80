// The road of one frame and the drawing operations it is made of.
#pragma once

#include <GL/gl.h>

#include "app/show.h"

// The screen in the projection SetScreenProjection sets: one unit a pixel.
constexpr float screenRight = static_cast<float>(screenWidth);
constexpr float screenTop = static_cast<float>(screenHeight);
constexpr int glowSize = 256; // the glow's texture is glowSize x glowSize

extern float FlickerLevel; // grey of the last overlay, from the music's spectrum

void SetScreenProjection();
void CopyFrameToTexture(GLuint texture);
void DrawRadialGlow(int layers, float insetStep, float firstAlpha);
void DrawScreenQuad(float x, float y, float width, float height);
