// The reasons a named file cannot be written or read, as errno values, plus
// one of our own for a name that exists but is no regular file.
#pragma once

#include <cstring>
#include <string>

namespace skyfw::platform {

// A device, FIFO or socket: never opened, so that nothing blocks on it or
// replaces it.
inline constexpr int kNotRegularFile = -1;

inline std::string FileErrorText(int error) {
  return error == kNotRegularFile ? "not a regular file" : std::strerror(error);
}

}  // namespace skyfw::platform
