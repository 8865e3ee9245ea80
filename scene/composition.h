// The road of one frame and the drawing operations it is made of.
#pragma once

#include <GL/gl.h>

extern float FlickerLevel; // grey of the last overlay, from the music's spectrum

void SetScreenProjection();
void CopyFrameToTexture(GLuint texture);
void DrawRadialGlow(int layers, float insetStep, float firstAlpha);
void DrawScreenQuad(float x, float y, float width, float height);
