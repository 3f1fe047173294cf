// Comparing WMI names and key values (UTF-8/UTF-16 conversion:
// platform/unicode.h, included here).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/text.h"
#include "base/unicode.h"

namespace skyfw::sim {

// A hash equal for texts that are equal ignoring the case of ASCII letters,
// as WMI compares key values (EqualsNoCase, base/text.h, included here).
size_t HashIgnoringCase(std::u16string_view text);

}  // namespace skyfw::sim
