#include "tests/app/shell_fixture.h"

namespace {

const std::vector<std::string> acquireAndRelease = {
    "CreateWindowExA",  "GetDC",          "ChoosePixelFormat", "SetPixelFormat",
    "wglCreateContext", "wglMakeCurrent", "wglDeleteContext",  "ReleaseDC",
    "DestroyWindow",    "ShowWindow"};

TEST_F(ShellTest, FullScreenCreationSwitchesModeHidesPointerAndUsesPopupStyles) {
  ASSERT_EQ(CreateAppWindow(&window), 1);
  EXPECT_EQ(window.fullScreen, 1);
  EXPECT_TRUE(FakeDisplaySwitched());
  EXPECT_EQ(FakeCursorCount(), -1);
  PlatformWindow *native = PlatformWindowFromHandle(window.windowHandle);
  ASSERT_NE(native, nullptr);
  EXPECT_EQ(native->style, WS_POPUP);
  EXPECT_EQ(native->exStyle, WS_EX_APPWINDOW | WS_EX_TOPMOST);
  EXPECT_EQ(native->width, 800);
  EXPECT_EQ(native->height, 600);
  // Shown black: the first frame comes only after the pictures have loaded.
  EXPECT_EQ(native->background, GetStockObject(BLACK_BRUSH));
  // A pop-up has no frame: the whole window is the picture.
  EXPECT_EQ(FakeCallCount("AdjustWindowRectEx"), 0);
  EXPECT_EQ(window.visible, 1);
  EXPECT_NE(window.deviceContext, nullptr);
  EXPECT_NE(window.renderContext, nullptr);
  EXPECT_EQ(
      CallsAmong(acquireAndRelease),
      (std::vector<std::string>{"CreateWindowExA", "GetDC", "ChoosePixelFormat", "SetPixelFormat",
                                "wglCreateContext", "wglMakeCurrent", "ShowWindow"}));
  // The window procedure found its record through the creation parameter.
  EXPECT_EQ(GetWindowLongA(window.windowHandle, GWL_USERDATA), reinterpret_cast<LONG_PTR>(&window));

  HWND handle = window.windowHandle;
  DestroyAppWindow(&window);
  EXPECT_FALSE(FakeDisplaySwitched());
  EXPECT_EQ(FakeCursorCount(), 0);
  EXPECT_FALSE(IsWindow(handle));
}

TEST_F(ShellTest, ClassRecordsOfAnotherSizeAreRefusedAsOnWindows) {
  WNDCLASSEXA other{};
  other.lpfnWndProc = DefWindowProcA;
  other.lpszClassName = "Other";
  other.cbSize = 48; // the 32-bit layout's size
  EXPECT_EQ(RegisterClassExA(&other), 0);
  other.cbSize = sizeof other;
  EXPECT_NE(RegisterClassExA(&other), 0);
  EXPECT_TRUE(UnregisterClassA("Other", nullptr));
}

// A failed switch: the box, a window with the windowed styles, the pointer shown.
void ExpectWindowedFallback(const AppWindow &window) {
  EXPECT_EQ(window.fullScreen, 0);
  EXPECT_EQ(FakeMessageBoxes(),
            std::vector<std::string>{"Error|Mode Switch Failed.\nRunning In Windowed Mode."});
  PlatformWindow *native = PlatformWindowFromHandle(window.windowHandle);
  EXPECT_EQ(native->style, WS_OVERLAPPEDWINDOW);
  EXPECT_EQ(native->exStyle, WS_EX_APPWINDOW);
  EXPECT_EQ(FakeCursorCount(), 0);
  // The frame goes around the 800x600 picture, as for a window asked for:
  // an unadjusted rectangle would cut the caption's height off the picture.
  EXPECT_EQ(FakeCallCount("AdjustWindowRectEx"), 1);
}

TEST_F(ShellTest, FailedModeSwitchFallsBackToWindowWithBoxAndLeavesDisplayAlone) {
  FakeSetFullScreenAvailable(false);
  ASSERT_EQ(CreateAppWindow(&window), 1);
  ExpectWindowedFallback(window);
  // Destruction must not touch a display mode it never changed.
  int switchesBefore = FakeCallCount("ChangeDisplaySettingsA");
  DestroyAppWindow(&window);
  EXPECT_EQ(FakeCallCount("ChangeDisplaySettingsA"), switchesBefore);
  EXPECT_EQ(FakeCallCount("ShowCursor"), 0);
}

TEST_F(ShellTest, ListedModeThatDoesNotTakeIsAFailedSwitch) {
  // The mode is in the display's list, but the display stays at its own size:
  // the program must not believe it is full screen and draw into a corner.
  FakeSetSwitchTakesEffect(false);
  ASSERT_EQ(CreateAppWindow(&window), 1);
  ExpectWindowedFallback(window);
  EXPECT_FALSE(FakeDisplaySwitched());
  EXPECT_EQ(FakeDisplayRestores(), 1);
  DestroyAppWindow(&window);
  EXPECT_EQ(FakeDisplayRestores(), 1);
}

// A library that ends the process with exit() while the display is switched
// (the JPEG decoder on a broken picture) still leaves the desktop as it was.
// Exit handlers run newest first, so one installed before the switch sees
// what the platform's own handler left.
void ReportDisplayAtExit() {
  std::fprintf(stderr, "at exit: switched %d, restores %d\n", FakeDisplaySwitched() ? 1 : 0,
               FakeDisplayRestores());
}

TEST_F(ShellTest, ExitWhileFullScreenGivesTheDisplayBackOnce) {
  // A fresh process for each child: the platform installs its handler once per
  // process, and earlier tests in this one have installed it already.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit(ReportDisplayAtExit);
        if (CreateAppWindow(&window) != 1 || !FakeDisplaySwitched()) std::_Exit(3);
        std::exit(1);
      },
      ::testing::ExitedWithCode(1), "at exit: switched 0, restores 1");
  // After an orderly destruction the handler has nothing left to do.
  EXPECT_EXIT(
      {
        std::atexit(ReportDisplayAtExit);
        if (CreateAppWindow(&window) != 1) std::_Exit(3);
        DestroyAppWindow(&window);
        std::exit(1);
      },
      ::testing::ExitedWithCode(1), "at exit: switched 0, restores 1");
}

