// The pictures inside the executable, found by type and name.
#pragma once

#include <cstdint>

struct ResourceBytes {
  const uint8_t *data; // read-only, valid for the whole run; null when missing
  uint32_t size;       // 0 when missing
};

// Names are compared without regard to letter case ("DATA_screen" finds
// "DATA_SCREEN"); a missing name or the wrong type gives {null, 0}. The gift
// pack this run shows, if any, is searched first.
ResourceBytes FindEmbeddedResource(const char *type, const char *name);
