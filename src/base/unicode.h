// UTF-16 <-> UTF-8 conversion, for everything that meets the host's and
// WMI's UTF-16: the plug-in's layers and the simulated machine alike.
//
// Invalid input (an unpaired surrogate, a malformed UTF-8 sequence) is not
// silently passed on: the conversion reports it and puts U+FFFD in its place,
// so a caller may refuse the text or go on with a visible substitute (and a
// bad name never matches a good one by accident).
#pragma once

#include <optional>
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

namespace platform {

// UTF-8 as the platform's wide text (wchar_t: UTF-16 on Windows, one code
// point per unit elsewhere), for the W functions and the C runtime's _w
// calls. Nothing when the text is not well-formed UTF-8: a name with a
// substitute in it would be another file's name, so it is refused instead.
std::optional<std::wstring> ToWide(std::string_view utf8);

// Wide text as UTF-8. Returns false when it held something that is no
// character (an unpaired surrogate), which becomes U+FFFD.
bool FromWide(std::wstring_view wide, std::string& out);
// The same, for callers content with the substitutes.
std::string FromWide(std::wstring_view wide);

}  // namespace platform
}  // namespace skyfw
