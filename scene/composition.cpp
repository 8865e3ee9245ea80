// The road of one frame.
#include <GL/gl.h>

#include "scene/scene.h"

void SceneFrame(double) {
  glViewport(0, 0, 800, 600);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
