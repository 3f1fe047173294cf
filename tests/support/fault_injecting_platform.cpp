#include "support/fault_injecting_platform.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

namespace skyfw::testing {

using namespace platform;

class FaultInjectingPlatform::Calls {
 public:
  // Counts a call that can fail; true when it is the one to fail.
  bool Fails(const char* name) {
    std::lock_guard<std::mutex> hold(mutex_);
    names_.push_back(name);
    if (names_.size() != fail_at_) return false;
    injected_ = true;
    return true;
  }
  void Other() {
    std::lock_guard<std::mutex> hold(mutex_);
    ++other_;
  }
  void HandleOpened() { ++open_handles_; }
  void HandleClosed() { --open_handles_; }
  int64_t OpenHandles() const { return open_handles_; }
  void ComEntered() { ++com_depth_; }
  void ComLeft() { --com_depth_; }
  int64_t ComDepth() const { return com_depth_; }

  void FailAt(uint64_t number) {
    std::lock_guard<std::mutex> hold(mutex_);
    fail_at_ = number;
    injected_ = false;
  }
  bool Injected() {
    std::lock_guard<std::mutex> hold(mutex_);
    return injected_;
  }
  uint64_t Failable() {
    std::lock_guard<std::mutex> hold(mutex_);
    return names_.size();
  }
  uint64_t OtherCount() {
    std::lock_guard<std::mutex> hold(mutex_);
    return other_;
  }
  std::vector<std::string> Names() {
    std::lock_guard<std::mutex> hold(mutex_);
    return {names_.begin(), names_.end()};
  }

 private:
  std::mutex mutex_;
  uint64_t fail_at_ = 0;
  bool injected_ = false;
  uint64_t other_ = 0;
  std::vector<const char*> names_;
  std::atomic<int64_t> open_handles_{0};
  std::atomic<int64_t> com_depth_{0};
};

namespace {

using Calls = FaultInjectingPlatform::Calls;
using CallsPtr = std::shared_ptr<Calls>;

// Counts a handle the platform gave out from its opening to its closing.
class OpenHandle {
 public:
  explicit OpenHandle(CallsPtr calls) : calls_(std::move(calls)) { calls_->HandleOpened(); }
  ~OpenHandle() { calls_->HandleClosed(); }
  OpenHandle(const OpenHandle&) = delete;
  OpenHandle& operator=(const OpenHandle&) = delete;

