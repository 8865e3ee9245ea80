#include "platform/sdl/sdl_keys.h"

#include <array>

namespace {

// Windows virtual-key codes by SDL scancode; 0 = no key message.
constexpr std::array<BYTE, SDL_NUM_SCANCODES> BuildKeyTable() {
  std::array<BYTE, SDL_NUM_SCANCODES> t{};
  for (int i = 0; i < 26; ++i) t[SDL_SCANCODE_A + i] = static_cast<BYTE>('A' + i);
  for (int i = 0; i < 9; ++i) t[SDL_SCANCODE_1 + i] = static_cast<BYTE>('1' + i);
  t[SDL_SCANCODE_0] = '0';
  for (int i = 0; i < 12; ++i) t[SDL_SCANCODE_F1 + i] = static_cast<BYTE>(VK_F1 + i);
  for (int i = 0; i < 9; ++i) t[SDL_SCANCODE_KP_1 + i] = static_cast<BYTE>(VK_NUMPAD0 + 1 + i);
  t[SDL_SCANCODE_KP_0] = VK_NUMPAD0;
  t[SDL_SCANCODE_RETURN] = VK_RETURN;
  t[SDL_SCANCODE_KP_ENTER] = VK_RETURN;
  t[SDL_SCANCODE_ESCAPE] = VK_ESCAPE;
  t[SDL_SCANCODE_BACKSPACE] = VK_BACK;
  t[SDL_SCANCODE_TAB] = VK_TAB;
  t[SDL_SCANCODE_SPACE] = VK_SPACE;
  t[SDL_SCANCODE_LSHIFT] = t[SDL_SCANCODE_RSHIFT] = VK_SHIFT;
  t[SDL_SCANCODE_LCTRL] = t[SDL_SCANCODE_RCTRL] = VK_CONTROL;
  t[SDL_SCANCODE_LALT] = t[SDL_SCANCODE_RALT] = VK_MENU;
  t[SDL_SCANCODE_PAUSE] = VK_PAUSE;
  t[SDL_SCANCODE_CAPSLOCK] = VK_CAPITAL;
  t[SDL_SCANCODE_PAGEUP] = VK_PRIOR;
  t[SDL_SCANCODE_PAGEDOWN] = VK_NEXT;
  t[SDL_SCANCODE_END] = VK_END;
  t[SDL_SCANCODE_HOME] = VK_HOME;
  t[SDL_SCANCODE_LEFT] = VK_LEFT;
  t[SDL_SCANCODE_UP] = VK_UP;
  t[SDL_SCANCODE_RIGHT] = VK_RIGHT;
  t[SDL_SCANCODE_DOWN] = VK_DOWN;
  t[SDL_SCANCODE_INSERT] = VK_INSERT;
  t[SDL_SCANCODE_DELETE] = VK_DELETE;
  t[SDL_SCANCODE_KP_MULTIPLY] = VK_MULTIPLY;
  t[SDL_SCANCODE_KP_PLUS] = VK_ADD;
  t[SDL_SCANCODE_KP_MINUS] = VK_SUBTRACT;
  t[SDL_SCANCODE_KP_PERIOD] = VK_DECIMAL;
  t[SDL_SCANCODE_KP_DIVIDE] = VK_DIVIDE;
  return t;
}
constexpr auto virtualKeys = BuildKeyTable();

} // namespace

WPARAM SdlVirtualKey(SDL_Scancode scancode) {
  const int at = static_cast<int>(scancode);
  return at >= 0 && at < SDL_NUM_SCANCODES ? virtualKeys[static_cast<size_t>(at)] : 0;
}
