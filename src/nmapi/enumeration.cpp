#include "nmapi/enumeration.h"

#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "nmapi/adapter_class.h"
#include "nmapi/chip_identity.h"
#include "nmapi/driver_info.h"
#include "base/fixed_text.h"
#include "base/text.h"
#include "nmapi/library_state.h"
#include "nmapi/nmapi_log.h"
#include "nmapi/registry_values.h"
#include "nmapi/tcpip_info.h"
#include "base/byte_reader.h"
#include "os/file_names.h"
#include "platform/platform.h"

namespace skyfw {

using namespace platform;

namespace {

// Buffer sizes of the device property reads.
constexpr size_t kDescriptionBuffer = 256;
constexpr size_t kDriverKeyBuffer = 260;
constexpr size_t kServiceBuffer = 256;
constexpr size_t kManufacturerBuffer = 260;
constexpr size_t kInstanceIdBuffer = 200;
constexpr size_t kRegistryTextBuffer = 260;
constexpr size_t kNetCfgInstanceIdBuffer = 520;
constexpr size_t kDriverImageMax = 31;

// SetupDiGetDeviceRegistryProperty of a text into a buffer of `capacity`
// bytes: ERROR_INSUFFICIENT_BUFFER when it does not fit.
uint32_t ReadDeviceText(DeviceInfoSet& devices, const DeviceInfoData& device, uint32_t property,
                        size_t capacity, std::string& text) {
  uint32_t type = REG_NONE;
  std::vector<uint8_t> bytes;
  uint32_t error = devices.GetDeviceRegistryProperty(device, property, type, bytes);
  if (error != ERROR_SUCCESS) return error;
  if (bytes.size() > capacity) return ERROR_INSUFFICIENT_BUFFER;
  ByteReader reader(bytes);
  if (!reader.ReadFixedText(bytes.size(), text)) return ERROR_INVALID_DATA;
  return ERROR_SUCCESS;
}

uint32_t ReadDeviceDword(DeviceInfoSet& devices, const DeviceInfoData& device, uint32_t property,
                         uint32_t& value) {
  uint32_t type = REG_NONE;
  std::vector<uint8_t> bytes;
  uint32_t error = devices.GetDeviceRegistryProperty(device, property, type, bytes);
  if (error != ERROR_SUCCESS) return error;
  if (bytes.size() > 4) return ERROR_INSUFFICIENT_BUFFER;
  ByteReader reader(bytes);
  if (!reader.U32At(0, value)) return ERROR_INVALID_DATA;
  return ERROR_SUCCESS;
}

// The hexadecimal number at positions [first, last] counted from `origin`.
uint32_t HexField(std::string_view text, size_t origin, size_t first, size_t last) {
  uint32_t value = 0;
  for (size_t position = first; position <= last; ++position) {
    size_t index = origin + position;
    // Anything but a digit, and a position past the end, counts as 0.
    const int digit = index < text.size() ? HexDigitValue(text[index]) : -1;
    value = (value << 4) | static_cast<uint32_t>(digit < 0 ? 0 : digit);
  }
  return value;
}

bool SameGuidBytes(const std::vector<uint8_t>& bytes, const Guid& guid) {
  if (bytes.size() < 16) return false;
  auto expected = guid.ToBytes();
  for (size_t i = 0; i < 16; ++i) {
    if (bytes[i] != expected[i]) return false;
  }
  return true;
}

// The text after the last backslash of an image path, or nothing.
bool ImageFileName(std::string_view imagePath, std::string& name) {
  size_t backslash = imagePath.rfind('\\');
  if (backslash == std::string_view::npos) return false;
  name = std::string(imagePath.substr(backslash + 1, kDriverImageMax));
  return true;
}

void ReadDriverImage(AdapterNode& node) {
  std::unique_ptr<RegistryKey> serviceKey;
  std::string path =
      std::string(kServicesKeyRoot) + "\\" + std::string(TextUpToZero(node.info.serviceName));
  if (Current().registry().OpenKey(path, KEY_READ, serviceKey) != ERROR_SUCCESS) return;
  std::string imagePath;
  if (QueryRegistryText(*serviceKey, "ImagePath", kRegistryTextBuffer, imagePath) !=
      ERROR_SUCCESS) {
    return;
  }
  std::string image;
  if (ImageFileName(imagePath, image)) CopyFixedText(node.info.driverImage, image);
}

// Checks the SCM: 0, or 22 when it is locked or the system shuts down.
NmapiResult CheckServiceControlManager() {
  std::unique_ptr<ServiceManager> manager;
  uint32_t error = Current().services().OpenSCManager(SC_MANAGER_ALL_ACCESS, manager);
  if (error != ERROR_SUCCESS) {
    if (error == ERROR_SHUTDOWN_IN_PROGRESS) {
      NmapiLog(kLogWarning, "OpenSCManager failed!(%lu), system shutdown is in progress\r\n",
               static_cast<unsigned long>(error));
      return ngNMAPI_SCM_LOCKED;
    }
    NmapiLog(kLogWarning, "OpenSCManager failed!(%lu)\r\n", static_cast<unsigned long>(error));
    return ngNMAPI_OK;
  }
  ServiceLockStatus status;
  error = manager->QueryLockStatus(status);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogWarning, "QueryServiceLockStatus failed!(%lu)\r\n",
             static_cast<unsigned long>(error));
  } else if (status.locked) {
    NmapiLog(kLogError, "Service control manager is locked by %s.\r\n", status.lock_owner.c_str());
    return ngNMAPI_SCM_LOCKED;
  }
  return ngNMAPI_OK;
}