 private:
  CallsPtr calls_;
};

// ---- System --------------------------------------------------------------

class FaultSystem final : public System {
 public:
  FaultSystem(System& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  void OutputDebugString(std::string_view text) override {
    calls_->Other();
    inner_.OutputDebugString(text);
  }
  uint32_t GetCurrentProcessId() override {
    calls_->Other();
    return inner_.GetCurrentProcessId();
  }
  uint32_t GetCurrentThreadId() override {
    calls_->Other();
    return inner_.GetCurrentThreadId();
  }
  uint32_t GetTickCount() override {
    calls_->Other();
    return inner_.GetTickCount();
  }
  void Sleep(uint32_t milliseconds) override {
    calls_->Other();
    inner_.Sleep(milliseconds);
  }
  std::time_t CurrentTime() override {
    calls_->Other();
    return fixed_now_ ? *fixed_now_ : inner_.CurrentTime();
  }
  uint32_t GetLastError() override {
    calls_->Other();
    return inner_.GetLastError();
  }
  void SetLastError(uint32_t error) override {
    calls_->Other();
    inner_.SetLastError(error);
  }

  uint32_t GetComputerName(std::string& name) override {
    if (calls_->Fails("System.GetComputerName")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_.GetComputerName(name);
  }
  uint32_t GetCommonAppDataFolder(std::string& path) override {
    if (calls_->Fails("System.GetCommonAppDataFolder")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_.GetCommonAppDataFolder(path);
  }
  uint32_t GetSystemDirectory(std::string& path) override {
    if (calls_->Fails("System.GetSystemDirectory")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_.GetSystemDirectory(path);
  }
  uint32_t LibraryExportsFunction(std::string_view library_path,
                                  std::string_view function) override {
    if (calls_->Fails("System.LibraryExportsFunction")) return ERROR_MOD_NOT_FOUND;
    return inner_.LibraryExportsFunction(library_path, function);
  }
  uint32_t GetModuleFileName(std::string& path) override {
    if (calls_->Fails("System.GetModuleFileName")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_.GetModuleFileName(path);
  }
  bool FormatMessage(uint32_t code, std::string& text) override {
    if (calls_->Fails("System.FormatMessage")) return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    return inner_.FormatMessage(code, text);
  }
  bool InitializeSecurityDescriptor(SecurityDescriptor& descriptor) override {
    if (calls_->Fails("System.InitializeSecurityDescriptor")) {
      return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    return inner_.InitializeSecurityDescriptor(descriptor);
  }
  bool SetSecurityDescriptorDacl(SecurityDescriptor& descriptor, bool present, bool null_dacl,
                                 bool defaulted) override {
    if (calls_->Fails("System.SetSecurityDescriptorDacl")) {
      return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    return inner_.SetSecurityDescriptorDacl(descriptor, present, null_dacl, defaulted);
  }

  void FixClock(std::time_t now) { fixed_now_ = now; }

 private:
  // A call answering true/false tells its failure through the last error.
  bool FailWith(uint32_t error) {
    inner_.SetLastError(error);
    return false;
  }

  System& inner_;
  CallsPtr calls_;
  std::optional<std::time_t> fixed_now_;
};

// ---- Registry ------------------------------------------------------------

class FaultRegistryKey final : public RegistryKey {
 public:
  FaultRegistryKey(std::unique_ptr<RegistryKey> inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  uint32_t QueryValue(std::string_view name, RegistryValue& value) override {
    if (calls_->Fails("RegistryKey.QueryValue")) return ERROR_ACCESS_DENIED;
    return inner_->QueryValue(name, value);
  }
  uint32_t SetValue(std::string_view name, const RegistryValue& value) override {
    if (calls_->Fails("RegistryKey.SetValue")) return ERROR_ACCESS_DENIED;
    return inner_->SetValue(name, value);
  }
  uint32_t EnumKey(uint32_t index, std::string& name) override {
    if (calls_->Fails("RegistryKey.EnumKey")) return ERROR_ACCESS_DENIED;
    return inner_->EnumKey(index, name);
  }
  uint32_t QueryInfoKey(uint32_t& subkey_count, uint32_t& value_count) override {
    if (calls_->Fails("RegistryKey.QueryInfoKey")) return ERROR_ACCESS_DENIED;
    return inner_->QueryInfoKey(subkey_count, value_count);
  }

 private:
  std::unique_ptr<RegistryKey> inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

// Wraps a handle the inner call gave out; a failed call leaves `out` alone.
template <typename Wrapper, typename Handle>
void WrapHandle(std::unique_ptr<Handle>& out, const CallsPtr& calls) {
  if (out) out = std::make_unique<Wrapper>(std::move(out), calls);
}

class FaultRegistry final : public Registry {
 public:
  FaultRegistry(Registry& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  uint32_t OpenKey(std::string_view path, uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override {
    if (calls_->Fails("Registry.OpenKey")) return ERROR_ACCESS_DENIED;
    uint32_t result = inner_.OpenKey(path, access, key);
    WrapHandle<FaultRegistryKey>(key, calls_);
    return result;
  }
  uint32_t CreateKey(std::string_view path, uint32_t access, std::unique_ptr<RegistryKey>& key,
                     bool* created) override {
    if (calls_->Fails("Registry.CreateKey")) return ERROR_ACCESS_DENIED;
    uint32_t result = inner_.CreateKey(path, access, key, created);
    WrapHandle<FaultRegistryKey>(key, calls_);
    return result;
  }

 private:
  Registry& inner_;
  CallsPtr calls_;
};

// ---- Devices ---------------------------------------------------------------

class FaultDeviceInfoSet final : public DeviceInfoSet {
 public:
  FaultDeviceInfoSet(std::unique_ptr<DeviceInfoSet> inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  uint32_t EnumDeviceInfo(uint32_t index, DeviceInfoData& device) override {
    if (calls_->Fails("DeviceInfoSet.EnumDeviceInfo")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_->EnumDeviceInfo(index, device);
  }
  uint32_t GetDeviceRegistryProperty(const DeviceInfoData& device, uint32_t property,
                                     uint32_t& reg_type, std::vector<uint8_t>& value) override {
    if (calls_->Fails("DeviceInfoSet.GetDeviceRegistryProperty")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_->GetDeviceRegistryProperty(device, property, reg_type, value);
  }
  uint32_t GetDeviceInstanceId(const DeviceInfoData& device, std::string& instance_id) override {
    if (calls_->Fails("DeviceInfoSet.GetDeviceInstanceId")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_->GetDeviceInstanceId(device, instance_id);
  }

 private:
  std::unique_ptr<DeviceInfoSet> inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

class FaultDevices final : public Devices {
 public:
  FaultDevices(Devices& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  uint32_t GetClassDevs(const Guid& class_guid, uint32_t flags,
                        std::unique_ptr<DeviceInfoSet>& devices) override {
    if (calls_->Fails("Devices.GetClassDevs")) return ERROR_NOT_ENOUGH_MEMORY;
    uint32_t result = inner_.GetClassDevs(class_guid, flags, devices);
    WrapHandle<FaultDeviceInfoSet>(devices, calls_);
    return result;
  }
  uint32_t LocateDevNode(std::string_view instance_id, uint32_t flags,
                         uint32_t& dev_inst) override {
    if (calls_->Fails("Devices.LocateDevNode")) return CR_FAILURE;
    return inner_.LocateDevNode(instance_id, flags, dev_inst);
  }
  uint32_t GetDevNodeStatus(uint32_t dev_inst, uint32_t& status, uint32_t& problem) override {
    if (calls_->Fails("Devices.GetDevNodeStatus")) return CR_FAILURE;
    return inner_.GetDevNodeStatus(dev_inst, status, problem);
  }
  uint32_t GetDevNodeProperty(uint32_t dev_inst, const DevPropKey& key, uint32_t& property_type,
                              std::vector<uint8_t>& value) override {
    if (calls_->Fails("Devices.GetDevNodeProperty")) return CR_FAILURE;
    return inner_.GetDevNodeProperty(dev_inst, key, property_type, value);
  }
  uint32_t GetDeviceInterfaceList(const Guid& interface_class, uint32_t flags,
                                  std::vector<std::u16string>& paths) override {
    if (calls_->Fails("Devices.GetDeviceInterfaceList")) return CR_FAILURE;
    return inner_.GetDeviceInterfaceList(interface_class, flags, paths);
  }
  uint32_t GetDeviceInterfaceProperty(std::u16string_view path, const DevPropKey& key,
                                      uint32_t& property_type,
                                      std::vector<uint8_t>& value) override {
    if (calls_->Fails("Devices.GetDeviceInterfaceProperty")) return CR_FAILURE;
    return inner_.GetDeviceInterfaceProperty(path, key, property_type, value);
  }

 private:
  Devices& inner_;
  CallsPtr calls_;
};

// ---- Device I/O ------------------------------------------------------------

class FaultDeviceHandle final : public DeviceHandle {
 public:
  FaultDeviceHandle(std::unique_ptr<DeviceHandle> inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  uint32_t DeviceIoControl(uint32_t control_code, std::span<const uint8_t> input,
                           std::span<uint8_t> output, uint32_t& bytes_returned) override {
    if (calls_->Fails("DeviceHandle.DeviceIoControl")) {
      bytes_returned = 0;
      return ERROR_GEN_FAILURE;
    }
    return inner_->DeviceIoControl(control_code, input, output, bytes_returned);
  }

 private:
  std::unique_ptr<DeviceHandle> inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

class FaultDeviceIo final : public DeviceIo {
 public:
  FaultDeviceIo(DeviceIo& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  uint32_t CreateFile(std::string_view name, uint32_t desired_access, uint32_t share_mode,
                      std::unique_ptr<DeviceHandle>& handle) override {
    if (calls_->Fails("DeviceIo.CreateFile")) return ERROR_ACCESS_DENIED;
    uint32_t result = inner_.CreateFile(name, desired_access, share_mode, handle);
    WrapHandle<FaultDeviceHandle>(handle, calls_);
    return result;
  }

 private:
  DeviceIo& inner_;
  CallsPtr calls_;
};

// ---- IP helper, services, event log ----------------------------------------

class FaultIpHelper final : public IpHelper {
 public:
  FaultIpHelper(IpHelper& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) override {
    if (calls_->Fails("IpHelper.GetAdaptersInfo")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_.GetAdaptersInfo(adapters);
  }
  uint32_t GetAdaptersAddresses(uint32_t family, uint32_t flags,
                                std::vector<IpAdapterAddresses>& adapters) override {
    if (calls_->Fails("IpHelper.GetAdaptersAddresses")) return ERROR_NOT_ENOUGH_MEMORY;
    return inner_.GetAdaptersAddresses(family, flags, adapters);
  }

 private:
  IpHelper& inner_;
  CallsPtr calls_;
};

class FaultServiceManager final : public ServiceManager {
 public:
  FaultServiceManager(std::unique_ptr<ServiceManager> inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  uint32_t QueryLockStatus(ServiceLockStatus& status) override {
    if (calls_->Fails("ServiceManager.QueryLockStatus")) return ERROR_ACCESS_DENIED;
    return inner_->QueryLockStatus(status);
  }

 private:
  std::unique_ptr<ServiceManager> inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

class FaultServices final : public Services {
 public:
  FaultServices(Services& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  uint32_t OpenSCManager(uint32_t access, std::unique_ptr<ServiceManager>& manager) override {
    if (calls_->Fails("Services.OpenSCManager")) return ERROR_ACCESS_DENIED;
    uint32_t result = inner_.OpenSCManager(access, manager);
    WrapHandle<FaultServiceManager>(manager, calls_);
    return result;
  }

 private:
  Services& inner_;
  CallsPtr calls_;
};

class FaultEventSource final : public EventSource {
 public:
  FaultEventSource(std::unique_ptr<EventSource> inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  uint32_t ReportEvent(uint16_t type, uint16_t category, uint32_t event_id,
                       const std::vector<std::string>& strings) override {
    if (calls_->Fails("EventSource.ReportEvent")) return ERROR_ACCESS_DENIED;
    return inner_->ReportEvent(type, category, event_id, strings);
  }
  uint32_t Deregister() override {
    if (calls_->Fails("EventSource.Deregister")) return ERROR_INVALID_HANDLE;
    return inner_->Deregister();
  }

 private:
  std::unique_ptr<EventSource> inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

class FaultEventLog final : public EventLog {
 public:
  FaultEventLog(EventLog& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  uint32_t RegisterEventSource(std::string_view source_name,
                               std::unique_ptr<EventSource>& source) override {
    if (calls_->Fails("EventLog.RegisterEventSource")) return ERROR_ACCESS_DENIED;
    uint32_t result = inner_.RegisterEventSource(source_name, source);
    WrapHandle<FaultEventSource>(source, calls_);
    return result;
  }

 private:
  EventLog& inner_;
  CallsPtr calls_;
};

// ---- Named mutexes ---------------------------------------------------------

class FaultNamedMutex final : public NamedMutex {
 public:
  FaultNamedMutex(std::unique_ptr<NamedMutex> inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  uint32_t Wait(uint32_t timeout_ms) override {
    if (calls_->Fails("NamedMutex.Wait")) return WAIT_FAILED;
    return inner_->Wait(timeout_ms);
  }
  uint32_t Release() override {
    if (calls_->Fails("NamedMutex.Release")) return ERROR_NOT_OWNER;
    return inner_->Release();
  }

 private:
  std::unique_ptr<NamedMutex> inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

class FaultMutexes final : public Mutexes {
 public:
  FaultMutexes(Mutexes& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  uint32_t CreateMutex(const SecurityAttributes* security, bool initial_owner,
                       std::string_view name, std::unique_ptr<NamedMutex>& mutex) override {
    if (calls_->Fails("Mutexes.CreateMutex")) return ERROR_ACCESS_DENIED;
    uint32_t result = inner_.CreateMutex(security, initial_owner, name, mutex);
    WrapHandle<FaultNamedMutex>(mutex, calls_);
    return result;
  }

 private:
  Mutexes& inner_;
  CallsPtr calls_;
};

// ---- WMI -------------------------------------------------------------------

class FaultWmiObject final : public WmiObject {
 public:
  FaultWmiObject(WmiObjectPtr inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  // The object the inner platform gave out: WMI objects go back to it (a
  // filled input signature) as its own.
  static WmiObjectPtr Unwrap(const WmiObjectPtr& object) {
    auto* wrapper = dynamic_cast<FaultWmiObject*>(object.get());
    return wrapper != nullptr ? wrapper->inner_ : object;
  }
  static void Wrap(WmiObjectPtr& object, const CallsPtr& calls) {
    if (object) object = std::make_shared<FaultWmiObject>(std::move(object), calls);
  }

  HRESULT Get(std::u16string_view name, Variant& value, CimType* type) override {
    if (calls_->Fails("WmiObject.Get")) return WBEM_E_FAILED;
    return inner_->Get(name, value, type);
  }
  HRESULT Put(std::u16string_view name, const Variant& value) override {
    if (calls_->Fails("WmiObject.Put")) return WBEM_E_FAILED;
    return inner_->Put(name, value);
  }
  HRESULT GetMethod(std::u16string_view method, WmiObjectPtr& in_signature,
                    WmiObjectPtr* out_signature) override {
    if (calls_->Fails("WmiObject.GetMethod")) return WBEM_E_FAILED;
    HRESULT result = inner_->GetMethod(method, in_signature, out_signature);
    Wrap(in_signature, calls_);
    if (out_signature != nullptr) Wrap(*out_signature, calls_);
    return result;
  }
  std::vector<std::u16string> GetNames() override {
    calls_->Other();
    return inner_->GetNames();
  }

 private:
  WmiObjectPtr inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

class FaultWmiServices final : public WmiServices {
 public:
  FaultWmiServices(std::unique_ptr<WmiServices> inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  HRESULT GetObject(std::u16string_view path, WmiObjectPtr& object) override {
    if (calls_->Fails("WmiServices.GetObject")) return WBEM_E_FAILED;
    // On failure the caller's object stays as it was, wrapped or not.
    WmiObjectPtr fetched;
    HRESULT result = inner_->GetObject(path, fetched);
    if (fetched) {
      FaultWmiObject::Wrap(fetched, calls_);
      object = std::move(fetched);
    }
    return result;
  }
  HRESULT ExecMethod(std::u16string_view object_path, std::u16string_view method,
                     const WmiObjectPtr& in_params, WmiObjectPtr* out_params) override {
    if (calls_->Fails("WmiServices.ExecMethod")) return WBEM_E_FAILED;
    HRESULT result =
        inner_->ExecMethod(object_path, method, FaultWmiObject::Unwrap(in_params), out_params);
    if (out_params != nullptr) FaultWmiObject::Wrap(*out_params, calls_);
    return result;
  }

 private:
  std::unique_ptr<WmiServices> inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

class FaultWmiLocator final : public WmiLocator {
 public:
  FaultWmiLocator(std::unique_ptr<WmiLocator> inner, CallsPtr calls)
      : inner_(std::move(inner)), calls_(std::move(calls)) {}

  HRESULT ConnectServer(std::u16string_view name_space, int32_t flags,
                        std::unique_ptr<WmiServices>& services) override {
    if (calls_->Fails("WmiLocator.ConnectServer")) return WBEM_E_TRANSPORT_FAILURE;
    HRESULT result = inner_->ConnectServer(name_space, flags, services);
    WrapHandle<FaultWmiServices>(services, calls_);
    return result;
  }

 private:
  std::unique_ptr<WmiLocator> inner_;
  CallsPtr calls_;
  OpenHandle open_{calls_};
};

class FaultWmi final : public Wmi {
 public:
  FaultWmi(Wmi& inner, CallsPtr calls) : inner_(inner), calls_(std::move(calls)) {}

  HRESULT CoInitializeEx(uint32_t model) override {
    if (calls_->Fails("Wmi.CoInitializeEx")) return E_OUTOFMEMORY;
    HRESULT result = inner_.CoInitializeEx(model);
    if (SUCCEEDED(result)) calls_->ComEntered();
    return result;
  }
  void CoUninitialize() override {
    calls_->Other();
    calls_->ComLeft();
    inner_.CoUninitialize();
  }
  HRESULT CoInitializeSecurity() override {
    if (calls_->Fails("Wmi.CoInitializeSecurity")) return E_OUTOFMEMORY;
    return inner_.CoInitializeSecurity();
  }
  HRESULT CoCreateLocator(std::unique_ptr<WmiLocator>& locator) override {
    if (calls_->Fails("Wmi.CoCreateLocator")) return REGDB_E_CLASSNOTREG;
    HRESULT result = inner_.CoCreateLocator(locator);
    WrapHandle<FaultWmiLocator>(locator, calls_);
    return result;
  }

 private:
  Wmi& inner_;
  CallsPtr calls_;
};

}  // namespace

struct FaultInjectingPlatform::Parts {
  Parts(Platform& inner, const CallsPtr& calls)
      : system(inner.system(), calls),
        registry(inner.registry(), calls),
        devices(inner.devices(), calls),
        device_io(inner.deviceIo(), calls),
        ip_helper(inner.ipHelper(), calls),
        services(inner.services(), calls),
        wmi(inner.wmi(), calls),
        event_log(inner.eventLog(), calls),
        mutexes(inner.mutexes(), calls) {}

  FaultSystem system;
  FaultRegistry registry;
  FaultDevices devices;
  FaultDeviceIo device_io;
  FaultIpHelper ip_helper;
  FaultServices services;
  FaultWmi wmi;
  FaultEventLog event_log;
  FaultMutexes mutexes;
};

FaultInjectingPlatform::FaultInjectingPlatform(Platform& inner)
    : calls_(std::make_shared<Calls>()), parts_(std::make_unique<Parts>(inner, calls_)) {}

FaultInjectingPlatform::~FaultInjectingPlatform() = default;

void FaultInjectingPlatform::FailCall(uint64_t number) { calls_->FailAt(number); }
bool FaultInjectingPlatform::FailureInjected() const { return calls_->Injected(); }
uint64_t FaultInjectingPlatform::FailableCalls() const { return calls_->Failable(); }
uint64_t FaultInjectingPlatform::OtherCalls() const { return calls_->OtherCount(); }
std::vector<std::string> FaultInjectingPlatform::CallNames() const { return calls_->Names(); }
int64_t FaultInjectingPlatform::OpenHandles() const { return calls_->OpenHandles(); }
int64_t FaultInjectingPlatform::ComInitializations() const { return calls_->ComDepth(); }
void FaultInjectingPlatform::FixClock(std::time_t now) { parts_->system.FixClock(now); }

System& FaultInjectingPlatform::system() { return parts_->system; }
Registry& FaultInjectingPlatform::registry() { return parts_->registry; }
Devices& FaultInjectingPlatform::devices() { return parts_->devices; }
DeviceIo& FaultInjectingPlatform::deviceIo() { return parts_->device_io; }
IpHelper& FaultInjectingPlatform::ipHelper() { return parts_->ip_helper; }
Services& FaultInjectingPlatform::services() { return parts_->services; }
Wmi& FaultInjectingPlatform::wmi() { return parts_->wmi; }
EventLog& FaultInjectingPlatform::eventLog() { return parts_->event_log; }
Mutexes& FaultInjectingPlatform::mutexes() { return parts_->mutexes; }

}  // namespace skyfw::testing
