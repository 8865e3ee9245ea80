// Everything the scene needs before its first frame: its records of the
// shell, the textures, the glow's render target, the cards and the music.
#pragma once

#include <array>
#include <cstdint>

#include <GL/gl.h>

#include "app/window.h"
#include "assets/tga_texture.h"
#include "scene/card_pictures.h" // cardPictures: the card pictures in TextureTable order

extern AppWindow *sceneWindow; // passed to RequestQuit whenever the scene ends the program
extern KeyTable *sceneKeys;    // the timeline reads Escape here
extern std::array<GLuint, 40> TextureTable; // card i shows TextureTable[i]
// Loaded like every picture but never drawn: the show's records hold it as
// designed, and a 32x32 texture costs next to nothing.
extern GLuint ParticleTexture;
extern GLuint ScreenTexture;
extern GLuint FilmTexture;
// The glyph sheet. No frame draws text, and the pixel copy (`pixels`) is kept
// after the upload without ever being read: the show's records hold both as
// designed, for 256 KiB, and a sheet that will not load still ends the scene.
extern TgaImage FontImage;
extern GLuint GlowTexture; // the small pass copied here each frame, drawn back as the glow

// 1 when the scene is ready; 0, with one line on standard error naming what
// could not be loaded and why, when the font or the glow texture failed.
int32_t InitScene(AppWindow *window, KeyTable *keys);
// Makes GlowTexture a blank 256x256 RGBA texture; 0, with no texture made,
// when the block it is cleared from could not be allocated.
int32_t CreateGlowTexture();
