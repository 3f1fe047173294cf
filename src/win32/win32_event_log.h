// The Application event log: event sources and reports.
#pragma once

#include "platform/event_log.h"

namespace skyfw::win32 {

class Win32EventLog final : public platform::EventLog {
 public:
  uint32_t RegisterEventSource(std::string_view source_name,
                               std::unique_ptr<platform::EventSource>& source) override;
};

}  // namespace skyfw::win32
