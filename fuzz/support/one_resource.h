// A resource table of one entry whose bytes the harness swaps for each input,
// so the loaders reach fuzz data through the same lookup as the intro.
#pragma once

#include <cstddef>
#include <cstdint>

// Makes the single table entry (type, name) point at `size` bytes from
// `data`; the bytes must stay valid until the next call.
void SetFuzzResource(const char *type, const char *name, const uint8_t *data, size_t size);
