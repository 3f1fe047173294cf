// Memory for large blocks read once, such as a whole package file.
#pragma once

#include <cstddef>

namespace skyfw::platform {

// The size of a huge page, from which on blocks are aligned for them.
inline constexpr size_t kHugePage = size_t{2} << 20;

// An uninitialised block of `size` bytes, or null; free it with
// FreeLargeBlock. Blocks of 2 MiB and more are aligned for huge pages and,
// on Linux, advised to use them: faulting fresh memory in 4 KiB pages costs
// as much as hashing it.
void* AllocateLargeBlock(size_t size);
void FreeLargeBlock(void* block);

}  // namespace skyfw::platform
