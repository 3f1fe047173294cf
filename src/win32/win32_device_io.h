// Device handles: CreateFile on a device name, DeviceIoControl.
#pragma once

#include "platform/device_io.h"

namespace skyfw::win32 {

class Win32DeviceIo final : public platform::DeviceIo {
 public:
  uint32_t CreateFile(std::string_view name, uint32_t desired_access, uint32_t share_mode,
                      std::unique_ptr<platform::DeviceHandle>& handle) override;
};

}  // namespace skyfw::win32
