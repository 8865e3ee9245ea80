// Scene initialisation. For now the scene only sets its background colour;
// pictures, cards and music join it as they are built.
#include <GL/gl.h>

#include "scene/scene.h"

namespace {
AppWindow *sceneWindow = nullptr;
KeyTable *sceneKeys = nullptr;
} // namespace

int32_t InitScene(AppWindow *window, KeyTable *keys) {
  sceneWindow = window;
  sceneKeys = keys;
  glClearColor(0.0f, 0.03f, 0.06f, 0.5f);
  return 1;
}
