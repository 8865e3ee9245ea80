#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main.h"
#include "app/window.h"
#include "platform/core/backend.h"
#include "platform/fake/fake_platform.h"
#include "tests/app/test_scene.h"

// A registered class and a window record filled in as the entry point fills it.
class ShellTest : public ::testing::Test {
protected:
  AppInfo app{};
  KeyTable keys{};
  AppWindow window{};

  void SetUp() override {
    FakeReset();
    testScene = TestScene{};
    keepRunning = 1;
    fullScreenRequest = 1;
    lastClockMs = 0.0;
    app.instance = GetModuleHandleA(nullptr);
    app.className = "OpenGL";
    window.keys = &keys;
    window.app = &app;
    window.title = "Velmor for Torva";
    window.width = 800;
    window.height = 600;
    window.colorBits = 32;
    window.fullScreen = 1;
    ASSERT_EQ(RegisterWindowClass(&app), 1);
  }

  void TearDown() override {
    DestroyAppWindow(&window);
    UnregisterClassA(app.className, app.instance);
  }

  // The recorded calls from the first `from` onwards, restricted to `names`.
  static std::vector<std::string> CallsAmong(const std::vector<std::string> &names) {
    std::vector<std::string> out;
    for (const auto &c : FakeCalls())
      if (std::find(names.begin(), names.end(), c) != names.end()) out.push_back(c);
    return out;
  }

  // Removes and returns the messages waiting for the window.
  std::vector<UINT> DrainQueue() {
    std::vector<UINT> out;
    MSG msg{};
    while (PeekMessageA(&msg, window.windowHandle, 0, 0, PM_REMOVE)) out.push_back(msg.message);
    return out;
  }

  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam = 0) {
    return WindowProcedure(window.windowHandle, message, wParam, lParam);
  }
};
