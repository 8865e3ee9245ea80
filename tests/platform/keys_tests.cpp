// Keys as the window procedure sees them: the one rule that turns a key event
// into a message, and the two back ends' tables that name their keys by
// virtual-key code, which must agree key for key.
#include <gtest/gtest.h>

#include <SDL2/SDL_scancode.h>

#include <string>
#include <vector>

#include "platform/core/keys.h"
#include "platform/sdl/sdl_keys.h"
#include "platform/web/web_keys.h"

namespace {

constexpr LPARAM bit(int n) { return LPARAM{1} << n; }

TEST(KeyMessages, KeysBecomeKeyMessagesWithTheDesktopsFlags) {
  KeyMessage down = PlatformKeyMessage(VK_ESCAPE, true, false, false, 0);
  EXPECT_EQ(down.message, WM_KEYDOWN);
  EXPECT_EQ(down.vk, VK_ESCAPE);
  EXPECT_EQ(down.lParam & 0xFFFF, 1) << "one key event, a repeat count of one";
  EXPECT_EQ(down.lParam & bit(30), 0);

  KeyMessage repeat = PlatformKeyMessage(VK_ESCAPE, true, false, true, 0);
  EXPECT_EQ(repeat.message, WM_KEYDOWN);
  EXPECT_NE(repeat.lParam & bit(30), 0);

  KeyMessage up = PlatformKeyMessage(VK_ESCAPE, false, false, false, 0);
  EXPECT_EQ(up.message, WM_KEYUP);
  EXPECT_NE(up.lParam & bit(30), 0);
  EXPECT_NE(up.lParam & bit(31), 0);

  EXPECT_EQ(PlatformKeyMessage(0, true, false, false, 0).message, 0u);
  EXPECT_EQ(PlatformKeyMessage(0, false, true, false, 41).message, 0u);
}

TEST(KeyMessages, AltAndF10AreSystemKeysSoAltF4Closes) {
  KeyMessage altF4 = PlatformKeyMessage(VK_F4, true, true, false, 0);
  EXPECT_EQ(altF4.message, WM_SYSKEYDOWN);
  EXPECT_EQ(altF4.vk, VK_F4);
  // The context bit that DefWindowProcA reads to turn Alt+F4 into a close.
  EXPECT_NE(altF4.lParam & bit(29), 0);
  EXPECT_EQ(PlatformKeyMessage(VK_F4, false, true, false, 0).message, WM_SYSKEYUP);
  EXPECT_EQ(PlatformKeyMessage(VK_MENU, true, true, false, 0).message, WM_SYSKEYDOWN);
  EXPECT_EQ(PlatformKeyMessage(VK_MENU, false, false, false, 0).message, WM_SYSKEYUP)
      << "Alt let go: no longer held, still a system key";
  EXPECT_EQ(PlatformKeyMessage(VK_F10, true, false, false, 0).message, WM_SYSKEYDOWN);
  EXPECT_EQ(PlatformKeyMessage(VK_F10, false, false, false, 0).message, WM_SYSKEYUP);
  KeyMessage f4 = PlatformKeyMessage(VK_F4, true, false, false, 0);
  EXPECT_EQ(f4.message, WM_KEYDOWN);
  EXPECT_EQ(f4.lParam & bit(29), 0);
}

TEST(KeyMessages, TheScanCodesLowByteIsCarriedAndNothingElse) {
  EXPECT_EQ(PlatformKeyMessage('A', true, false, false, 0x1E).lParam, 1 | LPARAM{0x1E} << 16);
  // A larger number keeps its low byte only, leaving the flags above alone.
  KeyMessage wide = PlatformKeyMessage('A', true, false, false, 0x3A5);
  EXPECT_EQ(wide.lParam, 1 | LPARAM{0xA5} << 16);
  KeyMessage up = PlatformKeyMessage(VK_F4, false, true, false, 0xFF);
  EXPECT_EQ(up.lParam, 1 | LPARAM{0xFF} << 16 | bit(29) | bit(30) | bit(31));
}

TEST(SdlKeys, ScancodesGiveTheDesktopsVirtualKeys) {
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_A), WPARAM{'A'});
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_Z), WPARAM{'Z'});
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_1), WPARAM{'1'});
  // SDL numbers 0 after 9, on the keyboard and on the keypad.
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_0), WPARAM{'0'});
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_9), WPARAM{'9'});
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_KP_0), VK_NUMPAD0);
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_KP_1), VK_NUMPAD0 + 1);
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_KP_9), VK_NUMPAD0 + 9);
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_F1), VK_F1);
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_F12), VK_F1 + 11);
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_RALT), VK_MENU);
}

