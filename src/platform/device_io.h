// Device handles: opening a device by name and sending it I/O control
// requests (CreateFile, DeviceIoControl, CloseHandle).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/win32_types.h"

namespace skyfw::platform {

// I/O control codes the system sends.
inline constexpr uint32_t IOCTL_NDIS_QUERY_GLOBAL_STATS = 0x00170002;
inline constexpr uint32_t IOCTL_NRVN_FWCMD = 0xC301FC07;

// An open device; closed when destroyed (CloseHandle).
class DeviceHandle {
 public:
  virtual ~DeviceHandle() = default;

  // DeviceIoControl: ERROR_SUCCESS or the Win32 error of the failure.
  // `bytes_returned` is set on both paths (what the driver wrote into
  // `output`, which is never more than output.size()).
  virtual uint32_t DeviceIoControl(uint32_t control_code, std::span<const uint8_t> input,
                                   std::span<uint8_t> output, uint32_t& bytes_returned) = 0;
};

class DeviceIo {
 public:
  virtual ~DeviceIo() = default;

  // CreateFile(name, access, share, no security, OPEN_EXISTING, normal) on a
  // device: "\\\\.\\Global\\{interface-guid}" (an adapter's NDIS device) or a
  // device interface path from Devices::GetDeviceInterfaceList (UTF-8 here).
  // ERROR_FILE_NOT_FOUND when no such device exists or its driver is not
  // running, ERROR_SHARING_VIOLATION when an open handle's sharing refuses
  // this access, or this sharing refuses an open handle's access.
  virtual uint32_t CreateFile(std::string_view name, uint32_t desired_access, uint32_t share_mode,
                              std::unique_ptr<DeviceHandle>& handle) = 0;
};

}  // namespace skyfw::platform
