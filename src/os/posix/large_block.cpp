#include "os/large_block.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace skyfw::platform {

void* AllocateLargeBlock(size_t size) {
  if (size < kHugePage) return std::malloc(size);
  if (size > SIZE_MAX - (kHugePage - 1)) return nullptr;
  const size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
  void* block = std::aligned_alloc(kHugePage, rounded);
#if defined(MADV_HUGEPAGE)
  // Only advice: without huge pages the block works the same.
  if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);
#endif
  return block;
}

void FreeLargeBlock(void* block) { std::free(block); }

}  // namespace skyfw::platform
