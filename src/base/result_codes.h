// Result codes of the entry points and their texts for the host.
#pragma once

#include <cstdint>

namespace skyfw {

using HostResultCode = int32_t;

inline constexpr HostResultCode kHostSuccess = 0;
inline constexpr HostResultCode kHostSuccessRebootRequired = 1;
inline constexpr HostResultCode kHostSameVersion = 2;
inline constexpr HostResultCode kHostMiscellaneous = 3;
inline constexpr HostResultCode kHostHardwareNotAccessible = 4;
inline constexpr HostResultCode kHostCanceled = 5;
inline constexpr HostResultCode kHostUnmetDependency = 6;
inline constexpr HostResultCode kHostInstallationFailed = 7;
inline constexpr HostResultCode kHostFirmwareFileNotFound = 8;
inline constexpr HostResultCode kHostFirmwareFileNotAccessible = 9;
inline constexpr HostResultCode kHostDiscoveryFileNotFound = 10;
inline constexpr HostResultCode kHostDiscoveryFileNotAccessible = 11;
inline constexpr HostResultCode kHostDiscoveryFileNotCreated = 12;
inline constexpr HostResultCode kHostNmapiInitFailed = 101;
inline constexpr HostResultCode kHostDiscoverDeviceFailed = 102;
inline constexpr HostResultCode kHostFirmwareImageInvalid = 103;
inline constexpr HostResultCode kHostDeviceNotSupported = 104;
inline constexpr HostResultCode kHostDeviceInitializeFailed = 105;
inline constexpr HostResultCode kHostFlashFailed = 106;

struct HostResultText {
  HostResultCode code;
  const char* text;
};

// The table in host order, closed by the pair {-1, nullptr}.
extern const HostResultText kHostResultTexts[];

inline constexpr const char* kUnsupportedErrorCodeText = "Unsupported Error Code!";

// The text of a code; nullptr when the table has none.
const char* HostResultTextOf(HostResultCode code);

}  // namespace skyfw
