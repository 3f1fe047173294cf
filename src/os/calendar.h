// Broken-down UTC time, thread-safe on every platform.
#pragma once

#include <ctime>

namespace skyfw::platform {

// False when the time cannot be represented.
bool UtcCalendarTime(std::time_t time, std::tm& out);

}  // namespace skyfw::platform
