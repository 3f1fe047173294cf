#include "fake_machine.h"

#include <algorithm>
#include <cstdio>

#include "base/byte_reader.h"
#include "nvm/chip_registers.h"

namespace skyfw::test {

using namespace platform;

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::vector<uint8_t> TextBytes(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> DwordBytes(uint32_t value) {
  std::vector<uint8_t> bytes;
  ByteWriter(bytes).PutU32(value);
  return bytes;
}

std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(static_cast<char>(c));
  return narrow;
}

// The key value of an object path: the text between the first `="` and the
// closing quote, with the escapes undone.
std::string KeyValue(std::u16string_view path) {
  std::string text = Narrow(path);
  size_t start = text.find("=\"");
  if (start == std::string::npos) return "";
  std::string value;
  for (size_t i = start + 2; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      value.push_back(text[++i]);
    } else if (text[i] == '"') {
      break;
    } else {
      value.push_back(text[i]);
    }
  }
  return value;
}

}  // namespace

// ---- registry ----------------------------------------------------------------

struct FakeMachine::Registry : platform::Registry {
  struct Key {
    std::string name;                             // as created, for enumeration
    std::map<std::string, RegistryValue> values;  // by lower-case name
  };
  std::map<std::string, Key> keys;  // by lower-case full path
  std::set<std::string> fullAccessDenied;

  Key& Ensure(const std::string& path) {
    size_t separator = path.rfind('\\');
    if (separator != std::string::npos) Ensure(path.substr(0, separator));
    Key& key = keys[Lower(path)];
    key.name = separator == std::string::npos ? path : path.substr(separator + 1);
    return key;
  }

  class OpenedKey : public RegistryKey {
   public:
    OpenedKey(Registry& registry, std::string path) : registry_(registry), path_(std::move(path)) {}
    uint32_t QueryValue(std::string_view name, RegistryValue& value) override {
      auto key = registry_.keys.find(path_);
      if (key == registry_.keys.end()) return ERROR_FILE_NOT_FOUND;
      auto found = key->second.values.find(Lower(name));
      if (found == key->second.values.end()) return ERROR_FILE_NOT_FOUND;
      value = found->second;
      return ERROR_SUCCESS;
    }
    uint32_t SetValue(std::string_view name, const RegistryValue& value) override {
      registry_.keys[path_].values[Lower(name)] = value;
      return ERROR_SUCCESS;
    }
    uint32_t EnumKey(uint32_t index, std::string& name) override {
      std::vector<std::string> children = Children();
      if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
      name = children[index];
      return ERROR_SUCCESS;
    }
    uint32_t QueryInfoKey(uint32_t& subkeyCount, uint32_t& valueCount) override {
      subkeyCount = static_cast<uint32_t>(Children().size());
      valueCount = static_cast<uint32_t>(registry_.keys[path_].values.size());
      return ERROR_SUCCESS;
    }

   private:
    std::vector<std::string> Children() const {
      std::vector<std::string> children;
      std::string prefix = path_ + "\\";
      for (const auto& [path, key] : registry_.keys) {
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
            path.find('\\', prefix.size()) == std::string::npos) {
          children.push_back(key.name);
        }
      }
      return children;
    }
    Registry& registry_;
    std::string path_;
  };

  uint32_t OpenKey(std::string_view path, uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override {
    std::string lower = Lower(path);
    if (keys.find(lower) == keys.end()) return ERROR_FILE_NOT_FOUND;
    if ((access & ~KEY_READ) != 0 && fullAccessDenied.count(lower) != 0) return ERROR_ACCESS_DENIED;
    key = std::make_unique<OpenedKey>(*this, lower);
    return ERROR_SUCCESS;
  }
  uint32_t CreateKey(std::string_view path, uint32_t access, std::unique_ptr<RegistryKey>& key,
                     bool* created) override {
    bool existed = keys.count(Lower(path)) != 0;
    Ensure(std::string(path));
    if (created != nullptr) *created = !existed;
    return OpenKey(path, access, key);
  }
};

