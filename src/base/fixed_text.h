// Copying texts into the fixed, zero-terminated fields of AdapterInfo: a
// text that does not fit is cut to the field.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace skyfw {

template <size_t N>
void CopyFixedText(char (&field)[N], std::string_view text) {
  static_assert(N > 0);
  size_t length = std::min(text.size(), N - 1);
  if (length != 0) std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// The field's text up to its terminator (never past the field).
template <size_t N>
std::string_view FixedText(const char (&field)[N]) {
  const void* end = std::memchr(field, '\0', N);
  size_t length = end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - field) : N;
  return std::string_view(field, length);
}

}  // namespace skyfw
