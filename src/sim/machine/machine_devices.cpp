#include "sim/machine/machine_devices.h"

#include "base/text.h"
#include "base/unicode.h"

namespace skyfw::sim {
namespace {

using platform::CR_INVALID_DEVNODE;
using platform::CR_NO_SUCH_DEVICE_INTERFACE;
using platform::CR_NO_SUCH_DEVNODE;
using platform::CR_NO_SUCH_VALUE;
using platform::CR_SUCCESS;
using platform::ERROR_FILE_NOT_FOUND;
using platform::ERROR_INVALID_DATA;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_NO_MORE_ITEMS;
using platform::ERROR_SUCCESS;

std::vector<uint8_t> Text8(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> Text16(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : Utf8ToUtf16(text)) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> Dword(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// Device nodes are numbered from 1 in description order.
const DeviceDescription* DeviceOf(const MachineDescription& machine, uint32_t dev_inst) {
  if (dev_inst == 0 || dev_inst > machine.devices.size()) return nullptr;
  return &machine.devices[dev_inst - 1];
}

bool IsRunning(const DeviceDescription& device) {
  return device.present && (device.status & platform::DN_STARTED) != 0 &&
         device.problem != platform::CM_PROB_DISABLED;
}

class MachineDeviceInfoSet final : public platform::DeviceInfoSet {
 public:
  MachineDeviceInfoSet(const MachineDescription& machine, std::vector<uint32_t> nodes)
      : machine_(machine), nodes_(std::move(nodes)) {}

  uint32_t EnumDeviceInfo(uint32_t index, platform::DeviceInfoData& device) override {
    if (index >= nodes_.size()) return ERROR_NO_MORE_ITEMS;
    device.class_guid = platform::GUID_DEVCLASS_NET;
    device.dev_inst = nodes_[index];
    return ERROR_SUCCESS;
  }

  uint32_t GetDeviceRegistryProperty(const platform::DeviceInfoData& info, uint32_t property,
                                     uint32_t& reg_type, std::vector<uint8_t>& value) override {
    const DeviceDescription* device = Member(info);
    if (device == nullptr) return ERROR_INVALID_PARAMETER;
    auto text = [&](const std::string& field) {
      if (field.empty()) return ERROR_INVALID_DATA;
      reg_type = platform::REG_SZ;
      value = Text8(field);
      return ERROR_SUCCESS;
    };
    auto number = [&](const std::optional<uint32_t>& field) {
      if (!field) return ERROR_INVALID_DATA;
      reg_type = platform::REG_DWORD;
      value = Dword(*field);
      return ERROR_SUCCESS;
    };
    switch (property) {
      case platform::SPDRP_DEVICEDESC:
        return text(device->description);
      case platform::SPDRP_FRIENDLYNAME:
        return text(device->friendly_name);
      case platform::SPDRP_DRIVER:
        return text(device->driver_key);
      case platform::SPDRP_SERVICE:
        return text(device->service);
      case platform::SPDRP_MFG:
        return text(device->manufacturer);
      case platform::SPDRP_CLASSGUID:
        return text("{4d36e972-e325-11ce-bfc1-08002be10318}");
      case platform::SPDRP_LEGACYBUSTYPE:
        return number(device->legacy_bus_type);
      case platform::SPDRP_BUSNUMBER:
        return number(device->bus_number);
      case platform::SPDRP_ADDRESS:
        return number(device->address);
      case platform::SPDRP_BUSTYPEGUID: {
        if (!device->bus_type_guid) return ERROR_INVALID_DATA;
        auto bytes = device->bus_type_guid->ToBytes();
        reg_type = platform::REG_BINARY;
        value.assign(bytes.begin(), bytes.end());
        return ERROR_SUCCESS;
      }
      default:
        return ERROR_INVALID_DATA;
    }
  }

  uint32_t GetDeviceInstanceId(const platform::DeviceInfoData& info,
                               std::string& instance_id) override {
    const DeviceDescription* device = Member(info);
    if (device == nullptr) return ERROR_INVALID_PARAMETER;
    instance_id = device->instance_id;
    return ERROR_SUCCESS;
  }

 private:
  // Only devices of this set answer, as with a real HDEVINFO.
  const DeviceDescription* Member(const platform::DeviceInfoData& info) const {
    for (uint32_t node : nodes_) {
      if (node == info.dev_inst) return DeviceOf(machine_, node);
    }
    return nullptr;
  }

  const MachineDescription& machine_;
  std::vector<uint32_t> nodes_;
};

class MachineDeviceHandle final : public platform::DeviceHandle {
 public:
  MachineDeviceHandle(MachineDeviceIo& io, uint64_t id, DeviceTarget target)
      : io_(io), id_(id), target_(target) {}
  ~MachineDeviceHandle() override { io_.Close(id_); }

  uint32_t DeviceIoControl(uint32_t control_code, std::span<const uint8_t> input,
                           std::span<uint8_t> output, uint32_t& bytes_returned) override {
    return io_.Send(target_, control_code, input, output, bytes_returned);
  }

 private:
  MachineDeviceIo& io_;
  uint64_t id_;
  DeviceTarget target_;
};

// The firmware-command interface class in lower case, as interface paths carry it.
std::string LowerInterfaceClass() { return AsciiLower(kFirmwareCommandInterfaceClass); }

}  // namespace

std::string FirmwareCommandInterfacePath(const DeviceDescription& device) {
  std::string path = "\\\\?\\";
  for (char c : device.instance_id) path.push_back(c == '\\' ? '#' : c);
  return path + "#" + LowerInterfaceClass();
}

uint32_t MachineDevices::GetClassDevs(const platform::Guid& class_guid, uint32_t flags,
                                      std::unique_ptr<platform::DeviceInfoSet>& devices) {
  std::vector<uint32_t> nodes;
  if (class_guid == platform::GUID_DEVCLASS_NET) {
    for (size_t i = 0; i < description_.devices.size(); ++i) {
      if ((flags & platform::DIGCF_PRESENT) != 0 && !description_.devices[i].present) continue;
      nodes.push_back(static_cast<uint32_t>(i + 1));
    }
  }
  devices = std::make_unique<MachineDeviceInfoSet>(description_, std::move(nodes));
  return ERROR_SUCCESS;
}

uint32_t MachineDevices::LocateDevNode(std::string_view instance_id, uint32_t flags,
                                       uint32_t& dev_inst) {
  for (size_t i = 0; i < description_.devices.size(); ++i) {
    const DeviceDescription& device = description_.devices[i];
    if (!EqualsNoCase(device.instance_id, instance_id)) continue;
    if (!device.present && (flags & platform::CM_LOCATE_DEVNODE_PHANTOM) == 0) break;
    dev_inst = static_cast<uint32_t>(i + 1);
    return CR_SUCCESS;
  }
  return CR_NO_SUCH_DEVNODE;
}

uint32_t MachineDevices::GetDevNodeStatus(uint32_t dev_inst, uint32_t& status, uint32_t& problem) {
  const DeviceDescription* device = DeviceOf(description_, dev_inst);
  if (device == nullptr) return CR_INVALID_DEVNODE;
  if (!device->present) return CR_NO_SUCH_DEVNODE;
  status = device->status;
  problem = device->problem;
  return CR_SUCCESS;
}

uint32_t MachineDevices::GetDevNodeProperty(uint32_t dev_inst, const platform::DevPropKey& key,
                                            uint32_t& property_type, std::vector<uint8_t>& value) {
  const DeviceDescription* device = DeviceOf(description_, dev_inst);
  if (device == nullptr) return CR_INVALID_DEVNODE;
  if (key == platform::DEVPKEY_Device_DeviceDesc) {
    property_type = platform::DEVPROP_TYPE_STRING;
    value = Text16(device->description);
    return CR_SUCCESS;
  }
  if (key == platform::DEVPKEY_Device_InstanceId) {
    property_type = platform::DEVPROP_TYPE_STRING;
    value = Text16(device->instance_id);
    return CR_SUCCESS;
  }
  return CR_NO_SUCH_VALUE;
}

uint32_t MachineDevices::GetDeviceInterfaceList(const platform::Guid& interface_class,
                                                uint32_t flags,
                                                std::vector<std::u16string>& paths) {
  paths.clear();
  if (interface_class != *platform::Guid::Parse(kFirmwareCommandInterfaceClass)) {
    return CR_SUCCESS;
  }
  bool present_only = (flags & platform::CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES) == 0;
  for (const DeviceDescription& device : description_.devices) {
    if (!device.adapter_index) continue;
    if (present_only && !IsRunning(device)) continue;
    paths.push_back(Utf8ToUtf16(FirmwareCommandInterfacePath(device)));
  }
  return CR_SUCCESS;
}

uint32_t MachineDevices::GetDeviceInterfaceProperty(std::u16string_view path,
                                                    const platform::DevPropKey& key,
                                                    uint32_t& property_type,
                                                    std::vector<uint8_t>& value) {
  for (const DeviceDescription& device : description_.devices) {
    if (!device.adapter_index) continue;
    if (!EqualsNoCase(Utf8ToUtf16(FirmwareCommandInterfacePath(device)), path)) continue;
    if (key != platform::DEVPKEY_Device_InstanceId) return CR_NO_SUCH_VALUE;
    property_type = platform::DEVPROP_TYPE_STRING;
    value = Text16(device.instance_id);
    return CR_SUCCESS;
  }
  return CR_NO_SUCH_DEVICE_INTERFACE;
}

// ---- device I/O ------------------------------------------------------------

uint32_t MachineDeviceIo::CreateFile(std::string_view name, uint32_t desired_access,
                                     uint32_t share_mode,
                                     std::unique_ptr<platform::DeviceHandle>& handle) {
  // Find the port device the name stands for.
  std::optional<size_t> found;
  DeviceKind kind = DeviceKind::kNdis;
  constexpr std::string_view kNdisPrefix = "\\\\.\\Global\\";
  for (size_t i = 0; i < description_.devices.size(); ++i) {
    const DeviceDescription& device = description_.devices[i];
    if (!device.adapter_index) continue;
    if (StartsWithNoCase(name, kNdisPrefix) &&
        EqualsNoCase(name.substr(kNdisPrefix.size()), device.net_cfg_instance_id)) {
      found = i;
      kind = DeviceKind::kNdis;
    } else if (EqualsNoCase(name, FirmwareCommandInterfacePath(device))) {
      found = i;
      kind = DeviceKind::kFirmwareCommand;
    }
    if (found) break;
  }
  if (!found || !IsRunning(description_.devices[*found])) return ERROR_FILE_NOT_FOUND;
  const DeviceDescription& device = description_.devices[*found];

  std::lock_guard<std::mutex> guard(mutex_);
  // A device that opens only at its n-th try in this process.
  uint32_t& tries = open_tries_[*found];
  if (tries < UINT32_MAX) ++tries;
  if (tries < device.open_at_try) return ERROR_FILE_NOT_FOUND;

  // Sharing: each open must allow what the other asks for.
  auto reads = [](uint32_t access) { return (access & platform::GENERIC_READ) != 0; };
  auto writes = [](uint32_t access) { return (access & platform::GENERIC_WRITE) != 0; };
  for (const auto& [id, open] : open_) {
    if (open.device_index != *found || open.kind != kind) continue;
    bool refused = (reads(desired_access) && (open.share & platform::FILE_SHARE_READ) == 0) ||
                   (writes(desired_access) && (open.share & platform::FILE_SHARE_WRITE) == 0) ||
                   (reads(open.access) && (share_mode & platform::FILE_SHARE_READ) == 0) ||
                   (writes(open.access) && (share_mode & platform::FILE_SHARE_WRITE) == 0);
    if (refused) return platform::ERROR_SHARING_VIOLATION;
  }
  uint64_t id = next_handle_++;
  open_[id] = OpenHandle{*found, kind, desired_access, share_mode};
  DeviceTarget target;
  target.kind = kind;
  target.adapter_index = *device.adapter_index;
  target.port_index = *device.port_index;
  handle = std::make_unique<MachineDeviceHandle>(*this, id, target);
  return ERROR_SUCCESS;
}

uint32_t MachineDeviceIo::Send(const DeviceTarget& target, uint32_t control_code,
                               std::span<const uint8_t> input, std::span<uint8_t> output,
                               uint32_t& bytes_returned) {
  bytes_returned = 0;
  if (provider_ == nullptr) return platform::ERROR_INVALID_FUNCTION;
  uint32_t result = provider_->DeviceIoControl(target, control_code, input, output, bytes_returned);
  if (bytes_returned > output.size()) bytes_returned = static_cast<uint32_t>(output.size());
  return result;
}

void MachineDeviceIo::Close(uint64_t handle_id) {
  std::lock_guard<std::mutex> guard(mutex_);
  open_.erase(handle_id);
}

}  // namespace skyfw::sim
