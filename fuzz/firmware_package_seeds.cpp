#include "seeds.h"

namespace skyfw::fuzz {
std::vector<Bytes> Seeds() { return FirmwarePackageSeeds(); }
}  // namespace skyfw::fuzz
