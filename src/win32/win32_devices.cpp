#include "win32/win32_devices.h"

#include <algorithm>

#include "win32/guid_conversion.h"
#include "win32/owned_handles.h"
#include "win32/registry_text.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

// The property calls came after the rest of the configuration manager
// (Vista for device nodes, Windows 8 for interfaces; Wine has only the
// first): looked up at run time, never imported, so the DLL still loads.
using GetDevNodePropertyFunction = CONFIGRET(WINAPI*)(DEVINST, const DEVPROPKEY*, DEVPROPTYPE*,
                                                      PBYTE, PULONG, ULONG);
using GetInterfacePropertyFunction = CONFIGRET(WINAPI*)(LPCWSTR, const DEVPROPKEY*, DEVPROPTYPE*,
                                                        PBYTE, PULONG, ULONG);

struct PropertyFunctions {
  GetDevNodePropertyFunction dev_node = nullptr;
  GetInterfacePropertyFunction device_interface = nullptr;
};

const PropertyFunctions& Properties() {
  static const PropertyFunctions functions = [] {
    PropertyFunctions found;
    // The import libraries may take CM_Locate_DevNodeW and the rest from
    // setupapi, so cfgmgr32 need not be loaded yet. Once loaded it stays for
    // the process: the pointers found here are kept.
    HMODULE library = ::GetModuleHandleW(L"cfgmgr32.dll");
    if (library == nullptr) {
      library = ::LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    if (library == nullptr) return found;
    found.dev_node = reinterpret_cast<GetDevNodePropertyFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library, "CM_Get_DevNode_PropertyW")));
    found.device_interface = reinterpret_cast<GetInterfacePropertyFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library, "CM_Get_Device_Interface_PropertyW")));
    return found;
  }();
  return functions;
}

// Calls a property function until its buffer is large enough.
template <typename Call>
uint32_t ReadProperty(Call call, uint32_t& property_type, std::vector<uint8_t>& value) {
  std::vector<uint8_t> buffer(256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
    ULONG size = static_cast<ULONG>(buffer.size());
    CONFIGRET result = call(&type, buffer.data(), &size);
    if (result == CR_BUFFER_SMALL) {
      buffer.resize(std::max<size_t>(size, buffer.size() * 2));
      continue;
    }
    if (result != CR_SUCCESS) return result;
    buffer.resize(size);
    property_type = type;
    value = std::move(buffer);
    return CR_SUCCESS;
  }
  return CR_BUFFER_SMALL;
}

class Win32DeviceInfoSet final : public platform::DeviceInfoSet {
 public:
  explicit Win32DeviceInfoSet(OwnedDeviceInfoList set) : set_(std::move(set)) {}

  uint32_t EnumDeviceInfo(uint32_t index, platform::DeviceInfoData& device) override {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    if (!::SetupDiEnumDeviceInfo(set_.get(), index, &data)) return ::GetLastError();
    device.class_guid = FromWindows(data.ClassGuid);
    device.dev_inst = data.DevInst;
    return ERROR_SUCCESS;
  }

  uint32_t GetDeviceRegistryProperty(const platform::DeviceInfoData& device, uint32_t property,
                                     uint32_t& reg_type, std::vector<uint8_t>& value) override {
    SP_DEVINFO_DATA data{};
    if (!Find(device, data)) return ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD type = REG_NONE;
      DWORD required = 0;
      if (::SetupDiGetDeviceRegistryPropertyW(set_.get(), &data, property, &type, buffer.data(),
                                              static_cast<DWORD>(buffer.size()), &required)) {
        buffer.resize(std::min<size_t>(required, buffer.size()));
        reg_type = type;
        value = IsRegistryTextType(type) ? RegistryTextToUtf8(type, buffer) : std::move(buffer);
        return ERROR_SUCCESS;
      }
      DWORD error = ::GetLastError();
      if (error != ERROR_INSUFFICIENT_BUFFER) return error;
      buffer.resize(std::max<size_t>(required, buffer.size() * 2));
    }
    return ERROR_INSUFFICIENT_BUFFER;
  }

  uint32_t GetDeviceInstanceId(const platform::DeviceInfoData& device,
                               std::string& instance_id) override {
    SP_DEVINFO_DATA data{};
    if (!Find(device, data)) return ERROR_INVALID_PARAMETER;
    std::wstring buffer(MAX_DEVICE_ID_LEN, L'\0');
    DWORD required = 0;
    if (!::SetupDiGetDeviceInstanceIdW(set_.get(), &data, buffer.data(),
                                       static_cast<DWORD>(buffer.size()), &required)) {
      return ::GetLastError();
    }
    instance_id = Narrow(UpToZero(buffer.data(), buffer.size()));
    return ERROR_SUCCESS;
  }

 private:
  // SetupAPI knows a device by its whole SP_DEVINFO_DATA (its reserved field
  // included), the seam by its device node: find the set's entry again.
  bool Find(const platform::DeviceInfoData& device, SP_DEVINFO_DATA& data) {
    for (DWORD index = 0;; ++index) {
      data = SP_DEVINFO_DATA{};
      data.cbSize = sizeof data;
      if (!::SetupDiEnumDeviceInfo(set_.get(), index, &data)) return false;
      if (data.DevInst == device.dev_inst) return true;
    }
  }

  OwnedDeviceInfoList set_;
};

}  // namespace

