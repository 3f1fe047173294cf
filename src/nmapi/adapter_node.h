// AdapterNode: the library's private record of one adapter, owned by the
// adapter list from enumeration until FreeInternalData.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "nmapi/adapter_info.h"
#include "platform/device_io.h"
#include "platform/named_mutex.h"

namespace skyfw {

inline constexpr size_t kInstanceIdMax = 199;
inline constexpr size_t kDriverKeyNameMax = 199;

struct AdapterNode {
  AdapterNode();

  AdapterInfo info;
  uint32_t key = 0;           // lookup key, equal to info.handle
  std::string instanceId;     // device instance identifier, at most kInstanceIdMax
  std::string driverKeyName;  // below the network class key, at most kDriverKeyNameMax

  // Diagnostic session (guarded by the library lock): the open NDIS device
  // and the adapter's diagnostic lock, both null when no session is open.
  std::unique_ptr<platform::DeviceHandle> sessionDevice;
  std::unique_ptr<platform::NamedMutex> sessionLock;
  uint32_t ownerProcessId = 0;
  uint32_t ownerThreadId = 0;

  uint8_t ndisMajor = 0;
  uint8_t ndisMinor = 0;
};

}  // namespace skyfw
