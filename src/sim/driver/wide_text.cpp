#include "sim/driver/wide_text.h"

#include <cstdint>

namespace skyfw::sim {
size_t HashIgnoringCase(std::u16string_view text) {
  uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
  for (char16_t c : text) hash = (hash ^ AsciiLower(c)) * 0x100000001B3u;
  return static_cast<size_t>(hash);
}

}  // namespace skyfw::sim
