// Classes of NVM directory types that decide how a packaged item is checked.
#pragma once

#include <cstdint>

namespace skyfw {

inline constexpr uint16_t kVpdItemType = 5;

// Images that begin with a signed header ("NVC" 0x1A ... signature, CRC).
constexpr bool IsHeaderSignedType(uint16_t type) {
  return type == 3 || type == 4 || (type >= 10 && type <= 18) || type == 58 || type == 66;
}

// Images that end with a signed trailer.
constexpr bool IsTrailerSignedType(uint16_t type) {
  return (type >= 6 && type <= 9) || type == 19 || type == 21 || type == 22 || type == 27;
}

// Blocks checked by their two marker words.
constexpr bool IsMarkedBlockType(uint16_t type) { return type >= 61 && type <= 63; }

// Every firmware image: directive 4 (skip verification) is refused for them.
constexpr bool IsFirmwareImageType(uint16_t type) {
  return IsHeaderSignedType(type) || IsTrailerSignedType(type) || IsMarkedBlockType(type);
}

}  // namespace skyfw
