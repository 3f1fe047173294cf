#include "os/calendar.h"

namespace skyfw::platform {

bool UtcCalendarTime(std::time_t time, std::tm& out) { return gmtime_r(&time, &out) != nullptr; }

}  // namespace skyfw::platform
