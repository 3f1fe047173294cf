#include "os/large_block.h"

#include <malloc.h>

namespace skyfw::platform {

// The C runtime frees aligned blocks with their own function, so every block
// comes from the aligned allocator.
void* AllocateLargeBlock(size_t size) {
  return _aligned_malloc(size == 0 ? 1 : size, size < kHugePage ? 16 : kHugePage);
}

void FreeLargeBlock(void* block) { _aligned_free(block); }

}  // namespace skyfw::platform
