// Text helpers of the simulated machine: UTF-8 and UTF-16 conversion,
// case-insensitive comparison of ASCII names as Windows compares them.
#pragma once

#include <string>
#include <string_view>

namespace skyfw::sim {

std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

char AsciiUpper(char c);
std::string AsciiUpper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace skyfw::sim
