// The build normally generates the resource table as constant data. Here it
// must change with every input, so the table is defined writable; the header's
// declaration is renamed away in this file only. Globals are not name-mangled,
// so every other file still finds this table under its usual name.
#define embeddedEntries velmorGeneratedTableNotUsedHere
#include "platform/core/resources.h"
#undef embeddedEntries

#include "fuzz/support/one_resource.h"

extern EmbeddedEntry embeddedEntries[];
EmbeddedEntry embeddedEntries[] = {{"", "", nullptr, nullptr}};
extern const size_t embeddedEntryCount;
const size_t embeddedEntryCount = 1;

void SetFuzzResource(const char *type, const char *name, const uint8_t *data, size_t size) {
  embeddedEntries[0] = EmbeddedEntry{type, name, data, data + size};
}
