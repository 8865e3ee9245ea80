#include "platform/web/web_keys.h"

#include <cstring>

namespace {

struct NamedKey {
  const char *code;
  BYTE vk;
};

// Letters, digits, F1-F12 and the keypad's digits are worked out from their
// names; everything else is listed.
constexpr NamedKey namedKeys[] = {
    {"Enter", VK_RETURN},
    {"NumpadEnter", VK_RETURN},
    {"Escape", VK_ESCAPE},
    {"Backspace", VK_BACK},
    {"Tab", VK_TAB},
    {"Space", VK_SPACE},
    {"ShiftLeft", VK_SHIFT},
    {"ShiftRight", VK_SHIFT},
    {"ControlLeft", VK_CONTROL},
    {"ControlRight", VK_CONTROL},
    {"AltLeft", VK_MENU},
    {"AltRight", VK_MENU},
    {"Pause", VK_PAUSE},
    {"CapsLock", VK_CAPITAL},
    {"PageUp", VK_PRIOR},
    {"PageDown", VK_NEXT},
    {"End", VK_END},
    {"Home", VK_HOME},
    {"ArrowLeft", VK_LEFT},
    {"ArrowUp", VK_UP},
    {"ArrowRight", VK_RIGHT},
    {"ArrowDown", VK_DOWN},
    {"Insert", VK_INSERT},
    {"Delete", VK_DELETE},
    {"NumpadMultiply", VK_MULTIPLY},
    {"NumpadAdd", VK_ADD},
    {"NumpadSubtract", VK_SUBTRACT},
    {"NumpadDecimal", VK_DECIMAL},
    {"NumpadDivide", VK_DIVIDE},
};

bool StartsWith(const char *text, const char *prefix, size_t *rest) {
  size_t n = std::strlen(prefix);
  if (std::strncmp(text, prefix, n) != 0) return false;
  *rest = n;
  return true;
}

} // namespace

WPARAM WebVirtualKey(const char *code) {
  if (code == nullptr) return 0;
  size_t at = 0;
  size_t length = std::strlen(code);
  if (StartsWith(code, "Key", &at) && length == at + 1 && code[at] >= 'A' && code[at] <= 'Z')
    return static_cast<WPARAM>(code[at]);
  if (StartsWith(code, "Digit", &at) && length == at + 1 && code[at] >= '0' && code[at] <= '9')
    return static_cast<WPARAM>(code[at]);
  if (StartsWith(code, "Numpad", &at) && length == at + 1 && code[at] >= '0' && code[at] <= '9')
    return VK_NUMPAD0 + static_cast<WPARAM>(code[at] - '0');
  if (code[0] == 'F' && (length == 2 || length == 3)) {
    int n = 0;
    for (size_t i = 1; i < length; ++i) {
      if (code[i] < '0' || code[i] > '9') return 0;
      n = n * 10 + (code[i] - '0');
    }
    return n >= 1 && n <= 12 ? VK_F1 + static_cast<WPARAM>(n - 1) : 0;
  }
  for (const NamedKey &k : namedKeys)
    if (std::strcmp(code, k.code) == 0) return k.vk;
  return 0;
}
