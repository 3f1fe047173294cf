// UTF-8 and UTF-16 conversion for WMI names and values. Malformed input
// becomes U+FFFD rather than being dropped, so a bad name never matches a
// good one by accident.
#pragma once

#include <string>
#include <string_view>

namespace skyfw::sim {

std::u16string Utf16(std::string_view utf8);
std::string Utf8(std::u16string_view utf16);

// Equal ignoring the case of ASCII letters, as WMI compares key values.
bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace skyfw::sim
