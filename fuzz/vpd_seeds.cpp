#include "seeds.h"

namespace skyfw::fuzz {
std::vector<Bytes> Seeds() { return VpdSeeds(); }
}  // namespace skyfw::fuzz
