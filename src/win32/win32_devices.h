// Network-class devices and device nodes from SetupAPI and the
// configuration manager.
#pragma once

#include "platform/devices.h"

namespace skyfw::win32 {

class Win32Devices final : public platform::Devices {
 public:
  uint32_t GetClassDevs(const platform::Guid& class_guid, uint32_t flags,
                        std::unique_ptr<platform::DeviceInfoSet>& devices) override;
  uint32_t LocateDevNode(std::string_view instance_id, uint32_t flags, uint32_t& dev_inst) override;
  uint32_t GetDevNodeStatus(uint32_t dev_inst, uint32_t& status, uint32_t& problem) override;
  uint32_t GetDevNodeProperty(uint32_t dev_inst, const platform::DevPropKey& key,
                              uint32_t& property_type, std::vector<uint8_t>& value) override;
  uint32_t GetDeviceInterfaceList(const platform::Guid& interface_class, uint32_t flags,
                                  std::vector<std::u16string>& paths) override;
  uint32_t GetDeviceInterfaceProperty(std::u16string_view path, const platform::DevPropKey& key,
                                      uint32_t& property_type,
                                      std::vector<uint8_t>& value) override;
};

}  // namespace skyfw::win32
