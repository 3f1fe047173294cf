// UTF-16 <-> UTF-8 conversions.
//
// The host and WMI speak UTF-16; everything inside the library is 8-bit UTF-8.
// Invalid input (an unpaired surrogate, a malformed UTF-8 sequence) is not
// silently passed on: the conversion reports it and puts U+FFFD in its place,
// so a caller may refuse the text or go on with a visible substitute.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace skyfw {

// Returns false when the input held an unpaired surrogate.
bool Utf16ToUtf8(std::u16string_view text, std::string& out);
// Returns false when the input was not well-formed UTF-8 (overlong forms,
// encoded surrogates, values past U+10FFFF, cut sequences).
bool Utf8ToUtf16(std::string_view text, std::u16string& out);

// UTF-16 to wchar_t text (UTF-32 on this platform), for "%ls" in trace
// formats. Returns false on an unpaired surrogate (replaced by U+FFFD).
bool Utf16ToWide(std::u16string_view text, std::wstring& out);

// A zero-terminated UTF-16 text of the host, read no further than max_units
// units: the view ends at the zero unit, or holds max_units units when none
// came first (the caller decides whether that is too long). Null is empty.
std::u16string_view BoundedWideText(const char16_t* text, size_t max_units);

}  // namespace skyfw
