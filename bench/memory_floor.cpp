// velmor-bench-memory-floor: the floor of the intro's memory figure. It is the
// intro's own program (its entry and shell from app/, its SDL back end, its
// loader and embedded pictures) with this file in place of the scene: the
// same window and GL context by construction, the same frame loop, and the
// same way out. Its scene loads the JPEG pictures named on the command line
// through LoadJpegTexture (decoding, then gluBuild2DMipmaps) and shows them,
// one per frame, each as one plain full-screen textured quad. No music, no
// audio, no blending, no glow: what it holds at its peak is what any program
// of ours that shows those pictures needs.
//
//   velmor-bench-memory-floor NAME...
//
// It runs until the shell is told to close (SIGINT or SIGTERM, as the intro)
// and then ends with status 0. It ends with status 1, after one line on
// standard error, when there is no display or GL context, when it is given no
// names, or when a name is not an embedded JPEG picture: a floor missing one
// of the intro's pictures would make the intro look worse than it is.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <GL/gl.h>

#include "app/scene.h"
#include "assets/jpeg_texture.h"
#include "assets/resources.h"

namespace {

std::vector<GLuint> textures;
size_t shownTexture = 0;

// The shell's entry takes no arguments (the intro has none), so the names are
// read where the kernel keeps the command line.
std::vector<std::string> PictureNames() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> words;
  std::string word;
  while (std::getline(in, word, '\0')) words.push_back(word);
  if (!words.empty()) words.erase(words.begin());
  return words;
}

} // namespace

int32_t InitScene(AppWindow *, KeyTable *) {
  std::vector<std::string> names = PictureNames();
  if (names.empty()) {
    std::fprintf(stderr, "usage: velmor-bench-memory-floor NAME...\n");
    return 0;
  }
  // Every name is checked before any is loaded: the loader ends the process
  // inside the JPEG library on a missing picture, with no word of which.
  for (const std::string &name : names)
    if (FindEmbeddedResource("JPG", name.c_str()).data == nullptr) {
      std::fprintf(stderr, "velmor-bench-memory-floor: no embedded picture \"%s\"\n", name.c_str());
      return 0;
    }
  // A window made again (the full-screen toggle) has a new context: the
  // textures of the old one went with it.
  textures.assign(names.size(), 0);
  shownTexture = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    LoadJpegTexture(&textures[i], names[i].c_str());
    // The loader leaves the slot empty when it had no memory for the picture.
    if (textures[i] == 0) {
      std::fprintf(stderr, "velmor-bench-memory-floor: cannot load the picture \"%s\"\n",
                   names[i].c_str());
      return 0;
    }
  }
  // GL's defaults do the rest: identity matrices map the quad below onto the
  // whole viewport, and a white colour modulates the texture into itself.
  glEnable(GL_TEXTURE_2D);
  return 1;
}

// One picture a frame, the next one each frame: every texture is sampled
// within as many frames as there are pictures, as in any program that shows
// them, and each frame stays one full-screen quad; drawing all of them every
// frame would paint pictures that no one sees. Both buffers are cleared, as
// the context has a depth buffer.
void SceneFrame(double) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBindTexture(GL_TEXTURE_2D, textures[shownTexture]);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-1.0f, -1.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(1.0f, -1.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(-1.0f, 1.0f);
  glEnd();
  shownTexture = (shownTexture + 1) % textures.size();
}