TEST_F(ShellTest, WindowedCreationNeverTouchesDisplayMode) {
  window.fullScreen = 0;
  ASSERT_EQ(CreateAppWindow(&window), 1);
  EXPECT_EQ(FakeCallCount("ChangeDisplaySettingsA"), 0);
  EXPECT_EQ(FakeCallCount("AdjustWindowRectEx"), 1);
  EXPECT_TRUE(FakeMessageBoxes().empty());
}

struct FailureCase {
  const char *failingCall;
  std::vector<std::string> undo; // what is given back after the failure, in order
};

void PrintTo(const FailureCase &c, std::ostream *os) { *os << c.failingCall; }

class CreationFailure : public ShellTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CreationFailure, UndoesInReverseOrderAndRestoresDisplay) {
  const FailureCase &c = GetParam();
  FakeFailCall(c.failingCall);
  EXPECT_EQ(CreateAppWindow(&window), 0);
  EXPECT_EQ(window.windowHandle, nullptr);
  EXPECT_EQ(window.deviceContext, nullptr);
  EXPECT_EQ(window.renderContext, nullptr);

  // Everything recorded after the failing call is the undo sequence.
  const auto &calls = FakeCalls();
  auto failed = std::find(calls.begin(), calls.end(), c.failingCall);
  ASSERT_NE(failed, calls.end());
  std::vector<std::string> after;
  for (auto it = failed + 1; it != calls.end(); ++it)
    if (*it != "DefWindowProcA" && *it != "GetWindowLongA") after.push_back(*it);
  EXPECT_EQ(after, c.undo);
  // The mode switch happened before the failure; the undo gives it back.
  EXPECT_FALSE(FakeDisplaySwitched());
  EXPECT_EQ(FakeCursorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, CreationFailure,
    ::testing::Values(
        FailureCase{"CreateWindowExA", {"ChangeDisplaySettingsA", "ShowCursor"}},
        FailureCase{"GetDC", {"DestroyWindow", "ChangeDisplaySettingsA", "ShowCursor"}},
        FailureCase{"ChoosePixelFormat",
                    {"ReleaseDC", "DestroyWindow", "ChangeDisplaySettingsA", "ShowCursor"}},
        FailureCase{"SetPixelFormat",
                    {"ReleaseDC", "DestroyWindow", "ChangeDisplaySettingsA", "ShowCursor"}},
        FailureCase{"wglCreateContext",
                    {"ReleaseDC", "DestroyWindow", "ChangeDisplaySettingsA", "ShowCursor"}},
        FailureCase{"wglMakeCurrent",
                    {"wglDeleteContext", "ReleaseDC", "DestroyWindow", "ChangeDisplaySettingsA",
                     "ShowCursor"}}),
    [](const auto &info) { return std::string(info.param.failingCall); });

TEST_F(ShellTest, KeyTableStoresCodesUpTo255AndClearsOnRecreation) {
  ASSERT_EQ(CreateAppWindow(&window), 1);
  for (WPARAM code : {WPARAM{0}, VK_ESCAPE, WPARAM{'A'}, WPARAM{255}}) {
    EXPECT_EQ(Send(WM_KEYDOWN, code), 0);
    EXPECT_EQ(keys[code], 1) << code;
    MarkKeysSeen(&window);                // a frame went by
    EXPECT_EQ(Send(WM_KEYDOWN, code), 0); // auto-repeat keeps it down
    EXPECT_EQ(keys[code], 1) << code;
    EXPECT_EQ(Send(WM_KEYUP, code), 0);
    EXPECT_EQ(keys[code], 0) << code;
  }
  KeyTable before = keys;
  int defaults = FakeCallCount("DefWindowProcA");
  Send(WM_KEYDOWN, 256);
  Send(WM_KEYUP, 0x10000 + VK_ESCAPE);
  EXPECT_EQ(keys, before);
  EXPECT_EQ(FakeCallCount("DefWindowProcA"), defaults + 2);

  // A key still held when the window is re-created reads as up in the new one.
  Send(WM_KEYDOWN, VK_ESCAPE);
  DestroyAppWindow(&window);
  ASSERT_EQ(CreateAppWindow(&window), 1);
  EXPECT_EQ(keys[VK_ESCAPE], 0);
}

TEST_F(ShellTest, SizeMessagesMoveVisibility) {
  ASSERT_EQ(CreateAppWindow(&window), 1);
  Send(WM_SIZE, SIZE_MINIMIZED);
  EXPECT_EQ(window.visible, 0);
  Send(WM_SIZE, SIZE_MAXSHOW);
  Send(WM_SIZE, SIZE_MAXHIDE);
  EXPECT_EQ(window.visible, 0);
  Send(WM_SIZE, SIZE_RESTORED);
  EXPECT_EQ(window.visible, 1);
  Send(WM_SIZE, SIZE_MINIMIZED);
  Send(WM_SIZE, SIZE_MAXIMIZED);
  EXPECT_EQ(window.visible, 1);
  Send(WM_SIZE, SIZE_MAXHIDE);
  EXPECT_EQ(window.visible, 1);
}

TEST_F(ShellTest, SystemCommandsSwallowOnlyScreenSaverAndMonitorPower) {
  ASSERT_EQ(CreateAppWindow(&window), 1);
  int defaults = FakeCallCount("DefWindowProcA");
  EXPECT_EQ(Send(WM_SYSCOMMAND, SC_SCREENSAVE), 0);
  EXPECT_EQ(Send(WM_SYSCOMMAND, SC_MONITORPOWER), 0);
  EXPECT_EQ(FakeCallCount("DefWindowProcA"), defaults);
  // Compared whole: the low four bits make it another command.
  Send(WM_SYSCOMMAND, SC_SCREENSAVE | 1);
  Send(WM_SYSCOMMAND, SC_MONITORPOWER | 2);
  EXPECT_EQ(FakeCallCount("DefWindowProcA"), defaults + 2);
  EXPECT_EQ(keepRunning, 1);
  // The title bar's close goes through default processing to WM_CLOSE.
  Send(WM_SYSCOMMAND, SC_CLOSE);
  EXPECT_EQ(keepRunning, 0);
}

TEST_F(ShellTest, CloseRequestsQuitButKeepsTheWindow) {
  ASSERT_EQ(CreateAppWindow(&window), 1);
  EXPECT_EQ(Send(WM_CLOSE, 0), 0);
  EXPECT_EQ(keepRunning, 0);
  EXPECT_TRUE(IsWindow(window.windowHandle));
  EXPECT_EQ(DrainQueue(), std::vector<UINT>{WM_QUIT});
}

TEST_F(ShellTest, AltF4ClosesThroughDefaultProcessing) {
  ASSERT_EQ(CreateAppWindow(&window), 1);
  Send(WM_SYSKEYDOWN, VK_F4, LPARAM{1} << 29);
  EXPECT_EQ(keys[VK_F4], 0);
  EXPECT_EQ(keepRunning, 0);
}

TEST_F(ShellTest, ToggleMessageTwiceRestoresRequestAndPostsTwoQuits) {
  ASSERT_EQ(CreateAppWindow(&window), 1);
  Send(WM_TOGGLEFULLSCREEN, 0);
  EXPECT_EQ(fullScreenRequest, 0);
  Send(WM_TOGGLEFULLSCREEN, 0);
  EXPECT_EQ(fullScreenRequest, 1);
  EXPECT_EQ(keepRunning, 1);
  EXPECT_EQ(DrainQueue(), (std::vector<UINT>{WM_QUIT, WM_QUIT}));
  EXPECT_EQ(FakeCallCount("DefWindowProcA"), 2);
}

TEST_F(ShellTest, MessagesPostedToADestroyedWindowAreDropped) {
  ASSERT_EQ(CreateAppWindow(&window), 1);
  RequestQuit(&window);
  DestroyAppWindow(&window);
  ASSERT_EQ(CreateAppWindow(&window), 1);
  MSG msg{};
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

} // namespace
