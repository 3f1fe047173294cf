// The Application event log: register an event source, report, deregister.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace skyfw::platform {

// An event source handle (RegisterEventSource). Destroying it deregisters
// it if Deregister was not called.
class EventSource {
 public:
  virtual ~EventSource() = default;

  // ReportEvent: type (EVENTLOG_*), category, identifier, insertion strings,
  // no user identity and no binary data. ERROR_SUCCESS or a Win32 error.
  virtual uint32_t ReportEvent(uint16_t type, uint16_t category, uint32_t event_id,
                               const std::vector<std::string>& strings) = 0;

  // DeregisterEventSource: ERROR_SUCCESS, or ERROR_INVALID_HANDLE when done twice.
  virtual uint32_t Deregister() = 0;
};

class EventLog {
 public:
  virtual ~EventLog() = default;
  // RegisterEventSource on the local computer.
  virtual uint32_t RegisterEventSource(std::string_view source_name,
                                       std::unique_ptr<EventSource>& source) = 0;
};

}  // namespace skyfw::platform
