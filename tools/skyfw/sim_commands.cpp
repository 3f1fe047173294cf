// skyfw sim: create, inspect and read the event log of simulated machines.
//
//   skyfw sim init DIR [--from FILE]   write the demo machine (or FILE) into DIR
//   skyfw sim show DIR [--json]        devices, adapters, ports, NVRAM, locks
//   skyfw sim events DIR [--json]      the Application event log
#include <fmt/format.h>

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "base/byte_reader.h"
#include "command_output.h"
#include "command_registry.h"
#include "os/file_names.h"
#include "os/file_reader.h"
#include "package/item_types.h"
#include "platform/platform.h"
#include "sim/machine/machine.h"
#include "sim/machine/machine_mutexes.h"
#include "base/text.h"
#include "base/unicode.h"

namespace skyfw::tool {
namespace {

using Json = nlohmann::ordered_json;
namespace platform = skyfw::platform;

std::string Hex(uint64_t value, int digits) { return fmt::format("0x{:0{}X}", value, digits); }

std::string MacText(const std::array<uint8_t, 6>& mac) {
  return fmt::format("{:02X}:{:02X}:{:02X}:{:02X}:{:02X}:{:02X}", mac[0], mac[1], mac[2], mac[3],
                     mac[4], mac[5]);
}

// The object path of an adapter's instance of a driver class.
std::u16string InstancePath(std::string_view class_name, std::string_view title) {
  std::u16string path = Utf8ToUtf16(class_name) + u".InstanceName=\"";
  for (char16_t c : Utf8ToUtf16(title)) {
    if (c == u'"' || c == u'\\') path.push_back(u'\\');
    path.push_back(c);
  }
  return path + u"\"";
}

// What the driver tells about one adapter's NVRAM, asked through the
// machine's own WMI as any client would.
struct NvramView {
  std::string error;  // empty when the driver answered
  std::string version;
  Json entries = Json::array();
};

// COM for the calling thread, ended again on every path.
class ComScope {
 public:
  explicit ComScope(platform::Wmi& wmi)
      : wmi_(wmi), ok_(platform::SUCCEEDED(wmi.CoInitializeEx(platform::COINIT_MULTITHREADED))) {}
  ~ComScope() {
    if (ok_) wmi_.CoUninitialize();
  }
  bool ok() const { return ok_; }

