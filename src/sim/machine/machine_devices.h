// The machine's device list (SetupAPI), device nodes and device interfaces
// (configuration manager), and device handles (CreateFile/DeviceIoControl),
// which hand the adapter ports' requests to the simulated driver.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_io.h"
#include "platform/devices.h"
#include "sim/machine/driver_interface.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

// The firmware-command interface path of a port device.
std::string FirmwareCommandInterfacePath(const DeviceDescription& device);

class MachineDevices final : public platform::Devices {
 public:
  explicit MachineDevices(const MachineDescription& description) : description_(description) {}

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

 private:
  const MachineDescription& description_;
};

class MachineDeviceIo final : public platform::DeviceIo {
 public:
  MachineDeviceIo(const MachineDescription& description, DeviceProvider* provider)
      : description_(description), provider_(provider) {}

  uint32_t CreateFile(std::string_view name, uint32_t desired_access, uint32_t share_mode,
                      std::unique_ptr<platform::DeviceHandle>& handle) override;

  // Used by handles.
  uint32_t Send(const DeviceTarget& target, uint32_t control_code, std::span<const uint8_t> input,
                std::span<uint8_t> output, uint32_t& bytes_returned);
  void Close(uint64_t handle_id);

 private:
  struct OpenHandle {
    size_t device_index;
    DeviceKind kind;
    uint32_t access;
    uint32_t share;
  };

  const MachineDescription& description_;
  DeviceProvider* provider_;
  std::mutex mutex_;
  std::map<size_t, uint32_t> open_tries_;  // by device index, this process
  std::map<uint64_t, OpenHandle> open_;
  uint64_t next_handle_ = 1;
};

}  // namespace skyfw::sim