namespace {

// ---- system ------------------------------------------------------------------

class FakeSystem : public System {
 public:
  explicit FakeSystem(FakeMachine& machine) : machine_(machine) {}
  void OutputDebugString(std::string_view text) override {
    machine_.debugOutput.emplace_back(text);
  }
  uint32_t GetCurrentProcessId() override { return 4242; }
  uint32_t GetCurrentThreadId() override { return 77; }
  uint32_t GetTickCount() override { return 123456; }
  void Sleep(uint32_t milliseconds) override { machine_.sleeps.push_back(milliseconds); }
  uint32_t GetCommonAppDataFolder(std::string& path) override {
    path = machine_.commonAppData.string();
    return ERROR_SUCCESS;
  }
  uint32_t GetSystemDirectory(std::string& path) override {
    path = (machine_.commonAppData.parent_path() / "System32").string();
    return ERROR_SUCCESS;
  }
  uint32_t LibraryExportsFunction(std::string_view library, std::string_view) override {
    if (library.find("Setupapi.dll") != std::string_view::npos) return machine_.setupLibraryError;
    return ERROR_SUCCESS;
  }

 private:
  FakeMachine& machine_;
};

// ---- devices -----------------------------------------------------------------

class FakeDeviceSet : public DeviceInfoSet {
 public:
  explicit FakeDeviceSet(FakeMachine& machine) : machine_(machine) {}
  uint32_t EnumDeviceInfo(uint32_t index, DeviceInfoData& device) override {
    if (index >= machine_.devices.size()) return machine_.enumerationStopError;
    device.class_guid = GUID_DEVCLASS_NET;
    device.dev_inst = index + 1;
    return ERROR_SUCCESS;
  }
  uint32_t GetDeviceRegistryProperty(const DeviceInfoData& info, uint32_t property, uint32_t& type,
                                     std::vector<uint8_t>& value) override {
    const FakeDevice& device = machine_.devices.at(info.dev_inst - 1);
    auto text = [&](const std::string& stored) {
      if (stored.empty()) return ERROR_INVALID_DATA;
      type = REG_SZ;
      value = TextBytes(stored);
      return ERROR_SUCCESS;
    };
    auto dword = [&](const std::optional<uint32_t>& stored) {
      if (!stored) return ERROR_INVALID_DATA;
      type = REG_DWORD;
      value = DwordBytes(*stored);
      return ERROR_SUCCESS;
    };
    switch (property) {
      case SPDRP_DEVICEDESC:
        return text(device.description);
      case SPDRP_FRIENDLYNAME:
        return text(device.friendlyName);
      case SPDRP_DRIVER:
        return text(device.driverKey);
      case SPDRP_SERVICE:
        return text(device.service);
      case SPDRP_MFG:
        return text(device.manufacturer);
      case SPDRP_LEGACYBUSTYPE:
        return dword(device.legacyBusType);
      case SPDRP_BUSNUMBER:
        return dword(device.busNumber);
      case SPDRP_ADDRESS:
        return dword(device.address);
      case SPDRP_BUSTYPEGUID: {
        if (!device.busTypeGuid) return ERROR_INVALID_DATA;
        auto bytes = device.busTypeGuid->ToBytes();
        type = REG_BINARY;
        value.assign(bytes.begin(), bytes.end());
        return ERROR_SUCCESS;
      }
      default:
        return ERROR_INVALID_DATA;
    }
  }
  uint32_t GetDeviceInstanceId(const DeviceInfoData& info, std::string& instanceId) override {
    instanceId = machine_.devices.at(info.dev_inst - 1).instanceId;
    return ERROR_SUCCESS;
  }

 private:
  FakeMachine& machine_;
};

class FakeDevices : public Devices {
 public:
  explicit FakeDevices(FakeMachine& machine) : machine_(machine) {}
  uint32_t GetClassDevs(const Guid&, uint32_t, std::unique_ptr<DeviceInfoSet>& set) override {
    if (machine_.classDevsError != ERROR_SUCCESS) return machine_.classDevsError;
    set = std::make_unique<FakeDeviceSet>(machine_);
    return ERROR_SUCCESS;
  }
  uint32_t LocateDevNode(std::string_view instanceId, uint32_t, uint32_t& devInst) override {
    for (size_t i = 0; i < machine_.devices.size(); ++i) {
      if (Lower(machine_.devices[i].instanceId) == Lower(instanceId)) {
        devInst = static_cast<uint32_t>(i + 1);
        return CR_SUCCESS;
      }
    }
    return CR_NO_SUCH_DEVNODE;
  }
  uint32_t GetDevNodeStatus(uint32_t devInst, uint32_t& status, uint32_t& problem) override {
    if (devInst == 0 || devInst > machine_.devices.size()) return CR_INVALID_DEVNODE;
    status = machine_.devices[devInst - 1].status;
    problem = machine_.devices[devInst - 1].problem;
    return CR_SUCCESS;
  }
  uint32_t GetDevNodeProperty(uint32_t, const DevPropKey&, uint32_t&,
                              std::vector<uint8_t>&) override {
    return CR_NO_SUCH_VALUE;
  }
  uint32_t GetDeviceInterfaceList(const Guid&, uint32_t,
                                  std::vector<std::u16string>& paths) override {
    paths.clear();
    return CR_SUCCESS;
  }
  uint32_t GetDeviceInterfaceProperty(std::u16string_view, const DevPropKey&, uint32_t&,
                                      std::vector<uint8_t>&) override {
    return CR_NO_SUCH_DEVICE_INTERFACE;
  }

