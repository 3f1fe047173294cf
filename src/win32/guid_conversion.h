// The seam's Guid and DevPropKey as Windows' GUID and DEVPROPKEY.
#pragma once

#include <cstring>

#include "win32/windows_api.h"

namespace skyfw::win32 {

inline GUID ToWindows(const platform::Guid& guid) {
  GUID result{};
  result.Data1 = guid.data1;
  result.Data2 = guid.data2;
  result.Data3 = guid.data3;
  std::memcpy(result.Data4, guid.data4.data(), sizeof result.Data4);
  return result;
}

inline platform::Guid FromWindows(const GUID& guid) {
  platform::Guid result;
  result.data1 = guid.Data1;
  result.data2 = guid.Data2;
  result.data3 = guid.Data3;
  std::memcpy(result.data4.data(), guid.Data4, sizeof guid.Data4);
  return result;
}

inline DEVPROPKEY ToWindows(const platform::DevPropKey& key) {
  DEVPROPKEY result{};
  result.fmtid = ToWindows(key.fmtid);
  result.pid = key.pid;
  return result;
}

}  // namespace skyfw::win32
