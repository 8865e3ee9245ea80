// The heap blocks of the picture loaders and of the glow texture's set-up all
// come from AssetAlloc, so that a test can make one chosen allocation fail and
// follow that failure path. Replacing malloc itself would not do: under
// AddressSanitizer the sanitiser owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// AssetAlloc calls since FailAssetAllocation armed a failure, and the one that
// fails (0: none, and then nothing is counted).
inline uint32_t assetAllocations = 0;
inline uint32_t assetAllocationToFail = 0;

// std::malloc, except for the call a test has marked to fail: null then.
inline void *AssetAlloc(size_t size) {
  if (assetAllocationToFail != 0 && ++assetAllocations == assetAllocationToFail) return nullptr;
  return std::malloc(size);
}

// The n-th AssetAlloc from now returns null; n = 0 disarms.
inline void FailAssetAllocation(uint32_t n) {
  assetAllocations = 0;
  assetAllocationToFail = n;
}