// The setup library must be there and export the device-interface call.
NmapiResult CheckSetupLibrary() {
  System& system = Current().system();
  std::string directory;
  uint32_t error = system.GetSystemDirectory(directory);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "ReadConfig() GetSystemDirectory() failed(%lu)\r\n",
             static_cast<unsigned long>(error));
    return ngNMAPI_SYSTEM_FAILED;
  }
  std::string library = directory + platform::kPathSeparator + "Setupapi.dll";
  error = system.LibraryExportsFunction(library, "SetupDiEnumDeviceInterfaces");
  if (error == ERROR_PROC_NOT_FOUND) {
    NmapiLog(kLogError, "ReadConfig() GetProcAddress() SetupDiEnumDeviceInterfaces failed(%lu)\r\n",
             static_cast<unsigned long>(error));
    return ngNMAPI_SYSTEM_FAILED;
  }
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "ReadConfig() LoadLibraryEx() failed(%lu)\r\n",
             static_cast<unsigned long>(error));
    return ngNMAPI_SYSTEM_FAILED;
  }
  return ngNMAPI_OK;
}

}  // namespace

uint32_t DriverKindForImage(std::string_view image) {
  if (image == kLegacyDriverImage) return kDriverKindLegacy;
  if (image == kCurrentDriverImage) return kDriverKindCurrent;
  return kDriverKindOther;
}

