// Result codes of the adapter management library (ngNmapi* functions).
#pragma once

#include <cstdint>

namespace skyfw {

using NmapiResult = uint32_t;

inline constexpr NmapiResult ngNMAPI_OK = 0;
inline constexpr NmapiResult ngNMAPI_SYSTEM_FAILED = 2;
inline constexpr NmapiResult ngNMAPI_BUFFER_TOO_SMALL = 3;
inline constexpr NmapiResult ngNMAPI_INVALID_HANDLE = 4;
inline constexpr NmapiResult ngNMAPI_INVALID_PARAMETER = 5;
inline constexpr NmapiResult ngNMAPI_NO_INTERFACE_ID = 11;
inline constexpr NmapiResult ngNMAPI_DRIVER_NOT_LOADED = 13;
inline constexpr NmapiResult ngNMAPI_IOCTL_FAILED = 14;
inline constexpr NmapiResult ngNMAPI_MUTEX_FAILED = 19;
inline constexpr NmapiResult ngNMAPI_NOT_INITIALIZED = 20;
inline constexpr NmapiResult ngNMAPI_NO_ADAPTER = 21;
inline constexpr NmapiResult ngNMAPI_SCM_LOCKED = 22;
inline constexpr NmapiResult ngNMAPI_VERSION_MISMATCH = 23;
inline constexpr NmapiResult ngNMAPI_LOCK_NIC_FAILED = 24;
inline constexpr NmapiResult ngNMAPI_LOG_FILE_FAILED = 29;
inline constexpr NmapiResult ngNMAPI_WMI_FAILED = 43;
inline constexpr NmapiResult ngNMAPI_REGISTRY_NOT_FOUND = 56;

// The code's name ("ngNMAPI_NO_ADAPTER"), or nullptr for a number that is no code.
const char* NmapiResultName(NmapiResult code);

}  // namespace skyfw
