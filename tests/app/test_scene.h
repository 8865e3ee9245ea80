// A scene whose behaviour each test scripts, linked in place of the intro's.
#pragma once

#include <functional>
#include <vector>

#include "app/window.h"

struct TestScene {
  std::function<int32_t(AppWindow *, KeyTable *)> init; // default: succeed
  std::function<void(int frame, double delta)> frame;   // default: nothing
  int inits = 0;
  std::vector<double> deltas; // one per SceneFrame call
  AppWindow *window = nullptr;
};

extern TestScene testScene;
