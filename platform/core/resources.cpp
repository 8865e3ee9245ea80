// Resource lookup over the generated table. The handles are addresses of table
// entries, so they are stable for the whole run and need no release.
#include <strings.h>

#include "platform/core/backend.h"
#include "platform/core/resources.h"

HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
  if (BackendCallHook("FindResourceA") || name == nullptr || type == nullptr) return nullptr;
  for (size_t i = 0; i < embeddedEntryCount; ++i) {
    const EmbeddedEntry &e = embeddedEntries[i];
    if (strcasecmp(e.name, name) == 0 && strcasecmp(e.type, type) == 0)
      return reinterpret_cast<HRSRC>(const_cast<EmbeddedEntry *>(&e));
  }
  return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (BackendCallHook("LoadResource")) return nullptr;
  return reinterpret_cast<HGLOBAL>(resource);
}

LPVOID LockResource(HGLOBAL loaded) {
  if (BackendCallHook("LockResource") || loaded == nullptr) return nullptr;
  const auto *entry = reinterpret_cast<const EmbeddedEntry *>(loaded);
  return const_cast<unsigned char *>(entry->begin);
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (BackendCallHook("SizeofResource") || resource == nullptr) return 0;
  const auto *entry = reinterpret_cast<const EmbeddedEntry *>(resource);
  return static_cast<DWORD>(entry->end - entry->begin);
}
