#include "tests/app/test_scene.h"

#include "app/scene.h"

TestScene testScene;

int32_t InitScene(AppWindow *window, KeyTable *keys) {
  ++testScene.inits;
  testScene.window = window;
  return testScene.init ? testScene.init(window, keys) : 1;
}

void SceneFrame(double delta) {
  testScene.deltas.push_back(delta);
  if (testScene.frame) testScene.frame(static_cast<int>(testScene.deltas.size()), delta);
}
