#include "seeds.h"

namespace skyfw::fuzz {
std::vector<Bytes> Seeds() { return PackageLogSeeds(); }
}  // namespace skyfw::fuzz