 private:
  FakeMachine& machine_;
};

// ---- NDIS devices ------------------------------------------------------------

class FakeNdisHandle : public DeviceHandle {
 public:
  explicit FakeNdisHandle(FakeNdisDevice& device) : device_(device) {}
  uint32_t DeviceIoControl(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                           uint32_t& bytesReturned) override {
    bytesReturned = 0;
    uint32_t oid = 0;
    if (code != IOCTL_NDIS_QUERY_GLOBAL_STATS || !ByteReader(input).U32At(0, oid)) {
      return ERROR_INVALID_FUNCTION;
    }
    device_.queriedOids.push_back(oid);
    auto failing = device_.failingOids.find(oid);
    if (failing != device_.failingOids.end()) return failing->second;
    std::vector<uint8_t> value;
    ByteWriter writer(value);
    switch (oid) {
      case 0x01010102:
        value.assign(device_.currentMac.begin(), device_.currentMac.end());
        break;
      case 0x01010101:
        value.assign(device_.permanentMac.begin(), device_.permanentMac.end());
        break;
      case 0x00010110:
        writer.PutU16(device_.ndisVersion);
        break;
      case 0x00010114:
        writer.PutU32(device_.connectStatus);
        break;
      case 0x00010213:
        writer.PutU32(device_.medium);
        break;
      case 0x00010107:
        writer.PutU32(device_.linkSpeed);
        break;
      case 0x00010106:
        writer.PutU32(device_.maxFrameSize);
        break;
      case 0x00010207:  // NDIS_LINK_STATE
        writer.PutU32(0x01000080);
        writer.PutU32(device_.connectStatus == 0 ? 1 : 2);
        writer.PutU32(device_.duplex);
        writer.PutU32(0);
        writer.PutU64(device_.xmitLinkSpeed);
        writer.PutU64(device_.rcvLinkSpeed);
        writer.PutU32(0);
        writer.PutU32(0);
        break;
      case 0x00010211:  // NDIS_PCI_DEVICE_CUSTOM_PROPERTIES
        writer.PutU32(0x01000080);
        for (uint32_t word = 0; word < 12; ++word) {
          writer.PutU32(word == 5 ? device_.pcieLinkSpeed : word == 6 ? device_.pcieLinkWidth : 0);
        }
        break;
      default:
        return ERROR_NOT_SUPPORTED;
    }
    auto length = device_.returnedLengths.find(oid);
    if (length != device_.returnedLengths.end()) value.resize(length->second);
    size_t count = std::min(value.size(), output.size());
    std::copy_n(value.begin(), count, output.begin());
    bytesReturned = static_cast<uint32_t>(count);
    return value.size() > output.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS;
  }

 private:
  FakeNdisDevice& device_;
};

class FakeDeviceIo : public DeviceIo {
 public:
  explicit FakeDeviceIo(FakeMachine& machine) : machine_(machine) {}
  uint32_t CreateFile(std::string_view name, uint32_t, uint32_t,
                      std::unique_ptr<DeviceHandle>& handle) override {
    constexpr std::string_view kPrefix = "\\\\.\\Global\\";
    if (name.substr(0, kPrefix.size()) != kPrefix) return ERROR_FILE_NOT_FOUND;
    auto device = machine_.ndis.find(std::string(name.substr(kPrefix.size())));
    if (device == machine_.ndis.end()) return ERROR_FILE_NOT_FOUND;
    if (++device->second.openAttempts < device->second.openAtTry) return ERROR_FILE_NOT_FOUND;
    handle = std::make_unique<FakeNdisHandle>(device->second);
    return ERROR_SUCCESS;
  }

