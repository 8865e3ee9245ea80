#include "assets/resources.h"

#include "platform/platform.h"

ResourceBytes FindEmbeddedResource(const char *type, const char *name) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, name, type);
  ResourceBytes bytes;
  bytes.data = static_cast<const uint8_t *>(LockResource(LoadResource(module, found)));
  bytes.size = SizeofResource(module, found);
  return bytes;
}
