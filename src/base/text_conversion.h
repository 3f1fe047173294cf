// Host texts. The host and WMI speak UTF-16; everything inside the library is
// 8-bit UTF-8 (the conversions are in platform/unicode.h, included here).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/text.h"
#include "base/unicode.h"

namespace skyfw {

// UTF-16 to wchar_t text (UTF-32 on Linux, UTF-16 on Windows), for "%ls" in trace
// formats. Returns false on an unpaired surrogate (replaced by U+FFFD).
bool Utf16ToWide(std::u16string_view text, std::wstring& out);

// The fixed text fields of the host's structures hold UTF-16 units of the
// header's own type (WCHAR on Windows, char16_t elsewhere).

// Writes as much of text as fits; the end mark only when there is room for
// it, as the host expects.
template <typename Unit, size_t N>
void PutTextField(Unit (&field)[N], std::u16string_view text) {
  static_assert(sizeof(Unit) == sizeof(char16_t));
  const size_t length = text.size() < N ? text.size() : N;
  for (size_t i = 0; i < length; ++i) field[i] = static_cast<Unit>(text[i]);
  if (length < N) field[length] = Unit{0};
}

// The field's text up to its end mark, or whole when it has none.
template <typename Unit, size_t N>
std::u16string TextFieldOf(const Unit (&field)[N]) {
  static_assert(sizeof(Unit) == sizeof(char16_t));
  const std::basic_string_view<Unit> text = TextUpToZero(field);
  return std::u16string(text.begin(), text.end());
}

// The same as wchar_t text, for "%ls" in trace formats.
template <typename Unit, size_t N>
std::wstring TextFieldForTrace(const Unit (&field)[N]) {
  std::wstring wide;
  Utf16ToWide(TextFieldOf(field), wide);
  return wide;
}

}  // namespace skyfw
