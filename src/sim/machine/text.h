// Text helpers of the simulated machine: case-insensitive comparison of ASCII
// names as Windows compares them (UTF-8/UTF-16 conversion: platform/unicode.h).
#pragma once

#include <string>
#include <string_view>

#include "base/unicode.h"

namespace skyfw::sim {

char AsciiUpper(char c);
std::string AsciiUpper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace skyfw::sim
