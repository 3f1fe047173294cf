// Broken-down UTC time, thread-safe on every platform.
#pragma once

#include <ctime>

namespace skyfw::platform {

// False when the time cannot be represented.
inline bool UtcCalendarTime(std::time_t time, std::tm& out) {
#if defined(_WIN32)
  return gmtime_s(&out, &time) == 0;
#else
  return gmtime_r(&time, &out) != nullptr;
#endif
}

}  // namespace skyfw::platform
