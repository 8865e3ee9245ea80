// The page's way in for a gift: the bytes of a gift pack it fetched beside
// itself or carries inside, checked whole and kept for the show, before main
// or the still hook starts. The page calls it once on a throwaway instance
// before its cover appears, so that a damaged pack is told at once, and again
// on each showing's own instance.
#include <emscripten.h>

#include <cstddef>
#include <cstdint>

#include "assets/gift_pack.h"

// 1 when the pack is shown; 0, with the reader's one line on standard error
// naming `name` and what is wrong, when it is refused.
extern "C" EMSCRIPTEN_KEEPALIVE int velmor_use_gift_pack(const uint8_t *bytes, size_t size,
                                                         const char *name) {
  return UseGiftPack(bytes, size, name) ? 1 : 0;
}
