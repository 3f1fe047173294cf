// Paths from the host: zero-terminated UTF-16, used inside as UTF-8.
#pragma once

#include <string>

namespace skyfw {

// A converted path and its end mark fit in 260 bytes.
inline constexpr size_t kHostPathBytes = 260;

// Converts a host path. Fails (out empty) when the path is null, is not valid
// UTF-16, or needs more than kHostPathBytes with its end mark: such a path is
// refused whole rather than cut, since a cut path names another file.
bool ConvertHostPath(const char16_t* path, std::string& out);

}  // namespace skyfw
