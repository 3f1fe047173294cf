#include "seeds.h"

namespace skyfw::fuzz {
std::vector<Bytes> Seeds() { return MachineDescriptionSeeds(); }
}  // namespace skyfw::fuzz