void ReadIdentityFromInstanceId(std::string_view instanceId, AdapterInfo& info) {
  size_t backslash = instanceId.find('\\');
  std::string_view enumerator = instanceId.substr(0, backslash);
  if (EqualsNoCase(enumerator, "PCI")) {
    info.busType = kBusTypePci;
    if (backslash == std::string_view::npos) backslash = instanceId.size();
    // PCI\VEN_vvvv&DEV_dddd&SUBSYS_ssssnnnn&REV_rr\... counted from the backslash.
    info.vendorId = static_cast<uint16_t>(HexField(instanceId, backslash, 5, 8));
    info.deviceId = static_cast<uint16_t>(HexField(instanceId, backslash, 14, 17));
    info.subDeviceId = static_cast<uint16_t>(HexField(instanceId, backslash, 26, 29));
    info.subVendorId = static_cast<uint16_t>(HexField(instanceId, backslash, 30, 33));
    info.revision = static_cast<uint8_t>(HexField(instanceId, backslash, 39, 40));
    return;
  }
  if (EqualsNoCase(enumerator, "PCMCIA")) {
    info.busType = kBusTypePcmcia;
  } else if (EqualsNoCase(enumerator, "V1394")) {
    info.busType = kBusType1394;
  } else if (EqualsNoCase(enumerator, "USB")) {
    info.busType = kBusTypeUsb;
  } else {
    info.busType = kBusTypeOther;
  }
  info.vendorId = info.deviceId = info.subVendorId = info.subDeviceId = 0xFFFF;
  info.revision = 0xFF;
  info.bus = info.device = info.function = kUnknownLocation;
}

void GetLocationInfoW2k(AdapterNode& node, DeviceInfoSet& devices, const DeviceInfoData& device) {
  AdapterInfo& info = node.info;
  info.bus = info.device = info.function = kUnknownLocation;

  bool pci = false;
  uint32_t legacyBusType = 0;
  bool legacyKnown = false;
  if (ReadDeviceDword(devices, device, SPDRP_LEGACYBUSTYPE, legacyBusType) == ERROR_SUCCESS) {
    if (legacyBusType == LEGACY_BUS_PCI) {
      info.busType = kBusTypePci;
      pci = legacyKnown = true;
    } else if (legacyBusType == LEGACY_BUS_PCMCIA) {
      info.busType = kBusTypePcmcia;
      legacyKnown = true;
    }
  }
  if (!legacyKnown) {
    info.busType = kBusTypeUnknown;
    uint32_t type = REG_NONE;
    std::vector<uint8_t> guid;
    if (devices.GetDeviceRegistryProperty(device, SPDRP_BUSTYPEGUID, type, guid) == ERROR_SUCCESS &&
        guid.size() <= kRegistryTextBuffer) {
      if (SameGuidBytes(guid, GUID_BUS_TYPE_PCI)) {
        info.busType = kBusTypePci;
        pci = true;
      } else if (SameGuidBytes(guid, GUID_BUS_TYPE_PCMCIA)) {
        info.busType = kBusTypePcmcia;
      } else if (SameGuidBytes(guid, GUID_BUS_TYPE_1394)) {
        info.busType = kBusType1394;
      } else if (SameGuidBytes(guid, GUID_BUS_TYPE_USB)) {
        info.busType = kBusTypeUsb;
      } else {
        info.busType = kBusTypeOther;
      }
    }
  }

  if (pci) {
    uint32_t address = 0;
    uint32_t error = ReadDeviceDword(devices, device, SPDRP_ADDRESS, address);
    if (error == ERROR_SUCCESS) {
      info.device = address >> 16;
      info.function = address & 0xFFFF;
    } else {
      NmapiLog(kLogError, "GetLocationInfoW2k() SPDRP_ADDRESS failed 0x%08lX\r\n",
               static_cast<unsigned long>(error));
    }
    uint32_t bus = 0;
    error = ReadDeviceDword(devices, device, SPDRP_BUSNUMBER, bus);
    if (error == ERROR_SUCCESS) {
      info.bus = bus;
    } else {
      NmapiLog(kLogError, "GetLocationInfoW2k() SPDRP_BUSNUMBER failed 0x%08lX\r\n",
               static_cast<unsigned long>(error));
    }
  }
  NmapiLog(kLogInformation, "bus %i, device %i, function %i\r\n", static_cast<int>(info.bus),
           static_cast<int>(info.device), static_cast<int>(info.function));
}

