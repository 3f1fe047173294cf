#include "os/calendar.h"

namespace skyfw::platform {

bool UtcCalendarTime(std::time_t time, std::tm& out) { return gmtime_s(&out, &time) == 0; }

}  // namespace skyfw::platform
