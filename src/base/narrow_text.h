// The device record's wide texts as the 8-bit texts the NVM operations and
// messages take.
#pragma once

#include <cstddef>
#include <string>

#include "base/text_conversion.h"

namespace skyfw {

// UTF-8 of `wide`, cut to fit a buffer of `capacity` bytes with its
// terminator.
inline std::string NarrowText(const std::u16string& wide, size_t capacity) {
  std::string narrow;
  Utf16ToUtf8(wide, narrow);
  if (narrow.size() >= capacity) narrow.resize(capacity - 1);
  return narrow;
}

}  // namespace skyfw
