// The byte count of a picture's pixels, refused rather than wrapped. In the
// browser size_t is 32 bits: a header's width times height times depth can
// pass 4 GiB there and read as a few bytes, which every length check passes
// and every row copy then overruns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>

// width x height pixels of bytesPerPixel bytes, or nothing when that count
// does not fit in Size: size_t where the count is allocated, and any smaller
// unsigned type a test wants to stand in for the browser's.
template <typename Size = size_t>
constexpr std::optional<Size> PixelBytes(uint64_t width, uint64_t height, uint64_t bytesPerPixel) {
  static_assert(std::is_unsigned_v<Size> && sizeof(Size) <= sizeof(uint64_t));
  constexpr uint64_t limit = std::numeric_limits<Size>::max();
  if (width == 0 || height == 0 || bytesPerPixel == 0) return Size{0};
  // Each step divides first, so no product is formed that could wrap.
  if (width > limit / height) return std::nullopt;
  uint64_t pixels = width * height;
  if (pixels > limit / bytesPerPixel) return std::nullopt;
  return static_cast<Size>(pixels * bytesPerPixel);
}
