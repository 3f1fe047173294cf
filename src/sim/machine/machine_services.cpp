#include "sim/machine/machine_services.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "base/unicode.h"
#include "os/appending_file.h"
#include "os/calendar.h"
#include "os/file_names.h"
#include "os/process_facts.h"

namespace skyfw::sim {
namespace {

using platform::ERROR_SUCCESS;

std::string TextOrZero(const std::string& text) { return text.empty() ? "0.0.0.0" : text; }

// ---- service control manager ----

class MachineServiceManager final : public platform::ServiceManager {
 public:
  explicit MachineServiceManager(const MachineFaults& faults) : faults_(faults) {}
  uint32_t QueryLockStatus(platform::ServiceLockStatus& status) override {
    status = platform::ServiceLockStatus{};
    if (faults_.scm_locked) {
      status.locked = true;
      status.lock_owner = faults_.scm_lock_owner;
      status.lock_duration = 42;
    }
    return ERROR_SUCCESS;
  }

 private:
  const MachineFaults& faults_;
};

// ---- event log ----

class MachineEventSource final : public platform::EventSource {
 public:
  MachineEventSource(std::filesystem::path path, std::string computer, std::string source,
                     platform::System& system)
      : path_(std::move(path)),
        computer_(std::move(computer)),
        source_(std::move(source)),
        system_(system) {}
  ~MachineEventSource() override { Deregister(); }

