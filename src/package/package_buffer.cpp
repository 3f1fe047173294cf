#include "package/package_buffer.h"

#include "os/large_block.h"

namespace skyfw {

void PackageBufferRelease::operator()(uint8_t* bytes) const { platform::FreeLargeBlock(bytes); }

PackageBuffer AllocatePackageBuffer(size_t size) {
  return PackageBuffer(static_cast<uint8_t*>(platform::AllocateLargeBlock(size)));
}

}  // namespace skyfw
