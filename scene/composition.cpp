#include "scene/composition.h"

#include <cmath>

#include <GL/glu.h>

#include "app/probe.h"
#include "app/scene.h"
#include "app/show.h"
#include "music/music.h"
#include "scene/scene_init.h"
#include "scene/sprites.h"
#include "scene/timeline.h"

float FlickerLevel = 0.0f;

namespace {

void ReadMusic() {
  if (!MusicEnabled) return;
  if (!MusicStarted) {
    BASS_ChannelPlay(MusicHandle, TRUE);
    MusicStarted = 1;
  }
  BASS_ChannelGetData(MusicHandle, SpectrumBuffer.data(), BASS_DATA_FFT512);
  DWORD position = BASS_MusicGetOrderPosition(MusicHandle);
  MusicPosition.order = position & 0xFFFF;
  MusicPosition.row = (position >> 16) & 0xFFFF;
}

} // namespace

void SceneFrame(double frameDelta) {
  // Lets the live tests tell whether any frame ran.
  static bool first = true;
  if (first) ProbeLine("first frame");
  first = false;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  ReadMusic();
  SetScreenProjection();

  // Cards: result = source + destination * (1 - source), per channel.
  glDisable(GL_BLEND);
  glColor3f(1.0f, 1.0f, 1.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
  UpdateSprites(frameDelta);

  // A small pass that only feeds the glow, then the pass people see.
  glViewport(0, 0, glowSize, glowSize);
  DrawSprites(frameDelta);
  CopyFrameToTexture(GlowTexture);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glViewport(0, 0, screenWidth, screenHeight);
  DrawSprites(frameDelta);

  glBindTexture(GL_TEXTURE_2D, GlowTexture);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  DrawRadialGlow(15, 0.02f, 0.3f);

  // The vignette, multiplied over everything.
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_DST_COLOR, GL_ZERO);
  glColor3f(1.0f, 1.0f, 1.0f);
  glBindTexture(GL_TEXTURE_2D, ScreenTexture);
  DrawScreenQuad(0.0f, 0.0f, screenRight, screenTop);

  // Film grain at a fifth of its brightness.
  glColor3f(0.2f, 0.2f, 0.2f);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
  glBindTexture(GL_TEXTURE_2D, FilmTexture);
  DrawScreenQuad(0.0f, 0.0f, screenRight, screenTop);

  // The vignette again, as bright as the music around 258 Hz.
  FlickerLevel =
      static_cast<float>((std::sqrt(static_cast<double>(SpectrumBuffer[3])) - 0.3f) * 0.5);
  glColor3f(FlickerLevel, FlickerLevel, FlickerLevel);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
  glBindTexture(GL_TEXTURE_2D, ScreenTexture);
  DrawScreenQuad(0.0f, 0.0f, screenRight, screenTop);

  RunTimeline();
}

void SetScreenProjection() {
  glDisable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(0.0, screenRight, 0.0, screenTop);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void CopyFrameToTexture(GLuint texture) {
  glColor3f(1.0f, 1.0f, 1.0f);
  glBindTexture(GL_TEXTURE_2D, texture);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, glowSize, glowSize, 0);
}

void DrawRadialGlow(int layers, float insetStep, float firstAlpha) {
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glMatrixMode(GL_MODELVIEW);
  float decrement = layers > 0 ? firstAlpha / static_cast<float>(layers) : 0.0f;
  float inset = 0.0f;
  float alpha = firstAlpha;
  // Each layer samples a smaller centre of the texture over the whole screen,
  // so bright cards smear outwards from the middle.
  glBegin(GL_QUADS);
  for (int i = 0; i < layers; ++i) {
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    glTexCoord2f(inset, inset);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(inset, 1.0f - inset);
    glVertex2f(0.0f, screenTop);
    glTexCoord2f(1.0f - inset, 1.0f - inset);
    glVertex2f(screenRight, screenTop);
    glTexCoord2f(1.0f - inset, inset);
    glVertex2f(screenRight, 0.0f);
    inset += insetStep;
    alpha -= decrement;
  }
  glEnd();
}

void DrawScreenQuad(float x, float y, float width, float height) {
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(x, y);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(x + width, y);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(x + width, y + height);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(x, y + height);
  glEnd();
}
