#include "seeds.h"

namespace skyfw::fuzz {
std::vector<Bytes> Seeds() { return PackageSeeds(); }
}  // namespace skyfw::fuzz
