// Device installation (SetupAPI) and the configuration manager (CfgMgr32):
// the devices of a setup class with their registry properties and instance
// identifiers, device nodes with status and problem, device interfaces.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace skyfw::platform {

// SP_DEVINFO_DATA: one device of a device information set.
struct DeviceInfoData {
  Guid class_guid;
  uint32_t dev_inst = 0;  // the device node, as CM_Locate_DevNode would give it
};

// A device information set (HDEVINFO); destroyed with its owner
// (SetupDiDestroyDeviceInfoList).
class DeviceInfoSet {
 public:
  virtual ~DeviceInfoSet() = default;

  // SetupDiEnumDeviceInfo: ERROR_NO_MORE_ITEMS past the last device.
  virtual uint32_t EnumDeviceInfo(uint32_t index, DeviceInfoData& device) = 0;

  // SetupDiGetDeviceRegistryProperty (A form): the property's registry type
  // and bytes. Texts are 8-bit with their terminator (REG_SZ); SPDRP_ADDRESS,
  // SPDRP_BUSNUMBER and SPDRP_LEGACYBUSTYPE are REG_DWORD (4 bytes);
  // SPDRP_BUSTYPEGUID is REG_BINARY (16 bytes, Guid::ToBytes). A property the
  // device does not have: ERROR_INVALID_DATA, as Windows answers.
  virtual uint32_t GetDeviceRegistryProperty(const DeviceInfoData& device, uint32_t property,
                                             uint32_t& reg_type, std::vector<uint8_t>& value) = 0;

  // SetupDiGetDeviceInstanceId (A form), e.g.
  // "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&1A2B3C4D&0&0018".
  virtual uint32_t GetDeviceInstanceId(const DeviceInfoData& device, std::string& instance_id) = 0;
};

class Devices {
 public:
  virtual ~Devices() = default;

  // SetupDiGetClassDevs for a setup class (GUID_DEVCLASS_NET ...); with
  // DIGCF_PRESENT only devices that are present.
  virtual uint32_t GetClassDevs(const Guid& class_guid, uint32_t flags,
                                std::unique_ptr<DeviceInfoSet>& devices) = 0;

  // CM_Locate_DevNode: the device node of an instance identifier (compared
  // without regard to case). CR_NO_SUCH_DEVNODE when there is none; with
  // CM_LOCATE_DEVNODE_NORMAL also for a device that is not present.
  virtual uint32_t LocateDevNode(std::string_view instance_id, uint32_t flags,
                                 uint32_t& dev_inst) = 0;

  // CM_Get_DevNode_Status: DN_* status bits and the CM_PROB_* problem number.
  virtual uint32_t GetDevNodeStatus(uint32_t dev_inst, uint32_t& status, uint32_t& problem) = 0;

  // CM_Get_DevNode_Property: DEVPROP_TYPE_STRING values are UTF-16LE bytes
  // with their terminator. CR_NO_SUCH_VALUE for a property the node lacks.
  virtual uint32_t GetDevNodeProperty(uint32_t dev_inst, const DevPropKey& key,
                                      uint32_t& property_type, std::vector<uint8_t>& value) = 0;

  // CM_Get_Device_Interface_List (with its size call folded in): the paths
  // of the interfaces of an interface class, in the system's order.
  // CM_GET_DEVICE_INTERFACE_LIST_PRESENT lists only interfaces of present,
  // started devices.
  virtual uint32_t GetDeviceInterfaceList(const Guid& interface_class, uint32_t flags,
                                          std::vector<std::u16string>& paths) = 0;

  // CM_Get_Device_Interface_Property (DEVPKEY_Device_InstanceId is the
  // instance identifier of the device behind the interface, as
  // DEVPROP_TYPE_STRING). CR_NO_SUCH_DEVICE_INTERFACE for an unknown path.
  virtual uint32_t GetDeviceInterfaceProperty(std::u16string_view path, const DevPropKey& key,
                                              uint32_t& property_type,
                                              std::vector<uint8_t>& value) = 0;
};

}  // namespace skyfw::platform
