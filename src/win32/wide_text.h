// The wide text of the W functions and the seam's UTF-16 and UTF-8. wchar_t
// is 16 bits here, the same code units as the seam's char16_t. A UTF-8 name
// goes through platform::ToWide, which refuses text that is not UTF-8: the
// callers answer ERROR_NO_UNICODE_TRANSLATION, as Windows' own conversion
// would, rather than name another object.
#pragma once

#include <string>
#include <string_view>

#include "base/unicode.h"

namespace skyfw::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring Widen(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

inline std::u16string ToU16(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

inline std::string Narrow(std::wstring_view text) { return platform::FromWide(text); }

// The text of a wide buffer up to its first zero (or its end).
inline std::wstring_view UpToZero(const wchar_t* text, size_t capacity) {
  std::wstring_view view(text, capacity);
  return view.substr(0, view.find(L'\0'));
}

}  // namespace skyfw::win32