uint32_t Win32Devices::GetClassDevs(const platform::Guid& class_guid, uint32_t flags,
                                    std::unique_ptr<platform::DeviceInfoSet>& devices) {
  GUID guid = ToWindows(class_guid);
  HDEVINFO set = ::SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags);
  if (set == INVALID_HANDLE_VALUE) return ::GetLastError();
  devices = std::make_unique<Win32DeviceInfoSet>(OwnedDeviceInfoList(set));
  return ERROR_SUCCESS;
}

uint32_t Win32Devices::LocateDevNode(std::string_view instance_id, uint32_t flags,
                                     uint32_t& dev_inst) {
  std::optional<std::wstring> id = platform::ToWide(instance_id);
  if (!id) return CR_INVALID_DEVICE_ID;
  DEVINST located = 0;
  CONFIGRET result = ::CM_Locate_DevNodeW(&located, id->data(), flags);
  if (result != CR_SUCCESS) return result;
  dev_inst = located;
  return CR_SUCCESS;
}

uint32_t Win32Devices::GetDevNodeStatus(uint32_t dev_inst, uint32_t& status, uint32_t& problem) {
  ULONG node_status = 0;
  ULONG node_problem = 0;
  CONFIGRET result = ::CM_Get_DevNode_Status(&node_status, &node_problem, dev_inst, 0);
  if (result != CR_SUCCESS) return result;
  status = node_status;
  problem = node_problem;
  return CR_SUCCESS;
}

uint32_t Win32Devices::GetDevNodeProperty(uint32_t dev_inst, const platform::DevPropKey& key,
                                          uint32_t& property_type, std::vector<uint8_t>& value) {
  GetDevNodePropertyFunction get = Properties().dev_node;
  if (get == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  DEVPROPKEY windows_key = ToWindows(key);
  return ReadProperty(
      [&](DEVPROPTYPE* type, PBYTE buffer, PULONG size) {
        return get(dev_inst, &windows_key, type, buffer, size, 0);
      },
      property_type, value);
}

uint32_t Win32Devices::GetDeviceInterfaceList(const platform::Guid& interface_class, uint32_t flags,
                                              std::vector<std::u16string>& paths) {
  GUID guid = ToWindows(interface_class);
  std::wstring buffer;
  CONFIGRET result = CR_BUFFER_SMALL;
  // Devices may arrive between the size call and the list call.
  for (int attempt = 0; attempt < 4 && result == CR_BUFFER_SMALL; ++attempt) {
    ULONG length = 0;
    result = ::CM_Get_Device_Interface_List_SizeW(&length, &guid, nullptr, flags);
    if (result != CR_SUCCESS) return result;
    buffer.assign(length + 1, L'\0');
    result = ::CM_Get_Device_Interface_ListW(&guid, nullptr, buffer.data(),
                                             static_cast<ULONG>(buffer.size()), flags);
  }
  if (result != CR_SUCCESS) return result;
  paths.clear();
  // A list of zero-terminated paths, ended by an empty one.
  std::wstring_view rest(buffer);
  while (!rest.empty() && rest.front() != L'\0') {
    std::wstring_view path = UpToZero(rest.data(), rest.size());
    paths.push_back(ToU16(path));
    rest.remove_prefix(std::min(rest.size(), path.size() + 1));
  }
  return CR_SUCCESS;
}

uint32_t Win32Devices::GetDeviceInterfaceProperty(std::u16string_view path,
                                                  const platform::DevPropKey& key,
                                                  uint32_t& property_type,
                                                  std::vector<uint8_t>& value) {
  GetInterfacePropertyFunction get = Properties().device_interface;
  if (get == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  std::wstring wide_path = Widen(path);
  DEVPROPKEY windows_key = ToWindows(key);
  return ReadProperty(
      [&](DEVPROPTYPE* type, PBYTE buffer, PULONG size) {
        return get(wide_path.c_str(), &windows_key, type, buffer, size, 0);
      },
      property_type, value);
}

}  // namespace skyfw::win32
