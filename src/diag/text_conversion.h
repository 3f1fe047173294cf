// Host texts. The host and WMI speak UTF-16; everything inside the library is
// 8-bit UTF-8 (the conversions are in platform/unicode.h, included here).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/unicode.h"

namespace skyfw {

// UTF-16 to wchar_t text (UTF-32 on Linux, UTF-16 on Windows), for "%ls" in trace
// formats. Returns false on an unpaired surrogate (replaced by U+FFFD).
bool Utf16ToWide(std::u16string_view text, std::wstring& out);

// A zero-terminated UTF-16 text of the host, read no further than max_units
// units: the view ends at the zero unit, or holds max_units units when none
// came first (the caller decides whether that is too long). Null is empty.
std::u16string_view BoundedWideText(const char16_t* text, size_t max_units);

}  // namespace skyfw
