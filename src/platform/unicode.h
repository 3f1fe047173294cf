// UTF-16 <-> UTF-8 conversion, for everything that meets the host's and
// WMI's UTF-16: the plug-in's layers and the simulated machine alike.
//
// Invalid input (an unpaired surrogate, a malformed UTF-8 sequence) is not
// silently passed on: the conversion reports it and puts U+FFFD in its place,
// so a caller may refuse the text or go on with a visible substitute (and a
// bad name never matches a good one by accident).
#pragma once

#include <string>
#include <string_view>

namespace skyfw {

// Returns false when the input held an unpaired surrogate.
bool Utf16ToUtf8(std::u16string_view text, std::string& out);
// Returns false when the input was not well-formed UTF-8 (overlong forms,
// encoded surrogates, values past U+10FFFF, cut sequences).
bool Utf8ToUtf16(std::string_view text, std::u16string& out);
// Code points, one per element. Returns false on an unpaired surrogate.
bool Utf16ToUtf32(std::u16string_view text, std::u32string& out);

// The same, for callers content with the substitutes.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace skyfw