 private:
  FakeMachine& machine_;
};

// ---- IP helper, services ------------------------------------------------------

class FakeIpHelper : public IpHelper {
 public:
  explicit FakeIpHelper(FakeMachine& machine) : machine_(machine) {}
  uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) override {
    adapters = machine_.ipv4Adapters;
    return machine_.ipv4Error;
  }
  uint32_t GetAdaptersAddresses(uint32_t, uint32_t,
                                std::vector<IpAdapterAddresses>& adapters) override {
    adapters = machine_.ipv6Adapters;
    return machine_.ipv6Error;
  }

 private:
  FakeMachine& machine_;
};

class FakeServiceManager : public ServiceManager {
 public:
  explicit FakeServiceManager(bool locked) : locked_(locked) {}
  uint32_t QueryLockStatus(ServiceLockStatus& status) override {
    status.locked = locked_;
    status.lock_owner = ".\\NT Service Control Manager";
    return ERROR_SUCCESS;
  }

 private:
  bool locked_;
};

class FakeServices : public Services {
 public:
  explicit FakeServices(FakeMachine& machine) : machine_(machine) {}
  uint32_t OpenSCManager(uint32_t, std::unique_ptr<ServiceManager>& manager) override {
    if (machine_.scmOpenError != ERROR_SUCCESS) return machine_.scmOpenError;
    manager = std::make_unique<FakeServiceManager>(machine_.scmLocked);
    return ERROR_SUCCESS;
  }

 private:
  FakeMachine& machine_;
};

// ---- WMI: ReadReg32 of NRVN_HwDeviceAccess, the SR-IOV settings ----------------

class FakeObject : public WmiObject {
 public:
  std::map<std::u16string, Variant> values;
  bool isClass = false;

  HRESULT Get(std::u16string_view name, Variant& value, CimType* type) override {
    auto found = values.find(std::u16string(name));
    if (found == values.end()) return WBEM_E_NOT_FOUND;
    value = found->second;
    if (type != nullptr) *type = CIM_UINT32;
    return S_OK;
  }
  HRESULT Put(std::u16string_view name, const Variant& value) override {
    values[std::u16string(name)] = value;
    return S_OK;
  }
  HRESULT GetMethod(std::u16string_view method, WmiObjectPtr& in, WmiObjectPtr*) override {
    if (!isClass || method != u"ReadReg32") return WBEM_E_NOT_FOUND;
    auto signature = std::make_shared<FakeObject>();
    signature->values[u"offset"] = Variant::I4(0);
    in = signature;
    return S_OK;
  }
  std::vector<std::u16string> GetNames() override {
    std::vector<std::u16string> names;
    for (const auto& [name, value] : values) names.push_back(name);
    return names;
  }
};

class FakeWmiServices : public WmiServices {
 public:
  FakeWmiServices(FakeMachine& machine, std::u16string nameSpace)
      : machine_(machine), nameSpace_(std::move(nameSpace)) {}
  HRESULT GetObject(std::u16string_view path, WmiObjectPtr& object) override {
    std::string text = Narrow(path);
    if (text == "NRVN_HwDeviceAccess") {
      auto result = std::make_shared<FakeObject>();
      result->isClass = true;
      object = result;
      return S_OK;
    }
    if (text.find("MSFT_NetAdapterSriovSettingData.InstanceID=") != std::string::npos) {
      ++machine_.sriovQueries;
      auto setting = machine_.sriov.find(KeyValue(path));
      if (setting == machine_.sriov.end() || !setting->second.present) return WBEM_E_NOT_FOUND;
      auto result = std::make_shared<FakeObject>();
      result->values[u"Enabled"] = Variant::Bool(setting->second.enabled);
      result->values[u"NumVFs"] = Variant::I4(static_cast<int32_t>(setting->second.numVfs));
      result->values[u"NumAllocatedVFs"] =
          Variant::I4(static_cast<int32_t>(setting->second.numAllocatedVfs));
      object = result;
      return S_OK;
    }
    return WBEM_E_NOT_FOUND;
  }
  HRESULT ExecMethod(std::u16string_view objectPath, std::u16string_view method,
                     const WmiObjectPtr& in, WmiObjectPtr* out) override {
    if (Narrow(objectPath).rfind("NRVN_HwDeviceAccess.", 0) != 0 || method != u"ReadReg32" || !in) {
      return WBEM_E_NOT_FOUND;
    }
    auto adapter = machine_.registers.find(KeyValue(objectPath));
    if (adapter == machine_.registers.end()) return WBEM_E_NOT_FOUND;
    Variant offset;
    in->Get(u"offset", offset, nullptr);
    auto value = adapter->second.find(offset.Low32());
    if (value == adapter->second.end()) return WBEM_E_FAILED;
    auto result = std::make_shared<FakeObject>();
    result->values[u"value"] = Variant::I4(static_cast<int32_t>(value->second));
    if (out != nullptr) *out = result;
    return S_OK;
  }

