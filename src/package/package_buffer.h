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

// An uninitialised block of `size` bytes, or null; large ones suited to being
// read once (see platform/large_block.h).
PackageBuffer AllocatePackageBuffer(size_t size);

}  // namespace skyfw
