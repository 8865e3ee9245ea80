#include "scene/scene_init.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/scene.h"
#include "assets/asset_alloc.h"
#include "assets/gift_pack.h"
#include "assets/jpeg_texture.h"
#include "music/music.h"
#include "music/player_core.h"
#include "scene/composition.h"
#include "scene/sprites.h"

AppWindow *sceneWindow = nullptr;
KeyTable *sceneKeys = nullptr;
std::array<GLuint, 40> TextureTable{};
GLuint ParticleTexture = 0;
GLuint ScreenTexture = 0;
GLuint FilmTexture = 0;
TgaImage FontImage{};
GLuint GlowTexture = 0;

namespace {

// The audio is set up once per run: a window re-created by the full-screen
// toggle finds the module already playing and leaves it so, which keeps the
// music and the cards going across the toggle.
bool audioSetUp = false;

void StartMusic() {
  if (audioSetUp) return;
  audioSetUp = true;
  if (!BASS_Init(1, audioRate, 0, HWND_DESKTOP, nullptr)) {
    MusicEnabled = 0;
    BASS_Stop();
    // Ending silently would look like success; say what is missing.
    MessageBoxA(HWND_DESKTOP, "Cannot open the audio device.", "Error", MB_OK | MB_ICONEXCLAMATION);
    exitStatus = 1;
    RequestQuit(sceneWindow);
    return;
  }
  if (giftPack != nullptr && giftPack->module != nullptr)
    MusicHandle =
        BASS_MusicLoad(TRUE, giftPack->module, 0, giftPack->moduleSize, BASS_MUSIC_LOOP, 0);
  else
    MusicHandle = BASS_MusicLoad(FALSE, "torva_velmor2.it", 0, 0, BASS_MUSIC_LOOP, 0);
  // Without its music the show still runs (the background alone, until the
  // viewer ends it), but it did not play: the player has said why, and the
  // exit status must not claim otherwise.
  if (MusicHandle == 0) exitStatus = 1;
  BASS_Start();
}

// The one line InitScene leaves on standard error when it gives up.
int32_t CannotLoad(const char *what, const char *name, const char *type, const char *why) {
  std::fprintf(stderr, "velmor: cannot load the %s \"%s\" (%s): %s\n", what, name, type, why);
  return 0;
}

int32_t LoadPicture(GLuint *slot, const char *name) {
  if (LoadJpegTexture(slot, name)) return 1;
  return CannotLoad("picture", name, "JPG", "the loader refused it");
}

} // namespace

int32_t CreateGlowTexture() {
  // Zeroed beyond what the upload reads, glowSize * glowSize * 4 bytes.
  static_assert(glowSize * glowSize * 4 <= 1048576);
  auto *block = static_cast<unsigned char *>(AssetAlloc(4194304));
  if (block == nullptr) return 0;
  std::memset(block, 0, 1048576);
  glGenTextures(1, &GlowTexture);
  glBindTexture(GL_TEXTURE_2D, GlowTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, glowSize, glowSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, block);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  std::free(block);
  return 1;
}

int32_t InitScene(AppWindow *window, KeyTable *keys) {
  sceneWindow = window;
  sceneKeys = keys;
  // A gift's pack is checked whole before anything of the show is made from
  // it: a damaged one ends the run here, with its line, never half-shown.
  if (!OpenGiftPack()) return 0;

  glClearColor(0.0f, 0.03f, 0.06f, 0.5f);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glShadeModel(GL_SMOOTH);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glEnable(GL_TEXTURE_2D);

  // The JPEG loader does not return 0: an undecodable picture ends the
  // process inside it, and one it has no memory for is shown in a box and
  // left out. Its result is checked all the same, so that every 0 from here
  // comes with its line; in practice the font and the glow texture fail here.
  if (!LoadPicture(&ParticleTexture, "DATA_PARTICLE")) return 0;
  if (!LoadPicture(&ScreenTexture, "DATA_screen")) return 0;
  if (!LoadPicture(&FilmTexture, "DATA_FILM")) return 0;
  for (size_t i = 0; i < cardPictures.size(); ++i)
    if (!LoadPicture(&TextureTable[i], cardPictures[i])) return 0;
  // A re-created window loads the font again into the same record; the pixel
  // copy of the earlier load would otherwise be lost with every toggle.
  std::free(FontImage.pixels);
  FontImage.pixels = nullptr;
  if (!LoadTgaTexture(&FontImage, "DATA_FONT2"))
    return CannotLoad("font", "DATA_FONT2", "TGA", TgaLoadFailure());
  if (!CreateGlowTexture()) {
    std::fprintf(stderr, "velmor: cannot create the glow texture: no memory for its 4 MiB block\n");
    return 0;
  }
  InitSpriteTable();
  StartMusic();
  return 1;
}