std::unique_ptr<AdapterNode> GetNicInfoW2k(DeviceInfoSet& devices, const DeviceInfoData& device) {
  std::string description;
  uint32_t error =
      ReadDeviceText(devices, device, SPDRP_DEVICEDESC, kDescriptionBuffer, description);
  if (error != ERROR_SUCCESS) {
    NmapiLog(
        kLogError,
        "GetNicInfoW2k() SetupDiGetDeviceRegistryProperty() SPDRP_DEVICEDESC failed(0x%08lX)\r\n",
        static_cast<unsigned long>(error));
    return nullptr;
  }
  const char* desc = description.c_str();
  std::string friendlyName;
  if (ReadDeviceText(devices, device, SPDRP_FRIENDLYNAME, kDescriptionBuffer, friendlyName) !=
      ERROR_SUCCESS) {
    friendlyName.clear();
  }
  std::string driverKey;
  error = ReadDeviceText(devices, device, SPDRP_DRIVER, kDriverKeyBuffer, driverKey);
  if (error != ERROR_SUCCESS) {
    NmapiLog(
        kLogError,
        "GetNicInfoW2k() SetupDiGetDeviceRegistryProperty() SPDRP_DRIVER failed(0x%08lX),%s\r\n",
        static_cast<unsigned long>(error), desc);
    return nullptr;
  }

  std::unique_ptr<RegistryKey> classKey;
  error = Current().registry().OpenKey(std::string(kClassKeyRoot) + "\\" + driverKey, KEY_READ,
                                       classKey);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "GetNicInfoW2k() RegOpenKeyEx() failed(%lu),%s\r\n",
             static_cast<unsigned long>(error), desc);
    return nullptr;
  }

  uint32_t characteristics = 0;
  error = QueryRegistryDword(*classKey, "Characteristics", characteristics);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "GetNicInfoW2k() RegQueryValueEx() 'Characteristics' failed(%lu),%s\r\n",
             static_cast<unsigned long>(error), desc);
    return nullptr;
  }
  if ((characteristics & (kNcfVirtual | kNcfPhysical)) == 0) {
    NmapiLog(kLogInformation, "adapter characteristics(0x%08lX),%s\r\n",
             static_cast<unsigned long>(characteristics), desc);
    return nullptr;
  }
  std::string componentId;
  error = QueryRegistryText(*classKey, "ComponentId", kRegistryTextBuffer, componentId);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "GetNicInfoW2k() RegQueryValueEx() 'ComponentId' failed(%lu),%s\r\n",
             static_cast<unsigned long>(error), desc);
    return nullptr;
  }
  if (characteristics & kNcfVirtual) {
    NmapiLog(kLogInformation, "GetNicInfoW2k() virtual ComponentId (%s),%s\r\n",
             componentId.c_str(), desc);
    return nullptr;
  }
  if (characteristics & kNcfHidden) {
    NmapiLog(kLogInformation, "GetNicInfoW2k() hidden ComponentId (%s),%s\r\n", componentId.c_str(),
             desc);
    return nullptr;
  }

  std::string instanceId;
  error = devices.GetDeviceInstanceId(device, instanceId);
  if (error == ERROR_SUCCESS && instanceId.size() + 1 > kInstanceIdBuffer) {
    error = ERROR_INSUFFICIENT_BUFFER;
  }
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "GetNicInfoW2k() SetupDiGetDeviceInstanceId() failed(0x%08lX),%s\r\n",
             static_cast<unsigned long>(error), desc);
    return nullptr;
  }

  std::unique_ptr<AdapterNode> node(new (std::nothrow) AdapterNode());
  if (!node) {
    NmapiLog(kLogError, "memory allocation failed (%s)\r\n", desc);
    return nullptr;
  }
  node->instanceId = instanceId;
  CopyFixedText(node->info.description, description);

  std::string service;
  error = ReadDeviceText(devices, device, SPDRP_SERVICE, kServiceBuffer, service);
  if (error == ERROR_SUCCESS) {
    CopyFixedText(node->info.serviceName, service);
    ReadDriverImage(*node);
  } else {
    NmapiLog(
        kLogError,
        "GetNicInfoW2k() SetupDiGetDeviceRegistryProperty() SPDRP_SERVICE failed(0x%08lX),%s\r\n",
        static_cast<unsigned long>(error), desc);
  }
  // Other images belong to other drivers (or an older one of ours): not listed.
  if (TextUpToZero(node->info.driverImage) != kCurrentDriverImage) return nullptr;

  std::string manufacturer;
  error = ReadDeviceText(devices, device, SPDRP_MFG, kManufacturerBuffer, manufacturer);
  if (error == ERROR_SUCCESS) {
    CopyFixedText(node->info.manufacturer, manufacturer);
  } else {
    NmapiLog(kLogError,
             "GetNicInfoW2k() SetupDiGetDeviceRegistryProperty() SPDRP_MFG failed(0x%08lX),%s\r\n",
             static_cast<unsigned long>(error), desc);
  }
  node->driverKeyName = driverKey.substr(0, kDriverKeyNameMax);
  CopyFixedText(node->info.title, friendlyName.empty() ? description : friendlyName);

  std::string interfaceId;
  error = QueryRegistryText(*classKey, "NetCfgInstanceId", kNetCfgInstanceIdBuffer, interfaceId);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "GetNicInfoW2k() RegQueryValueEx() 'NetCfgInstanceId' failed(%lu),%s\r\n",
             static_cast<unsigned long>(error), desc);
    return nullptr;
  }
  CopyFixedText(node->info.interfaceId, interfaceId);

  ReadIdentityFromInstanceId(node->instanceId, node->info);
  GetLocationInfoW2k(*node, devices, device);
  ReadDriverGenInfo(*node);
  node->info.driverKind = DriverKindForImage(TextUpToZero(node->info.driverImage));
  // GetNicPciInfoNT: the chip identity; a failure leaves chipId at 0.
  if (node->info.interfaceId[0] != '\0' && node->info.driverKind == kDriverKindCurrent) {
    VeloGetChipInfo(node.get());
  }
  return node;
}

