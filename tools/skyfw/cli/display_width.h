// How many terminal columns a UTF-8 text takes, so that tables line up when a
// product name holds accented or East Asian letters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace skyfw::tool {

// Combining marks and zero-width characters take no column, East Asian wide
// and fullwidth characters two, everything else one. A byte that is not part
// of valid UTF-8 counts as one column (it is shown as one replacement sign).
size_t DisplayWidth(std::string_view text);

// text followed by blanks up to width columns (none when it is wider).
std::string PadToWidth(const std::string& text, size_t width);

}  // namespace skyfw::tool