TEST(SdlKeys, ScancodesWithoutAVirtualKeyGiveNone) {
  for (SDL_Scancode s : {SDL_SCANCODE_UNKNOWN, SDL_SCANCODE_LGUI, SDL_SCANCODE_F13,
                         SDL_SCANCODE_NONUSBACKSLASH, SDL_SCANCODE_MUTE})
    EXPECT_EQ(SdlVirtualKey(s), 0u) << s;
  EXPECT_EQ(SdlVirtualKey(static_cast<SDL_Scancode>(SDL_NUM_SCANCODES)), 0u);
}

struct KeyPair {
  std::string code;
  SDL_Scancode scancode;
};

// The same key as each back end names it: every key either table knows, and
// two that neither does.
std::vector<KeyPair> SameKeys() {
  std::vector<KeyPair> pairs = {
      {"Digit0", SDL_SCANCODE_0},
      {"Numpad0", SDL_SCANCODE_KP_0},
      {"Enter", SDL_SCANCODE_RETURN},
      {"NumpadEnter", SDL_SCANCODE_KP_ENTER},
      {"Escape", SDL_SCANCODE_ESCAPE},
      {"Backspace", SDL_SCANCODE_BACKSPACE},
      {"Tab", SDL_SCANCODE_TAB},
      {"Space", SDL_SCANCODE_SPACE},
      {"ShiftLeft", SDL_SCANCODE_LSHIFT},
      {"ShiftRight", SDL_SCANCODE_RSHIFT},
      {"ControlLeft", SDL_SCANCODE_LCTRL},
      {"ControlRight", SDL_SCANCODE_RCTRL},
      {"AltLeft", SDL_SCANCODE_LALT},
      {"AltRight", SDL_SCANCODE_RALT},
      {"Pause", SDL_SCANCODE_PAUSE},
      {"CapsLock", SDL_SCANCODE_CAPSLOCK},
      {"PageUp", SDL_SCANCODE_PAGEUP},
      {"PageDown", SDL_SCANCODE_PAGEDOWN},
      {"End", SDL_SCANCODE_END},
      {"Home", SDL_SCANCODE_HOME},
      {"ArrowLeft", SDL_SCANCODE_LEFT},
      {"ArrowUp", SDL_SCANCODE_UP},
      {"ArrowRight", SDL_SCANCODE_RIGHT},
      {"ArrowDown", SDL_SCANCODE_DOWN},
      {"Insert", SDL_SCANCODE_INSERT},
      {"Delete", SDL_SCANCODE_DELETE},
      {"NumpadMultiply", SDL_SCANCODE_KP_MULTIPLY},
      {"NumpadAdd", SDL_SCANCODE_KP_PLUS},
      {"NumpadSubtract", SDL_SCANCODE_KP_MINUS},
      {"NumpadDecimal", SDL_SCANCODE_KP_PERIOD},
      {"NumpadDivide", SDL_SCANCODE_KP_DIVIDE},
      {"MetaLeft", SDL_SCANCODE_LGUI},
      {"IntlBackslash", SDL_SCANCODE_NONUSBACKSLASH},
  };
  auto from = [](SDL_Scancode first, int i) { return static_cast<SDL_Scancode>(first + i); };
  for (int i = 0; i < 26; ++i)
    pairs.push_back({"Key" + std::string(1, static_cast<char>('A' + i)), from(SDL_SCANCODE_A, i)});
  for (int i = 0; i < 9; ++i) {
    pairs.push_back({"Digit" + std::to_string(i + 1), from(SDL_SCANCODE_1, i)});
    pairs.push_back({"Numpad" + std::to_string(i + 1), from(SDL_SCANCODE_KP_1, i)});
  }
  for (int i = 0; i < 12; ++i)
    pairs.push_back({"F" + std::to_string(i + 1), from(SDL_SCANCODE_F1, i)});
  return pairs;
}

// A key gives the same message whichever back end the show runs on.
TEST(BackEndKeys, BothTablesNameEveryKeyAlike) {
  const std::vector<KeyPair> pairs = SameKeys();
  int paired = 0;
  for (const KeyPair &p : pairs) {
    EXPECT_EQ(WebVirtualKey(p.code.c_str()), SdlVirtualKey(p.scancode)) << p.code;
    paired += SdlVirtualKey(p.scancode) != 0;
  }
  // Every key SDL gives a code is among the pairs: none works in one back
  // end and not in the other.
  int named = 0;
  for (int s = 0; s < SDL_NUM_SCANCODES; ++s)
    named += SdlVirtualKey(static_cast<SDL_Scancode>(s)) != 0;
  EXPECT_EQ(named, paired);
}

} // namespace
