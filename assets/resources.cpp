#include "assets/resources.h"

#include "assets/gift_pack.h"
#include "platform/platform.h"

ResourceBytes FindEmbeddedResource(const char *type, const char *name) {
  // A gift's own pictures come before ours; what it leaves out is ours.
  if (const GiftPackEntry *entry = FindGiftPackEntry(giftPack, type, name))
    return {entry->data, entry->size};
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, name, type);
  ResourceBytes bytes;
  bytes.data = static_cast<const uint8_t *>(LockResource(LoadResource(module, found)));
  bytes.size = SizeofResource(module, found);
  return bytes;
}
