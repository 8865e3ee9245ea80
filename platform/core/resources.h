// The table of resources a program carries. The build generates it from the
// files in assets/images and links it into every program that shows them.
#pragma once

#include <cstddef>
#include <cstdint>

struct EmbeddedEntry {
  const char *type; // "JPG" or "TGA"
  const char *name; // upper case, as stored
  const unsigned char *begin;
  const unsigned char *end; // one past the last byte
};

extern const EmbeddedEntry embeddedEntries[];
extern const size_t embeddedEntryCount;
