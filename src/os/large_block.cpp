#include "os/large_block.h"

#include <cstdint>
#include <cstdlib>

#if defined(_WIN32)
#include <malloc.h>
#else
#include <sys/mman.h>
#endif

namespace skyfw::platform {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

#if defined(_WIN32)

// The C runtime frees aligned blocks with their own function, so every block
// comes from the aligned allocator.
void* AllocateLargeBlock(size_t size) {
  return _aligned_malloc(size == 0 ? 1 : size, size < kHugePage ? 16 : kHugePage);
}

void FreeLargeBlock(void* block) { _aligned_free(block); }

#else

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

#endif

}  // namespace skyfw::platform