NmapiResult ReadConfig() {
  NmapiState& state = State();
  NmapiLog(kLogInformation, "Read configuration\r\n");
  state.deviceNamePrefix = kGlobalPrefix;

  NmapiResult result = CheckServiceControlManager();
  if (result != ngNMAPI_OK) return result;
  result = CheckSetupLibrary();
  if (result != ngNMAPI_OK) return result;

  std::unique_ptr<DeviceInfoSet> devices;
  uint32_t error = Current().devices().GetClassDevs(GUID_DEVCLASS_NET, DIGCF_PRESENT, devices);
  if (error != ERROR_SUCCESS || !devices) {
    NmapiLog(kLogError, "ReadConfig() SetupDiGetClassDevs() failed(%lu)\r\n",
             static_cast<unsigned long>(error));
    return ngNMAPI_SYSTEM_FAILED;
  }

  for (uint32_t index = 0;; ++index) {
    DeviceInfoData device;
    error = devices->EnumDeviceInfo(index, device);
    if (error != ERROR_SUCCESS) break;
    std::unique_ptr<AdapterNode> node = GetNicInfoW2k(*devices, device);
    if (!node || node->info.driverKind != kDriverKindCurrent) continue;
    node->key = node->info.handle = state.nextHandle++;
    state.adapters.push_back(std::move(node));
  }
  if (error != ERROR_NO_MORE_ITEMS) {
    NmapiLog(kLogError, "ReadConfig() SetupDiEnumDeviceInfo() failed(%lu)\r\n",
             static_cast<unsigned long>(error));
  }
  devices.reset();

  if (state.adapters.empty()) return ngNMAPI_NO_ADAPTER;
  ReadTcpipInfo();
  for (const auto& node : state.adapters)
    ReadVlanId(TextUpToZero(node->info.interfaceId), node->info.vlan);
  return ngNMAPI_OK;
}

}  // namespace skyfw
