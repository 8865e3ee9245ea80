// Resource lookup with arbitrary names and types against a table shaped like
// the intro's: the answer must be the first entry whose type and name match
// without regard to ASCII letter case, the bytes and size must be that entry's,
// and a failing platform call must give the failure values, never a crash.
//
// Input: one control byte, then type and name separated by a zero byte.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/resources.h"
#include "platform/core/resources.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"

namespace {

const unsigned char bytes[64] = {0xFF, 0xD8, 0xFF, 0xE0};

} // namespace

// The table: real names, one name under both types, an empty entry and names
// that differ only in letter case or by a character past 'Z'.
const EmbeddedEntry embeddedEntries[] = {
    {"JPG", "DATA_SCREEN", bytes, bytes + 20},
    {"JPG", "DATA_1", bytes + 1, bytes + 2},
    {"JPG", "DATA_10", bytes + 2, bytes + 40},
    {"TGA", "DATA_FONT2", bytes + 3, bytes + 64},
    {"TGA", "DATA_FONT3", bytes + 4, bytes + 4},
    {"JPG", "DATA_FONT2", bytes + 5, bytes + 6},
    {"JPG", "DATA_[", bytes + 6, bytes + 7},
    {"JPG", "DATA_{", bytes + 7, bytes + 9},
    {"", "", bytes + 8, bytes + 10},
    {"JPG", "DATA_SCREEN", bytes + 9, bytes + 11},
};
const size_t embeddedEntryCount = sizeof embeddedEntries / sizeof embeddedEntries[0];

namespace {

[[noreturn]] void Fail(const char *what, const std::string &type, const std::string &name) {
  std::fprintf(stderr, "resource_fuzzer: %s (type \"%s\", name \"%s\")\n", what, type.c_str(),
               name.c_str());
  std::abort();
}

bool SameIgnoringCase(const char *a, const char *b) {
  for (;; ++a, ++b) {
    int x = std::tolower(static_cast<unsigned char>(*a));
    int y = std::tolower(static_cast<unsigned char>(*b));
    if (x != y) return false;
    if (x == 0) return true;
  }
}

const EmbeddedEntry *Expected(const char *type, const char *name) {
  for (size_t i = 0; i < embeddedEntryCount; ++i)
    if (SameIgnoringCase(embeddedEntries[i].type, type) &&
        SameIgnoringCase(embeddedEntries[i].name, name))
      return &embeddedEntries[i];
  return nullptr;
}

const char *const platformCalls[] = {"GetModuleHandleA", "FindResourceA", "LoadResource",
                                     "LockResource", "SizeofResource"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  uint8_t control = data[0];
  std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
  size_t zero = rest.find('\0');
  std::string type = zero == std::string::npos ? "JPG" : rest.substr(0, zero);
  std::string name = zero == std::string::npos ? rest : rest.substr(zero + 1);
  // Names end at their first zero byte, as C strings do.
  name = name.c_str();

  FakeReset();
  const EmbeddedEntry *expected = Expected(type.c_str(), name.c_str());
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, name.c_str(), type.c_str());
  if (found != reinterpret_cast<HRSRC>(const_cast<EmbeddedEntry *>(expected)))
    Fail("FindResourceA found another entry than the first match", type, name);
  if (FindResourceA(module, name.c_str(), nullptr) != nullptr ||
      FindResourceA(module, nullptr, type.c_str()) != nullptr)
    Fail("a missing name or type found something", type, name);

  // The same lookup twice gives the same bytes; a miss gives {null, 0}.
  ResourceBytes first = FindEmbeddedResource(type.c_str(), name.c_str());
  ResourceBytes second = FindEmbeddedResource(type.c_str(), name.c_str());
  const uint8_t *wantData = expected != nullptr ? expected->begin : nullptr;
  uint32_t wantSize =
      expected != nullptr ? static_cast<uint32_t>(expected->end - expected->begin) : 0;
  if (first.data != wantData || first.size != wantSize || second.data != first.data ||
      second.size != first.size)
    Fail("FindEmbeddedResource gave other bytes than the entry's", type, name);

  // One of the platform calls fails: each step passes its failure value on,
  // and nothing reads through the null handle that follows.
  int failing = control % 5;
  FakeFailCall(platformCalls[failing]);
  ResourceBytes broken = FindEmbeddedResource(type.c_str(), name.c_str());
  ResourceBytes want{wantData, wantSize};
  switch (failing) {
  case 0: break; // the module handle is not needed to search our own table
  case 1: want = {nullptr, 0}; break;
  case 2: // load or lock: no bytes, but the entry's size
  case 3: want.data = nullptr; break;
  case 4: want.size = 0; break;
  }
  if (broken.data != want.data || broken.size != want.size)
    Fail("a failed platform call gave other values than its failure values", type, name);
  FakeReset(); // what the double recorded is released within this input
  return 0;
}