  uint32_t ReportEvent(uint16_t type, uint16_t category, uint32_t event_id,
                       const std::vector<std::string>& strings) override {
    if (!open_) return platform::ERROR_INVALID_HANDLE;
    std::time_t now = system_.CurrentTime();
    std::tm utc{};
    platform::UtcCalendarTime(now, utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    nlohmann::ordered_json event;
    event["time"] = stamp;
    event["computer"] = computer_;
    event["log"] = "Application";
    event["source"] = source_;
    event["type"] = type;
    event["category"] = category;
    event["event_id"] = event_id;
    event["strings"] = strings;
    event["process"] = system_.GetCurrentProcessId();
    std::string line = event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return platform::AppendLine(path_, line) == 0 ? ERROR_SUCCESS : platform::ERROR_ACCESS_DENIED;
  }

  uint32_t Deregister() override {
    if (!open_) return platform::ERROR_INVALID_HANDLE;
    open_ = false;
    return ERROR_SUCCESS;
  }

 private:
  std::filesystem::path path_;
  std::string computer_;
  std::string source_;
  platform::System& system_;
  bool open_ = true;
};

// Exports of the system libraries the system looks for.
struct LibraryExports {
  const char* library;
  std::vector<const char*> functions;
};

const std::vector<LibraryExports>& SystemLibraries() {
  static const std::vector<LibraryExports> libraries = {
      {"Setupapi.dll",
       {"SetupDiGetClassDevsA", "SetupDiEnumDeviceInfo", "SetupDiEnumDeviceInterfaces",
        "SetupDiGetDeviceRegistryPropertyA", "SetupDiGetDeviceInstanceIdA",
        "SetupDiDestroyDeviceInfoList"}},
      {"Iphlpapi.dll", {"GetAdaptersInfo", "GetAdaptersAddresses"}},
      {"Cfgmgr32.dll",
       {"CM_Locate_DevNodeA", "CM_Get_DevNode_Status", "CM_Get_Device_Interface_ListW",
        "CM_Get_Device_Interface_PropertyW", "CM_Get_DevNode_PropertyW"}},
  };
  return libraries;
}

}  // namespace

// ---- IP helper ----

uint32_t MachineIpHelper::GetAdaptersInfo(std::vector<platform::IpAdapterInfo>& adapters) {
  adapters.clear();
  for (size_t i = 0; i < description_.devices.size(); ++i) {
    const DeviceDescription& device = description_.devices[i];
    if (!device.present || device.net_cfg_instance_id.empty()) continue;
    Ipv4Config config = device.ipv4.value_or(Ipv4Config{});
    if (!config.listed) continue;
    platform::IpAdapterInfo info;
    info.adapter_name = device.net_cfg_instance_id;
    info.description = device.description;
    info.index = static_cast<uint32_t>(i + 1);
    info.type = platform::MIB_IF_TYPE_ETHERNET;
    if (device.adapter_index) {
      const auto& mac =
          description_.adapters[*device.adapter_index].ports[*device.port_index].current_mac;
      info.address.assign(mac.begin(), mac.end());
    }
    info.dhcp_enabled = config.dhcp_enabled;
    info.ip_address_list.push_back({TextOrZero(config.address), TextOrZero(config.mask)});
    info.gateway_list.push_back({TextOrZero(config.gateway), ""});
    adapters.push_back(std::move(info));
  }
  return adapters.empty() ? platform::ERROR_NO_DATA : ERROR_SUCCESS;
}

uint32_t MachineIpHelper::GetAdaptersAddresses(
    uint32_t family, uint32_t, std::vector<platform::IpAdapterAddresses>& adapters) {
  adapters.clear();
  size_t ethernet = 0;
  for (const DeviceDescription& device : description_.devices) {
    if (!device.present || device.net_cfg_instance_id.empty()) continue;
    ++ethernet;
    Ipv6Config config = device.ipv6.value_or(Ipv6Config{});
    if (!config.listed) continue;
    platform::IpAdapterAddresses entry;
    entry.adapter_name = device.net_cfg_instance_id;
    entry.friendly_name =
        Utf8ToUtf16(ethernet == 1 ? "Ethernet" : "Ethernet " + std::to_string(ethernet));
    entry.description = Utf8ToUtf16(device.description);
    if (family == platform::AF_INET6_WINDOWS || family == 0) {
      for (const Ipv6Unicast& unicast : config.unicast) {
        platform::IpUnicastAddress address;
        uint8_t bytes[16];
        std::copy(unicast.address.begin(), unicast.address.end(), bytes);
        address.address = platform::SocketAddress::Ipv6(bytes);
        address.flags = unicast.flags;
        address.prefix_origin = unicast.prefix_origin;
        address.suffix_origin = unicast.suffix_origin;
        address.dad_state = unicast.dad_state;
        address.valid_lifetime = unicast.valid_lifetime;
        address.preferred_lifetime = unicast.preferred_lifetime;
        address.lease_lifetime = unicast.lease_lifetime;
        entry.unicast_addresses.push_back(address);
      }
      for (const auto& gateway : config.gateways) {
        uint8_t bytes[16];
        std::copy(gateway.begin(), gateway.end(), bytes);
        entry.gateway_addresses.push_back(platform::SocketAddress::Ipv6(bytes));
      }
    }
    adapters.push_back(std::move(entry));
  }
  return adapters.empty() ? platform::ERROR_NO_DATA : ERROR_SUCCESS;
}

// ---- service control manager ----

uint32_t MachineServices::OpenSCManager(uint32_t,
                                        std::unique_ptr<platform::ServiceManager>& manager) {
  if (description_.faults.shutting_down) return platform::ERROR_SHUTDOWN_IN_PROGRESS;
  manager = std::make_unique<MachineServiceManager>(description_.faults);
  return ERROR_SUCCESS;
}

// ---- event log ----

uint32_t MachineEventLog::RegisterEventSource(std::string_view source_name,
                                              std::unique_ptr<platform::EventSource>& source) {
  if (source_name.empty()) return platform::ERROR_INVALID_PARAMETER;
  source =
      std::make_unique<MachineEventSource>(path_, computer_, std::string(source_name), system_);
  return ERROR_SUCCESS;
}

// ---- system facts ----

MachineSystem::MachineFolder::MachineFolder(std::filesystem::path path)
    : path_(std::move(path)), name_(platform::FromFileSystemPath(path_)) {}

uint32_t MachineSystem::MachineFolder::Get(std::string& path) const {
  // Made again if someone removed it meanwhile: Windows always has these.
  std::error_code error;
  std::filesystem::create_directories(path_, error);
  if (error) return platform::ERROR_PATH_NOT_FOUND;
  path = name_;
  return ERROR_SUCCESS;
}

MachineSystem::MachineSystem(const MachineDescription& description,
                             const std::filesystem::path& directory)
    : description_(description),
      program_data_(directory / "ProgramData"),
      system32_(directory / "Windows" / "System32") {}

void MachineSystem::OutputDebugString(std::string_view text) {
  const char* sink = std::getenv("SKYFW_DEBUG_OUTPUT");
  if (sink != nullptr && std::strcmp(sink, "stderr") == 0) {
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
}

uint32_t MachineSystem::GetCurrentProcessId() { return platform::OsProcessId(); }

uint32_t MachineSystem::GetCurrentThreadId() { return platform::OsThreadId(); }

uint32_t MachineSystem::GetComputerName(std::string& name) {
  name = description_.computer_name;
  return ERROR_SUCCESS;
}

uint32_t MachineSystem::GetCommonAppDataFolder(std::string& path) {
  return program_data_.Get(path);
}

uint32_t MachineSystem::GetSystemDirectory(std::string& path) { return system32_.Get(path); }

uint32_t MachineSystem::LibraryExportsFunction(std::string_view library_path,
                                               std::string_view function) {
  // Only libraries of the system directory load; the name after the last
  // separator of either kind counts.
  const std::string& system_directory = system32_.name();
  size_t cut = library_path.find_last_of("/\\");
  std::string_view folder = cut == std::string_view::npos ? "" : library_path.substr(0, cut);
  std::string_view file =
      cut == std::string_view::npos ? library_path : library_path.substr(cut + 1);
  if (folder != system_directory) return platform::ERROR_MOD_NOT_FOUND;
  for (const LibraryExports& library : SystemLibraries()) {
    if (!EqualsNoCase(library.library, file)) continue;
    for (const std::string& missing : description_.faults.missing_exports) {
      size_t bang = missing.find('!');
      std::string_view missing_library = std::string_view(missing).substr(0, bang);
      std::string_view missing_function = std::string_view(missing).substr(bang + 1);
      if (!EqualsNoCase(missing_library, file)) continue;
      if (missing_function == "*") return platform::ERROR_MOD_NOT_FOUND;
      if (missing_function == function) return platform::ERROR_PROC_NOT_FOUND;
    }
    for (const char* exported : library.functions) {
      if (function == exported) return ERROR_SUCCESS;
    }
    return platform::ERROR_PROC_NOT_FOUND;
  }
  return platform::ERROR_MOD_NOT_FOUND;
}

}  // namespace skyfw::sim
