#include "tests/app/shell_fixture.h"

namespace {

// WinMain registers its own class; these tests drive it from a clean slate.
class MainLoopTest : public ::testing::Test {
protected:
  void SetUp() override {
    FakeReset();
    testScene = TestScene{};
    lastClockMs = 0.0;
    exitStatus = 0;
    FakeSetCounter(true, 1000, 0, 4); // every counter read advances 4 ms
  }
  static int Run() { return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL); }
  static void PostToWindow(UINT message, WPARAM wParam = 0) {
    PostMessageA(testScene.window->windowHandle, message, wParam, 0);
  }
};

TEST_F(MainLoopTest, CloseEndsAfterTheCurrentFrameAndReturnsZero) {
  testScene.frame = [](int frame, double) {
    if (frame == 3) PostToWindow(WM_CLOSE);
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(testScene.inits, 1);
  EXPECT_EQ(testScene.deltas.size(), 3u);
  EXPECT_EQ(FakeCallCount("SwapBuffers"), 3);
  EXPECT_EQ(FakeCallCount("UnregisterClassA"), 1);
  EXPECT_FALSE(FakeDisplaySwitched());
  EXPECT_EQ(FakeCursorCount(), 0);
}

TEST_F(MainLoopTest, QuitRequestedInsideAFrameStillSwapsThatFrame) {
  testScene.frame = [](int, double) { RequestQuit(testScene.window); };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(testScene.deltas.size(), 1u);
  EXPECT_EQ(FakeCallCount("SwapBuffers"), 1);
}

TEST_F(MainLoopTest, FrameStepReadsTheClockTwiceAndMeasuresFromTheSecondReading) {
  // With 4 ms per counter read: start at 0; first frame reads 4 then 8; second 12 and 16.
  testScene.frame = [](int frame, double) {
    if (frame == 2) RequestQuit(testScene.window);
  };
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(testScene.deltas.size(), 2u);
  double ms = 1000.0 * static_cast<float>(1.0 / 1000.0) * 1000.0f / 1000.0; // one count
  EXPECT_DOUBLE_EQ(testScene.deltas[0], 4 * ms * 0.001);
  EXPECT_DOUBLE_EQ(testScene.deltas[1], (12 - 8) * ms * 0.001);
  EXPECT_DOUBLE_EQ(lastClockMs, 16 * ms);
}

TEST_F(MainLoopTest, ToggleRecreatesWindowInOtherModeWithNonNegativeFirstDelta) {
  std::vector<int32_t> modes;
  testScene.init = [&](AppWindow *w, KeyTable *) {
    modes.push_back(w->fullScreen);
    return 1;
  };
  testScene.frame = [](int frame, double) {
    if (frame == 50) PostToWindow(WM_TOGGLEFULLSCREEN);
    if (frame == 52) PostToWindow(WM_CLOSE);
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(modes, (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(testScene.inits, 2);
  ASSERT_EQ(testScene.deltas.size(), 52u);
  // The old window's clock had run for 400 ms; the new one restarts at zero.
  for (double d : testScene.deltas) EXPECT_GE(d, 0.0);
  EXPECT_FALSE(FakeDisplaySwitched());
  EXPECT_EQ(FakeCursorCount(), 0);
}

TEST_F(MainLoopTest, MinimisedWindowWaitsInsteadOfDrawing) {
  int waits = 0;
  testScene.frame = [](int frame, double) {
    if (frame == 2) PostToWindow(WM_SIZE, SIZE_MINIMIZED);
    if (frame == 3) PostToWindow(WM_CLOSE);
  };
  FakeOnWait([&] {
    // Nothing may be drawn while minimised; restore after a few waits.
    EXPECT_EQ(testScene.deltas.size(), 2u);
    if (++waits == 3) PostToWindow(WM_SIZE, SIZE_RESTORED);
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(waits, 3);
  EXPECT_EQ(testScene.deltas.size(), 3u);
}

TEST_F(MainLoopTest, FailedRegistrationShowsBothBoxesAndReturnsMinusOne) {
  FakeFailCall("RegisterClassExA");
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(FakeMessageBoxes(),
            (std::vector<std::string>{"Error|RegisterClassEx Failed!",
                                      "Error|Error Registering Window Class!"}));
  EXPECT_EQ(FakeCallCount("CreateWindowExA"), 0);
  EXPECT_EQ(testScene.inits, 0);
}

TEST_F(MainLoopTest, FailedWindowCreationShowsBoxAndEndsWithOne) {
  FakeFailCall("wglCreateContext");
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(FakeMessageBoxes(), std::vector<std::string>{"Error|Error Creating OpenGL Window"});
  EXPECT_EQ(testScene.inits, 0);
  EXPECT_EQ(FakeCallCount("UnregisterClassA"), 1);
  EXPECT_FALSE(FakeDisplaySwitched());
}

TEST_F(MainLoopTest, FailedCreationAfterToggleEndsWithBoxAndOne) {
  testScene.frame = [](int frame, double) {
    if (frame == 1) {
      FakeFailCall("GetDC");
      PostToWindow(WM_TOGGLEFULLSCREEN);
    }
  };
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(testScene.inits, 1);
  EXPECT_EQ(FakeMessageBoxes(), std::vector<std::string>{"Error|Error Creating OpenGL Window"});
}

TEST_F(MainLoopTest, FailedSceneInitialisationEndsWithOneWithoutFramesOrBoxes) {
  testScene.init = [](AppWindow *, KeyTable *) { return 0; };
  EXPECT_EQ(Run(), 1);
  EXPECT_TRUE(testScene.deltas.empty());
  EXPECT_TRUE(FakeMessageBoxes().empty());
  EXPECT_EQ(FakeCallCount("DestroyWindow"), 1);
}

TEST_F(MainLoopTest, AKeyPressedAndReleasedBetweenFramesIsSeenByExactlyOneFrame) {
  // A quick tap on a slow machine: both messages arrive before the next frame.
  std::vector<int32_t> escape;
  std::vector<int32_t> held;
  testScene.frame = [&](int frame, double) {
    escape.push_back((*testScene.window->keys)[VK_ESCAPE]);
    held.push_back((*testScene.window->keys)['H']);
    if (frame == 1) {
      PostToWindow(WM_KEYDOWN, VK_ESCAPE);
      PostToWindow(WM_KEYUP, VK_ESCAPE);
      PostToWindow(WM_KEYDOWN, 'H');
    }
    // Released after a frame has seen it: up at once.
    if (frame == 3) PostToWindow(WM_KEYUP, 'H');
    // Pressed again within the same batch as its release: seen once more.
    if (frame == 4) {
      PostToWindow(WM_KEYDOWN, VK_ESCAPE);
      PostToWindow(WM_KEYUP, VK_ESCAPE);
      PostToWindow(WM_KEYDOWN, VK_ESCAPE);
    }
    if (frame == 6) RequestQuit(testScene.window);
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(escape, (std::vector<int32_t>{0, 1, 0, 0, 1, 1}));
  EXPECT_EQ(held, (std::vector<int32_t>{0, 1, 1, 0, 0, 0}));
}

TEST_F(MainLoopTest, NoFrameRunsWhileMessagesWait) {
  // Three key messages arrive together; all are dispatched before the next frame.
  testScene.frame = [](int frame, double) {
    if (frame == 1)
      for (int i = 0; i < 3; ++i) PostToWindow(WM_KEYDOWN, 'A' + i);
    if (frame == 2) {
      EXPECT_EQ((*testScene.window->keys)['A'], 1);
      EXPECT_EQ((*testScene.window->keys)['C'], 1);
      RequestQuit(testScene.window);
    }
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(testScene.deltas.size(), 2u);
}

} // namespace
