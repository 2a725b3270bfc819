// memcpy for the small values that make up most rows and parameters (2-, 4-
// and 8-byte numbers): a copy of a size known at compile time is a plain
// move, a copy of a variable size a library call.
#pragma once

#include <cstddef>
#include <cstring>

inline void CopyValueBytes(void* dst, const void* src, std::size_t n) noexcept {
  switch (n) {
    case 2: std::memcpy(dst, src, 2); break;
    case 4: std::memcpy(dst, src, 4); break;
    case 8: std::memcpy(dst, src, 8); break;
    default:
      if (n > 0) std::memcpy(dst, src, n);
      break;
  }
}
