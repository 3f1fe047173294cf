// Memory for a whole package file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace skyfw {

struct PackageBufferRelease {
  void operator()(uint8_t* bytes) const;
};
using PackageBuffer = std::unique_ptr<uint8_t[], PackageBufferRelease>;

// An uninitialised block of `size` bytes, or null. Large blocks are aligned
// for huge pages and, on Linux, advised to use them: a package is read once
// into fresh memory, and faulting it in 4 KiB pages costs as much as hashing
// it.
PackageBuffer AllocatePackageBuffer(size_t size);

}  // namespace skyfw
