// Counts heap allocations while switched on, in two ways at once:
//  - process: every malloc/calloc/realloc/memalign in the process, the GL
//    driver's and its worker threads' included (the program replaces malloc);
//  - ours: only calls made from code linked statically into this executable
//    (the scene, the player, the bench itself), through the linker's --wrap of
//    malloc, calloc, realloc and operator new. The driver is a shared library,
//    so its calls never pass through the wrappers.
#pragma once

#include <cstdint>

struct AllocCounts {
  uint64_t process = 0;
  uint64_t ours = 0;
};

void AllocCountingStart();
AllocCounts AllocCountingStop();

// The return address of the first allocation counted in the process since the
// last start (0 when none): where in which library the driver allocates.
void *AllocFirstProcessCaller();
