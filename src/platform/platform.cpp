#include "platform/platform.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "base/text.h"
#include "os/process_facts.h"

namespace skyfw::platform {

// ---- value types ---------------------------------------------------------

RegistryValue RegistryValue::Text(std::string_view text, uint32_t type) {
  RegistryValue value;
  value.type = type;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  if (type == REG_MULTI_SZ) value.data.push_back(0);
  return value;
}

RegistryValue RegistryValue::Dword(uint32_t number) {
  RegistryValue value;
  value.type = REG_DWORD;
  for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<uint8_t>(number >> (8 * i)));
  return value;
}

RegistryValue RegistryValue::Binary(std::vector<uint8_t> bytes) {
  RegistryValue value;
  value.type = REG_BINARY;
  value.data = std::move(bytes);
  return value;
}

std::optional<std::string> RegistryValue::AsText() const {
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::nullopt;
  std::string text;
  for (uint8_t byte : data) {
    if (byte == 0) break;
    text.push_back(static_cast<char>(byte));
  }
  return text;
}

std::optional<uint32_t> RegistryValue::AsDword() const {
  if ((type != REG_DWORD && type != REG_BINARY) || data.size() != 4) return std::nullopt;
  return static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
         (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
}

SocketAddress SocketAddress::Ipv6(const uint8_t (&address)[16], uint32_t scope_id) {
  SocketAddress socket;
  socket.bytes.assign(28, 0);
  socket.bytes[0] = static_cast<uint8_t>(AF_INET6_WINDOWS);
  for (int i = 0; i < 16; ++i) socket.bytes[8 + i] = address[i];
  for (int i = 0; i < 4; ++i) socket.bytes[24 + i] = static_cast<uint8_t>(scope_id >> (8 * i));
  return socket;
}

// ---- System defaults -----------------------------------------------------

namespace {

thread_local uint32_t last_error = ERROR_SUCCESS;

struct ErrorText {
  uint32_t code;
  const char* text;
};

// The system texts of the errors this system meets.
constexpr ErrorText kErrorTexts[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_INVALID_DATA, "The data is invalid."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_BAD_LENGTH, "The program issued a command but the command length is incorrect."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BUFFER_OVERFLOW, "The file name is too long."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_MORE_DATA, "More data is available."},
    {WAIT_TIMEOUT, "The wait operation timed out."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller."},
    {ERROR_SERVICE_DATABASE_LOCKED, "The service database is locked."},
    {ERROR_SHUTDOWN_IN_PROGRESS, "A system shutdown is in progress."},
    {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected."},
    {ERROR_NOT_FOUND, "Element not found."},
};

}  // namespace

uint32_t System::GetTickCount() { return OsTickCount(); }

void System::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::time_t System::CurrentTime() { return std::time(nullptr); }

uint32_t System::GetComputerName(std::string& name) {
  std::string host;
  if (!OsHostName(host)) return ERROR_GEN_FAILURE;
  name.clear();
  // NetBIOS names are upper case, at most 15 characters, without domain.
  for (const char* c = host.c_str(); *c != 0 && *c != '.' && name.size() < 15; ++c) {
    name.push_back(AsciiUpper(*c));
  }
  return ERROR_SUCCESS;
}

uint32_t System::GetCommonAppDataFolder(std::string& path) {
  path = "/var/lib/skyfw/ProgramData";
  return ERROR_SUCCESS;
}

uint32_t System::GetSystemDirectory(std::string& path) {
  path = "/var/lib/skyfw/Windows/System32";
  return ERROR_SUCCESS;
}

uint32_t System::LibraryExportsFunction(std::string_view, std::string_view) {
  return ERROR_MOD_NOT_FOUND;
}

uint32_t System::GetModuleFileName(std::string& path) {
  return OsModuleFileName(path) ? ERROR_SUCCESS : ERROR_MOD_NOT_FOUND;
}

uint32_t System::GetLastError() { return last_error; }
void System::SetLastError(uint32_t error) { last_error = error; }

bool System::FormatMessage(uint32_t code, std::string& text) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) {
      text = std::string(entry.text) + "\r\n";
      return true;
    }
  }
  return false;
}

bool System::InitializeSecurityDescriptor(SecurityDescriptor& descriptor) {
  descriptor = SecurityDescriptor{};
  descriptor.initialized = true;
  return true;
}

bool System::SetSecurityDescriptorDacl(SecurityDescriptor& descriptor, bool present, bool null_dacl,
                                       bool defaulted) {
  if (!descriptor.initialized) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  descriptor.dacl_present = present;
  descriptor.dacl_null = present && null_dacl;
  descriptor.dacl_defaulted = defaulted;
  return true;
}

// ---- the minimal platform ------------------------------------------------

