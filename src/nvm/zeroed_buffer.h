// Buffers the driver fills: a size the driver or the caller names is not
// trusted to be allocatable, so running out of memory is a status, not a throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace skyfw {

// `size` zero bytes in `buffer`; false when they cannot be allocated.
[[nodiscard]] inline bool AllocateZeroed(std::vector<uint8_t>& buffer, size_t size) {
  try {
    buffer.assign(size, 0);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace skyfw