 private:
  FakeMachine& machine_;
  std::u16string nameSpace_;
};

class FakeLocator : public WmiLocator {
 public:
  explicit FakeLocator(FakeMachine& machine) : machine_(machine) {}
  HRESULT ConnectServer(std::u16string_view nameSpace, int32_t,
                        std::unique_ptr<WmiServices>& services) override {
    if (!machine_.wmiReachable) return WBEM_E_INVALID_NAMESPACE;
    services = std::make_unique<FakeWmiServices>(machine_, std::u16string(nameSpace));
    return S_OK;
  }

 private:
  FakeMachine& machine_;
};

class FakeWmi : public Wmi {
 public:
  explicit FakeWmi(FakeMachine& machine) : machine_(machine) {}
  HRESULT CoInitializeEx(uint32_t) override { return S_OK; }
  void CoUninitialize() override {}
  HRESULT CoInitializeSecurity() override { return S_OK; }
  HRESULT CoCreateLocator(std::unique_ptr<WmiLocator>& locator) override {
    locator = std::make_unique<FakeLocator>(machine_);
    return S_OK;
  }

 private:
  FakeMachine& machine_;
};

// ---- named mutexes ------------------------------------------------------------

class FakeMutex : public NamedMutex {
 public:
  FakeMutex(FakeMachine& machine, std::string name) : machine_(machine), name_(std::move(name)) {}
  ~FakeMutex() override {
    if (--machine_.mutexHandles[name_] == 0) machine_.mutexHandles.erase(name_);
  }
  uint32_t Wait(uint32_t) override { return WAIT_OBJECT_0; }
  uint32_t Release() override { return ERROR_SUCCESS; }

 private:
  FakeMachine& machine_;
  std::string name_;
};

class FakeMutexes : public Mutexes {
 public:
  explicit FakeMutexes(FakeMachine& machine) : machine_(machine) {}
  uint32_t CreateMutex(const SecurityAttributes*, bool, std::string_view name,
                       std::unique_ptr<NamedMutex>& mutex) override {
    bool existed = machine_.mutexHandles.count(std::string(name)) != 0;
    ++machine_.mutexHandles[std::string(name)];
    mutex = std::make_unique<FakeMutex>(machine_, std::string(name));
    return existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  }

 private:
  FakeMachine& machine_;
};

class NoEventLog : public EventLog {
 public:
  uint32_t RegisterEventSource(std::string_view, std::unique_ptr<EventSource>&) override {
    return ERROR_ACCESS_DENIED;
  }
};

class FakePlatform : public Platform {
 public:
  explicit FakePlatform(FakeMachine& machine)
      : system_(machine),
        devices_(machine),
        deviceIo_(machine),
        ipHelper_(machine),
        services_(machine),
        wmi_(machine),
        mutexes_(machine),
        machine_(machine) {}
  System& system() override { return system_; }
  platform::Registry& registry() override { return *machine_.registry; }
  Devices& devices() override { return devices_; }
  DeviceIo& deviceIo() override { return deviceIo_; }
  IpHelper& ipHelper() override { return ipHelper_; }
  Services& services() override { return services_; }
  Wmi& wmi() override { return wmi_; }
  EventLog& eventLog() override { return eventLog_; }
  Mutexes& mutexes() override { return mutexes_; }

 private:
  FakeSystem system_;
  FakeDevices devices_;
  FakeDeviceIo deviceIo_;
  FakeIpHelper ipHelper_;
  FakeServices services_;
  FakeWmi wmi_;
  NoEventLog eventLog_;
  FakeMutexes mutexes_;
  FakeMachine& machine_;
};

}  // namespace

FakeMachine::FakeMachine() : registry(std::make_unique<Registry>()) {
  commonAppData = std::filesystem::path(directory_.path()) / "ProgramData";
  std::filesystem::create_directories(commonAppData);
  platform_ = std::make_unique<FakePlatform>(*this);
  platform::Install(platform_.get());
}