namespace {

class ProcessOnlySystem final : public System {
 public:
  void OutputDebugString(std::string_view text) override {
    const char* sink = std::getenv("SKYFW_DEBUG_OUTPUT");
    if (sink != nullptr && std::strcmp(sink, "stderr") == 0) {
      std::fwrite(text.data(), 1, text.size(), stderr);
    }
  }
  uint32_t GetCurrentProcessId() override { return OsProcessId(); }
  uint32_t GetCurrentThreadId() override { return OsThreadId(); }
};

class EmptyRegistry final : public Registry {
 public:
  uint32_t OpenKey(std::string_view, uint32_t, std::unique_ptr<RegistryKey>&) override {
    return ERROR_FILE_NOT_FOUND;
  }
  uint32_t CreateKey(std::string_view, uint32_t, std::unique_ptr<RegistryKey>&, bool*) override {
    return ERROR_ACCESS_DENIED;
  }
};

class EmptyDeviceInfoSet final : public DeviceInfoSet {
 public:
  uint32_t EnumDeviceInfo(uint32_t, DeviceInfoData&) override { return ERROR_NO_MORE_ITEMS; }
  uint32_t GetDeviceRegistryProperty(const DeviceInfoData&, uint32_t, uint32_t&,
                                     std::vector<uint8_t>&) override {
    return ERROR_INVALID_PARAMETER;
  }
  uint32_t GetDeviceInstanceId(const DeviceInfoData&, std::string&) override {
    return ERROR_INVALID_PARAMETER;
  }
};

class NoDevices final : public Devices {
 public:
  uint32_t GetClassDevs(const Guid&, uint32_t, std::unique_ptr<DeviceInfoSet>& devices) override {
    devices = std::make_unique<EmptyDeviceInfoSet>();
    return ERROR_SUCCESS;
  }
  uint32_t LocateDevNode(std::string_view, uint32_t, uint32_t&) override {
    return CR_NO_SUCH_DEVNODE;
  }
  uint32_t GetDevNodeStatus(uint32_t, uint32_t&, uint32_t&) override { return CR_INVALID_DEVNODE; }
  uint32_t GetDevNodeProperty(uint32_t, const DevPropKey&, uint32_t&,
                              std::vector<uint8_t>&) override {
    return CR_INVALID_DEVNODE;
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
};

class NoDeviceIo final : public DeviceIo {
 public:
  uint32_t CreateFile(std::string_view, uint32_t, uint32_t,
                      std::unique_ptr<DeviceHandle>&) override {
    return ERROR_FILE_NOT_FOUND;
  }
};

class NoIpHelper final : public IpHelper {
 public:
  uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) override {
    adapters.clear();
    return ERROR_NO_DATA;
  }
  uint32_t GetAdaptersAddresses(uint32_t, uint32_t,
                                std::vector<IpAdapterAddresses>& adapters) override {
    adapters.clear();
    return ERROR_NO_DATA;
  }
};

class UnlockedServiceManager final : public ServiceManager {
 public:
  uint32_t QueryLockStatus(ServiceLockStatus& status) override {
    status = ServiceLockStatus{};
    return ERROR_SUCCESS;
  }
};

class PlainServices final : public Services {
 public:
  uint32_t OpenSCManager(uint32_t, std::unique_ptr<ServiceManager>& manager) override {
    manager = std::make_unique<UnlockedServiceManager>();
    return ERROR_SUCCESS;
  }
};

class NoWmi final : public Wmi {
 public:
  HRESULT CoInitializeEx(uint32_t) override { return S_OK; }
  void CoUninitialize() override {}
  HRESULT CoInitializeSecurity() override { return S_OK; }
  HRESULT CoCreateLocator(std::unique_ptr<WmiLocator>&) override { return REGDB_E_CLASSNOTREG; }
};

class NoEventLog final : public EventLog {
 public:
  uint32_t RegisterEventSource(std::string_view, std::unique_ptr<EventSource>&) override {
    return ERROR_ACCESS_DENIED;
  }
};

class NoMutexes final : public Mutexes {
 public:
  uint32_t CreateMutex(const SecurityAttributes*, bool, std::string_view,
                       std::unique_ptr<NamedMutex>&) override {
    return ERROR_NOT_SUPPORTED;
  }
};

class ProcessOnlyPlatform final : public Platform {
 public:
  System& system() override { return system_; }
  Registry& registry() override { return registry_; }
  Devices& devices() override { return devices_; }
  DeviceIo& deviceIo() override { return device_io_; }
  IpHelper& ipHelper() override { return ip_helper_; }
  Services& services() override { return services_; }
  Wmi& wmi() override { return wmi_; }
  EventLog& eventLog() override { return event_log_; }
  Mutexes& mutexes() override { return mutexes_; }

 private:
  ProcessOnlySystem system_;
  EmptyRegistry registry_;
  NoDevices devices_;
  NoDeviceIo device_io_;
  NoIpHelper ip_helper_;
  PlainServices services_;
  NoWmi wmi_;
  NoEventLog event_log_;
  NoMutexes mutexes_;
};

ProcessOnlyPlatform& Fallback() {
  static ProcessOnlyPlatform fallback;
  return fallback;
}

std::atomic<Platform*> installed{nullptr};

}  // namespace

Platform& Current() {
  Platform* platform = installed.load(std::memory_order_acquire);
  return platform != nullptr ? *platform : Fallback();
}

Platform& Minimal() { return Fallback(); }

void Install(Platform* platform) { installed.store(platform, std::memory_order_release); }

}  // namespace skyfw::platform
