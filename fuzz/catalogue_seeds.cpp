#include "seeds.h"

namespace skyfw::fuzz {
std::vector<Bytes> Seeds() { return CatalogueSeeds(); }
}  // namespace skyfw::fuzz
