// Copying texts into the fixed, zero-terminated fields of AdapterInfo: a
// text that does not fit is cut to the field.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "base/text.h"  // TextUpToZero reads them back

namespace skyfw {

template <size_t N>
void CopyFixedText(char (&field)[N], std::string_view text) {
  static_assert(N > 0);
  size_t length = std::min(text.size(), N - 1);
  if (length != 0) std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace skyfw