FakeMachine::~FakeMachine() { platform::Install(nullptr); }

size_t FakeMachine::AddDevice(const FakeDevice& device,
                              std::vector<std::pair<std::string, RegistryValue>> classValues) {
  devices.push_back(device);
  Registry::Key& key =
      registry->Ensure("SYSTEM\\CurrentControlSet\\Control\\Class\\" + device.driverKey);
  for (auto& [name, value] : classValues) key.values[Lower(name)] = value;
  return devices.size() - 1;
}

void FakeMachine::SetRegistryValue(const std::string& keyPath, const std::string& name,
                                   const RegistryValue& value) {
  registry->Ensure(keyPath).values[Lower(name)] = value;
}

void FakeMachine::RemoveRegistryValue(const std::string& keyPath, const std::string& name) {
  registry->Ensure(keyPath).values.erase(Lower(name));
}

void FakeMachine::DenyFullAccess(const std::string& keyPath) {
  registry->fullAccessDenied.insert(Lower(keyPath));
}

std::string FakeMachine::InterfaceGuid(uint32_t index) {
  char text[64];
  std::snprintf(text, sizeof text, "{6F1C2A%02X-3B4D-4E5F-8A9B-0C1D2E3F4A5B}", index);
  return text;
}

std::string FakeMachine::ClassSubkey(uint32_t index) {
  char text[8];
  std::snprintf(text, sizeof text, "%04u", index);
  return text;
}

size_t FakeMachine::AddSkylinePort(uint32_t index, const PortSpec& port) {
  FakeDevice device;
  char instanceId[128];
  std::snprintf(instanceId, sizeof instanceId,
                "PCI\\VEN_1D6A&DEV_%04X&SUBSYS_00011D6A&REV_02\\4&2B8E0A1&0&%02X%02X",
                port.deviceId, port.device * 8 + port.function, port.bus);
  device.instanceId = instanceId;
  device.description = port.description;
  device.friendlyName = port.friendlyName;
  std::string subkey = ClassSubkey(index);
  device.driverKey = "{4d36e972-e325-11ce-bfc1-08002be10318}\\" + subkey;
  device.service = "velond";
  device.manufacturer = "Norvane";
  device.busNumber = port.bus;
  device.address = (port.device << 16) | port.function;
  std::string guid = InterfaceGuid(index);
  AddDevice(device, {{"Characteristics", RegistryValue::Dword(port.characteristics)},
                     {"ComponentId", RegistryValue::Text("PCI\\VEN_1D6A&DEV_0B10")},
                     {"NetCfgInstanceId", RegistryValue::Text(guid)},
                     {"DriverVersion", RegistryValue::Text("4.2.17.0")},
                     {"*FlowControl", RegistryValue::Text("3")},
                     {"*WakeOnMagicPacket", RegistryValue::Text("1")}});
  SetRegistryValue(
      "SYSTEM\\CurrentControlSet\\Services\\velond", "ImagePath",
      RegistryValue::Text("\\SystemRoot\\System32\\drivers\\" + port.image, REG_EXPAND_SZ));
  FakeNdisDevice& ndisDevice = ndis[guid];
  ndisDevice.currentMac = {0x00, 0x1D, 0x6A, 0x10, 0x00, static_cast<uint8_t>(index)};
  ndisDevice.permanentMac = {0x00, 0x1D, 0x6A, 0x00, 0x00, static_cast<uint8_t>(index)};
  std::string title = port.friendlyName.empty() ? port.description : port.friendlyName;
  registers[title] = {{kBaseAddressRegister, 0xF7A0000C},
                      {kBaseAddressRegister + 4, 0},
                      {kBaseAddressRegister + 8, 0xF7B00004},
                      {kBaseAddressRegister + 12, 0},
                      {kChipNumberRegister, 0x4},
                      {kChipRevisionRegister, 0x1},
                      {kChipMetalRegister, 0x0}};
  sriov[guid] = FakeSriov{};
  return devices.size() - 1;
}

std::unique_ptr<NamedMutex> FakeMachine::HoldMutex(const std::string& name) {
  std::unique_ptr<NamedMutex> mutex;
  platform_->mutexes().CreateMutex(nullptr, true, name, mutex);
  return mutex;
}

std::string FakeMachine::DebugText() const {
  std::string text;
  for (const std::string& line : debugOutput) text += line;
  return text;
}

}  // namespace skyfw::test
