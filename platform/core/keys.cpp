#include "platform/core/keys.h"

KeyMessage PlatformKeyMessage(WPARAM vk, bool down, bool alt, bool repeat, unsigned scanCode) {
  if (vk == 0) return {0, 0, 0};
  bool system = alt || vk == VK_MENU || vk == VK_F10;
  // Bits 0-15 the repeat count (one key event is one), 16-23 the scan code,
  // 29 Alt held (what turns F4 into a close), 30 the key was down before,
  // 31 the key is going up.
  LPARAM lParam = 1 | (static_cast<LPARAM>(scanCode & 0xFF) << 16);
  if (alt) lParam |= LPARAM{1} << 29;
  if (!down || repeat) lParam |= LPARAM{1} << 30;
  if (!down) lParam |= LPARAM{1} << 31;
  UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
  return {message, vk, lParam};
}
