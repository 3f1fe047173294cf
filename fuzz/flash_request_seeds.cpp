#include "seeds.h"

namespace skyfw::fuzz {
std::vector<Bytes> Seeds() { return FlashRequestSeeds(); }
}  // namespace skyfw::fuzz
