#include "package/package_buffer.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace skyfw {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void PackageBufferRelease::operator()(uint8_t* bytes) const { std::free(bytes); }

PackageBuffer AllocatePackageBuffer(size_t size) {
  if (size < kHugePage) return PackageBuffer(static_cast<uint8_t*>(std::malloc(size)));
  const size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
  auto* bytes = static_cast<uint8_t*>(std::aligned_alloc(kHugePage, rounded));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only advice: without huge pages the block works the same.
  if (bytes != nullptr) madvise(bytes, rounded, MADV_HUGEPAGE);
#endif
  return PackageBuffer(bytes);
}

}  // namespace skyfw