 private:
  platform::Wmi& wmi_;
  bool ok_;
};

std::string Failure(const std::string& what, platform::HRESULT hr) {
  return fmt::format("{} failed (0x{:08X})", what, static_cast<uint32_t>(hr));
}

void QueryNvram(platform::Wmi& wmi, const std::string& title, NvramView& view) {
  wmi.CoInitializeSecurity();
  std::unique_ptr<platform::WmiLocator> locator;
  platform::HRESULT hr = wmi.CoCreateLocator(locator);
  if (platform::FAILED(hr)) {
    view.error = Failure("creating the WMI locator", hr);
    return;
  }
  std::unique_ptr<platform::WmiServices> services;
  hr = locator->ConnectServer(u"root\\wmi", platform::WBEM_FLAG_CONNECT_USE_MAX_WAIT, services);
  if (platform::FAILED(hr)) {
    view.error = Failure("connecting to root\\wmi", hr);
    return;
  }
  platform::WmiObjectPtr package;
  if (platform::SUCCEEDED(services->GetObject(InstancePath("NRVN_NVRAMPackage", title), package))) {
    platform::Variant version;
    if (platform::SUCCEEDED(package->Get(u"Version", version, nullptr)) &&
        version.vt == platform::VT_BSTR) {
      view.version = Utf16ToUtf8(version.text);
    }
  }
  platform::WmiObjectPtr info;
  hr = services->ExecMethod(InstancePath("NRVN_NVRAMAccess", title), u"GetDirectoryInfo", nullptr,
                            &info);
  if (platform::FAILED(hr) || info == nullptr) {
    view.error = Failure("GetDirectoryInfo", hr);
    return;
  }
  platform::Variant count, length;
  info->Get(u"num_dir_entries", count, nullptr);
  info->Get(u"dir_entry_length", length, nullptr);
  uint64_t capacity = static_cast<uint64_t>(count.Low32()) * length.Low32();
  platform::WmiObjectPtr access, in;
  if (capacity > INT32_MAX || platform::FAILED(services->GetObject(u"NRVN_NVRAMAccess", access)) ||
      platform::FAILED(access->GetMethod(u"GetDirectoryEntries", in, nullptr)) || in == nullptr ||
      platform::FAILED(in->Put(u"length", platform::Variant::I4(static_cast<int32_t>(capacity))))) {
    view.error = "GetDirectoryEntries could not be prepared";
    return;
  }
  platform::WmiObjectPtr out;
  hr = services->ExecMethod(InstancePath("NRVN_NVRAMAccess", title), u"GetDirectoryEntries", in,
                            &out);
  platform::Variant buffer;
  if (platform::FAILED(hr) || out == nullptr ||
      platform::FAILED(out->Get(u"buffer", buffer, nullptr))) {
    view.error = Failure("GetDirectoryEntries", hr);
    return;
  }
  ByteReader reader(buffer.bytes);
  for (uint32_t i = 0; i < count.Low32() && length.Low32() >= 24; ++i) {
    size_t at = static_cast<size_t>(i) * length.Low32();
    uint16_t type = 0, ordinal = 0, ext = 0, attr = 0;
    uint32_t item_length = 0, data_length = 0;
    if (!reader.U16At(at, type) || !reader.U16At(at + 2, ordinal) || !reader.U16At(at + 4, ext) ||
        !reader.U16At(at + 6, attr) || !reader.U32At(at + 12, item_length) ||
        !reader.U32At(at + 16, data_length)) {
      break;
    }
    if (type == 0) continue;
    view.entries.push_back({{"index", i},
                            {"type", type},
                            {"ordinal", ordinal},
                            {"ext", ext},
                            {"attr", attr},
                            {"item_length", item_length},
                            {"data_length", data_length}});
  }
}

NvramView ReadNvram(platform::Platform& machine, const std::string& title) {
  NvramView view;
  ComScope com(machine.wmi());
  if (!com.ok()) {
    view.error = "COM could not be initialized for the multithreaded apartment";
    return view;
  }
  QueryNvram(machine.wmi(), title, view);
  return view;
}

const char* ItemName(uint16_t type) {
  switch (type) {
    case 1:
      return "package log";
    case 2:
      return "update area";
    case 5:
      return "VPD";
    default:
      if (IsHeaderSignedType(type)) return "image, signed header";
      if (IsTrailerSignedType(type)) return "image, signed trailer";
      if (IsMarkedBlockType(type)) return "marked block";
      return "";
  }
}

Json DescribeMachine(const std::filesystem::path& directory,
                     const sim::MachineDescription& description, platform::Platform& machine) {
  Json root;
  root["directory"] = platform::FromFileSystemPath(directory);
  root["computer_name"] = description.computer_name;
  Json devices = Json::array();
  for (const auto& device : description.devices) {
    Json entry;
    entry["instance_id"] = device.instance_id;
    entry["title"] = device.Title();
    entry["service"] = device.service;
    entry["characteristics"] = device.characteristics;
    entry["interface_id"] = device.net_cfg_instance_id;
    entry["present"] = device.present;
    entry["status"] = device.status;
    entry["problem"] = device.problem;
    if (device.adapter_index) entry["adapter"] = description.adapters[*device.adapter_index].id;
    devices.push_back(entry);
  }
  root["devices"] = devices;
  Json adapters = Json::array();
  for (const auto& adapter : description.adapters) {
    Json entry;
    entry["id"] = adapter.id;
    entry["vendor_id"] = Hex(adapter.pci.vendor_id, 4);
    entry["device_id"] = Hex(adapter.pci.device_id, 4);
    entry["subsystem"] =
        Hex(adapter.pci.subsystem_id, 4) + "/" + Hex(adapter.pci.subsystem_vendor_id, 4);
    entry["nvm_option1"] = Hex(adapter.nvm_option1, 16);
    Json ports = Json::array();
    for (const auto& port : adapter.ports) {
      ports.push_back({{"location", fmt::format("{:02X}:{:02X}.{}", port.location.bus,
                                                port.location.device, port.location.function)},
                       {"title", port.title},
                       {"interface_id", port.interface_id},
                       {"permanent_mac", MacText(port.permanent_mac)},
                       {"link_up", port.link_up},
                       {"link_speed_mbps", port.link_speed_bps / 1'000'000}});
    }
    entry["ports"] = ports;
    NvramView nvram = ReadNvram(machine, adapter.ports.front().title);
    Json nvram_json;
    if (!nvram.error.empty()) nvram_json["error"] = nvram.error;
    nvram_json["package_version"] = nvram.version;
    nvram_json["directory"] = nvram.entries;
    entry["nvram"] = nvram_json;
    adapters.push_back(entry);
  }
  root["adapters"] = adapters;
  Json locks = Json::array();
  for (const auto& state : sim::ListMutexes(directory)) {
    if (!state.exists) continue;
    Json lock{{"name", state.name}, {"owned", state.owned}};
    if (state.owner_process != 0) lock["owner_process"] = state.owner_process;
    locks.push_back(lock);
  }
  root["held_locks"] = locks;
  return root;
}

void PrintMachine(const Json& root) {
  fmt::print("Machine {} ({})\n\n", root["computer_name"].get<std::string>(),
             root["directory"].get<std::string>());
  fmt::print("Network devices (enumeration order):\n");
  size_t index = 0;
  for (const auto& device : root["devices"]) {
    std::string state = !device["present"].get<bool>()            ? "not present"
                        : device["problem"].get<uint32_t>() == 22 ? "disabled"
                        : (device["status"].get<uint32_t>() & platform::DN_STARTED) == 0
                            ? "not started"
                            : "started";
    fmt::print("  {:>2}  {}\n      {}  service {}  characteristics 0x{:X}  {}{}\n", index++,
               device["title"].get<std::string>(), device["instance_id"].get<std::string>(),
               device["service"].get<std::string>(), device["characteristics"].get<uint32_t>(),
               state,
               device.contains("adapter") ? "  port of " + device["adapter"].get<std::string>()
                                          : std::string());
  }
  fmt::print("\nPhysical adapters:\n");
  for (const auto& adapter : root["adapters"]) {
    fmt::print("  {}  PCI {} {} subsystem {}  NVM option 1 {}\n", adapter["id"].get<std::string>(),
               adapter["vendor_id"].get<std::string>(), adapter["device_id"].get<std::string>(),
               adapter["subsystem"].get<std::string>(), adapter["nvm_option1"].get<std::string>());
    for (const auto& port : adapter["ports"]) {
      fmt::print("    port {}  {}  {}  MAC {}  link {}\n", port["location"].get<std::string>(),
                 port["title"].get<std::string>(), port["interface_id"].get<std::string>(),
                 port["permanent_mac"].get<std::string>(),
                 port["link_up"].get<bool>()
                     ? fmt::format("up {} Mb/s", port["link_speed_mbps"].get<uint64_t>())
                     : std::string("down"));
    }
    const auto& nvram = adapter["nvram"];
    if (nvram.contains("error")) {
      fmt::print("    NVRAM: driver did not answer: {}\n", nvram["error"].get<std::string>());
      continue;
    }
    std::string version = nvram["package_version"].get<std::string>();
    fmt::print("    NVRAM: package version {}\n", version.empty() ? "(none)" : version);
    fmt::print("      index  type  ord  ext  attr    length      data\n");
    for (const auto& item : nvram["directory"]) {
      fmt::print("      {:>5}  {:>4}  {:>3}  {:>3}  0x{:02X}  {:>8}  {:>8}  {}\n",
                 item["index"].get<uint32_t>(), item["type"].get<uint32_t>(),
                 item["ordinal"].get<uint32_t>(), item["ext"].get<uint32_t>(),
                 item["attr"].get<uint32_t>(), item["item_length"].get<uint32_t>(),
                 item["data_length"].get<uint32_t>(), ItemName(item["type"].get<uint16_t>()));
    }
  }
  fmt::print("\nHeld locks:\n");
  if (root["held_locks"].empty()) fmt::print("  (none)\n");
  for (const auto& lock : root["held_locks"]) {
    fmt::print("  {}{}\n", lock["name"].get<std::string>(),
               lock["owned"].get<bool>()
                   ? fmt::format("  owned by process {}",
                                 lock.value("owner_process", static_cast<uint32_t>(0)))
                   : std::string());
  }
}

// A machine is a folder with its description; anything else is not one.
bool IsMachine(const std::string& directory) {
  std::error_code error;
  return std::filesystem::is_regular_file(platform::PathFromUtf8(directory) / "machine.json",
                                          error);
}

int NotAMachine(const GlobalOptions& options, const std::string& directory) {
  return Fail(options, kExitFileNotFound,
              directory +
                  " is not a simulated machine (no machine.json; make one with skyfw sim "
                  "init)",
              {{"machine", directory}});
}

int Init(const GlobalOptions& options, const std::string& directory, const std::string& from) {
  std::string text(sim::DemoMachineJson());
  if (!from.empty()) {
    if (int reason = platform::ReadRegularFile(from, text); reason != 0) {
      return Fail(options, kExitFileNotFound,
                  from + ": cannot read it: " + platform::FileErrorText(reason));
    }
  }
  std::string error;
  if (!sim::InitMachine(directory, text, error)) {
    return Fail(options, kExitFailure, (from.empty() ? "" : from + ": ") + error,
                {{"machine", directory}});
  }
  if (options.json) {
    EmitJson(options, {{"machine", directory}}, kExitOk);
  } else {
    fmt::print("machine written to {}\n", directory);
  }
  return kExitOk;
}

int Show(const GlobalOptions& options, const std::string& directory) {
  if (!IsMachine(directory)) return NotAMachine(options, directory);
  std::string error;
  // OpenMachine reads it too, and says why when it cannot.
  std::string text;
  [[maybe_unused]] const int unread = platform::ReadRegularFile(
      platform::FromFileSystemPath(platform::PathFromUtf8(directory) / "machine.json"), text);
  sim::MachineDescription description;
  std::unique_ptr<platform::Platform> machine;
  if (!sim::OpenMachine(directory, machine, error) ||
      !sim::ParseMachineDescription(text, description, error)) {
    return Fail(options, kExitFailure, error, {{"machine", directory}});
  }
  Json root = DescribeMachine(directory, description, *machine);
  if (options.json) {
    // Nested: its "adapters" are the machine's, not the adapter objects of
    // the host commands.
    EmitJson(options, {{"machine", directory}, {"description", nlohmann::json::parse(root.dump())}},
             kExitOk);
  } else {
    PrintMachine(root);
  }
  return kExitOk;
}

int Events(const GlobalOptions& options, const std::string& directory) {
  if (!IsMachine(directory)) return NotAMachine(options, directory);
  // No log yet: no events.
  std::string log;
  [[maybe_unused]] const int unread = platform::ReadRegularFile(
      platform::FromFileSystemPath(platform::PathFromUtf8(directory) / "events.jsonl"), log);
  Json events = Json::array();
  for (size_t start = 0; start < log.size();) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    Json event = Json::parse(log.substr(start, end - start), nullptr, false);
    if (!event.is_discarded()) events.push_back(event);
    start = end + 1;
  }
  if (options.json) {
    EmitJson(options, {{"machine", directory}, {"events", nlohmann::json::parse(events.dump())}},
             kExitOk);
    return kExitOk;
  }
  if (events.empty()) fmt::print("(no events)\n");
  for (const auto& event : events) {
    std::string text;
    for (const auto& string : event.value("strings", Json::array())) {
      if (string.is_string()) text += string.get<std::string>();
    }
    fmt::print("{}  {}  type {}  id 0x{:08X}  process {}\n  {}\n", event.value("time", ""),
               event.value("source", ""), event.value("type", 0), event.value("event_id", 0u),
               event.value("process", 0u), text);
  }
  return kExitOk;
}

[[maybe_unused]] const bool registered =
    RegisterCommandGroup("sim", [](CLI::App& app, GlobalOptions& options, int& exit_code) {
      CLI::App* sim = app.add_subcommand("sim", "Simulated machines: create and inspect");
      sim->require_subcommand(1);

      auto* init = sim->add_subcommand("init", "Write the demo machine (or --from FILE) into DIR");
      static std::string init_directory, from;
      init->add_option("DIR", init_directory, "Machine directory")->required();
      init->add_option("--from", from, "machine.json to use instead of the demo machine");
      init->callback([&options, &exit_code] { exit_code = Init(options, init_directory, from); });

      auto* show = sim->add_subcommand("show", "Devices, adapters, ports, NVRAM and held locks");
      static std::string show_directory;
      static bool show_json = false;
      show->add_option("DIR", show_directory, "Machine directory")->required();
      show->add_flag("--json", show_json, "JSON on standard output");
      show->callback([&exit_code, &options] {
        GlobalOptions local = options;
        local.json = local.json || show_json;
        exit_code = Show(local, show_directory);
      });

      auto* events = sim->add_subcommand("events", "The machine's Application event log");
      static std::string events_directory;
      static bool events_json = false;
      events->add_option("DIR", events_directory, "Machine directory")->required();
      events->add_flag("--json", events_json, "JSON on standard output");
      events->callback([&exit_code, &options] {
        GlobalOptions local = options;
        local.json = local.json || events_json;
        exit_code = Events(local, events_directory);
      });
    });

}  // namespace
}  // namespace skyfw::tool
