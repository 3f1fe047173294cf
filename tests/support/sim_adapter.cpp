#include "support/sim_adapter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "diag/trace_log.h"
#include "sim/machine/machine.h"

namespace skyfw::testing {
namespace {

std::string Hex(const Bytes& bytes) {
  std::string text;
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

const tool::ImageSigner& Signer() {
  static std::unique_ptr<tool::ImageSigner> signer = tool::ImageSigner::Development();
  return *signer;
}

}  // namespace

// The machine's own services, with the debugger output kept.
class SimulatedMachine::RecordingPlatform final : public platform::Platform {
 public:
  explicit RecordingPlatform(std::unique_ptr<platform::Platform> machine)
      : machine_(std::move(machine)), system_(machine_->system()) {}

  platform::System& system() override { return system_; }
  platform::Registry& registry() override { return machine_->registry(); }
  platform::Devices& devices() override { return machine_->devices(); }
  platform::DeviceIo& deviceIo() override { return machine_->deviceIo(); }
  platform::IpHelper& ipHelper() override { return machine_->ipHelper(); }
  platform::Services& services() override { return machine_->services(); }
  platform::Wmi& wmi() override { return machine_->wmi(); }
  platform::EventLog& eventLog() override { return machine_->eventLog(); }
  platform::Mutexes& mutexes() override { return machine_->mutexes(); }

  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> hold(system_.mutex);
    return system_.lines;
  }

 private:
  struct RecordingSystem final : platform::System {
    explicit RecordingSystem(platform::System& machine_system) : inner(machine_system) {}
    void OutputDebugString(std::string_view text) override {
      std::lock_guard<std::mutex> hold(mutex);
      lines.emplace_back(text);
    }
    uint32_t GetCurrentProcessId() override { return inner.GetCurrentProcessId(); }
    uint32_t GetCurrentThreadId() override { return inner.GetCurrentThreadId(); }
    uint32_t GetTickCount() override { return inner.GetTickCount(); }
    void Sleep(uint32_t milliseconds) override { inner.Sleep(milliseconds); }
    std::time_t CurrentTime() override { return inner.CurrentTime(); }
    uint32_t GetComputerName(std::string& name) override { return inner.GetComputerName(name); }
    uint32_t GetCommonAppDataFolder(std::string& path) override {
      return inner.GetCommonAppDataFolder(path);
    }
    uint32_t GetSystemDirectory(std::string& path) override {
      return inner.GetSystemDirectory(path);
    }
    uint32_t LibraryExportsFunction(std::string_view library_path,
                                    std::string_view function) override {
      return inner.LibraryExportsFunction(library_path, function);
    }
    uint32_t GetModuleFileName(std::string& path) override { return inner.GetModuleFileName(path); }
    uint32_t GetLastError() override { return inner.GetLastError(); }
    void SetLastError(uint32_t error) override { inner.SetLastError(error); }
    bool FormatMessage(uint32_t code, std::string& text) override {
      return inner.FormatMessage(code, text);
    }
    bool InitializeSecurityDescriptor(platform::SecurityDescriptor& descriptor) override {
      return inner.InitializeSecurityDescriptor(descriptor);
    }
    bool SetSecurityDescriptorDacl(platform::SecurityDescriptor& descriptor, bool present,
                                   bool null_dacl, bool defaulted) override {
      return inner.SetSecurityDescriptorDacl(descriptor, present, null_dacl, defaulted);
    }

    platform::System& inner;
    std::mutex mutex;
    std::vector<std::string> lines;
  };

  std::unique_ptr<platform::Platform> machine_;
  RecordingSystem system_;
};

nlohmann::json NvramItem(uint16_t type, uint16_t attributes, uint32_t length, const Bytes& data) {
  return {{"type", type}, {"attr", attributes}, {"length", length}, {"hex", Hex(data)}};
}

Bytes BootImage(uint32_t seed) {
  Bytes payload = tool::FillerBytes(200, seed);
  return tool::BuildHeaderSignedImage(Signer(), *tool::ImageCodeForType(3), payload);
}

Bytes MainFirmware(uint32_t seed) {
  Bytes payload = tool::FillerBytes(301, seed);
  return tool::BuildTrailerSignedImage(Signer(), 6, payload, "21.6.2");
}

Bytes VpdItem(const std::string& identifier, const std::vector<tool::VpdKeyword>& read_only,
              size_t rv_reserve) {
  Bytes proper = tool::BuildVpd(identifier, read_only, rv_reserve);
  // The prefix: format 1 and the length of the VPD proper.
  Bytes item(4 + proper.size(), 0);
  item[0] = 1;
  item[2] = static_cast<uint8_t>(proper.size());
  item[3] = static_cast<uint8_t>(proper.size() >> 8);
  std::copy(proper.begin(), proper.end(), item.begin() + 4);
  return item;
}

nlohmann::json S2Adapter(const std::string& id, const std::string& serial,
                         const std::string& installed_version) {
  nlohmann::json adapter = {
      {"id", id},
      {"pci",
       {{"vendor_id", "0x1D6A"},
        {"device_id", "0x0B10"},
        {"subsystem_id", "0x0001"},
        {"subsystem_vendor_id", "0x1D6A"},
        {"revision", "0x02"}}},
      {"nvm_option1", "0x1D6A0B1000A1C3E5"},
      {"vpd",
       {{"identifier", kS2Identifier},
        {"read_only",
         {{"PN", "SKY-S2-25D"}, {"EC", "A03"}, {"MN", "1D6A"}, {"SN", serial}, {"VA", "21.6.2"}}}}},
      {"update_area_length", 131072},
      {"nvram_items",
       {NvramItem(3, 0, 16384, BootImage(1)), NvramItem(6, 0x10, 65536, MainFirmware(2)),
        NvramItem(61, 0, 1024, tool::BuildMarkedBlock(61, 64))}}};
  if (!installed_version.empty()) {
    adapter["package_log"] = {{"2024-06-02 16:40:10", "nvmupd", installed_version}};
  }
  return adapter;
}

void AddS2Adapter(MachineBuilder& builder, const nlohmann::json& adapter, size_t index,
                  const nlohmann::json& port_extra) {
  const std::string id = adapter["id"];
  const std::string two_digits = std::to_string(10 + index).substr(0, 2);
  nlohmann::json extra = {
      {"instance_id", "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&2B8E0A1&0&00" +
                          std::to_string(10 + index)}};
  extra.update(port_extra);
  builder.AddAdapter(adapter).AddPort(id, static_cast<uint32_t>(3 + index),
                                      SimulatedMachine::Title(id),
                                      "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B" + two_digits + "}",
                                      "02:0A:3B:1C:2D:" + two_digits, extra);
}

SimulatedMachine::SimulatedMachine(std::initializer_list<nlohmann::json> adapters,
                                   const nlohmann::json& faults,
                                   const std::function<void(nlohmann::json&)>& edit)
    : adapters_(adapters) {
  MachineBuilder builder;
  if (!faults.is_null()) builder.SetFaults(faults);
  for (size_t i = 0; i < adapters_.size(); ++i) AddS2Adapter(builder, adapters_[i], i);
  if (edit) {
    nlohmann::json description = nlohmann::json::parse(builder.Text());
    edit(description);
    builder = MachineBuilder::From(description);
  }
  std::string machine_directory = directory_.File("machine");
  std::string error;
  if (!builder.WriteTo(machine_directory, error)) {
    ADD_FAILURE() << "machine description refused: " << error;
    return;
  }
  std::unique_ptr<platform::Platform> machine;
  if (!sim::OpenMachine(machine_directory, machine, error)) {
    ADD_FAILURE() << "machine not opened: " << error;
    return;
  }
  platform_ = std::make_unique<RecordingPlatform>(std::move(machine));
  platform::Install(platform_.get());
  TraceCreateLock();
  TraceOpen(nullptr);
}

SimulatedMachine::~SimulatedMachine() {
  TraceClose();
  TraceDestroyLock();
  platform::Install(nullptr);
}

DeviceRecord SimulatedMachine::Device(size_t index) const {
  DeviceRecord device;
  std::string id = adapters_.at(index)["id"];
  for (char c : Title(id)) device.adapterName.push_back(static_cast<char16_t>(c));
  device.productName = device.adapterName;
  device.bus = static_cast<uint32_t>(3 + index);
  device.vendorId = kSkylineVendor;
  device.deviceId = kS2DeviceId;
  device.subVendorId = kSkylineVendor;
  device.subDeviceId = kS2SubsystemId;
  device.revision = 2;
  for (char c : "020A3B1C2D" + std::to_string(10 + index).substr(0, 2)) {
    device.macText.push_back(static_cast<char16_t>(c));
  }
  return device;
}

std::vector<std::string> SimulatedMachine::TraceLines() const {
  return platform_ ? platform_->lines() : std::vector<std::string>{};
}

std::vector<std::string> SimulatedMachine::TraceLinesWith(const std::string& text) const {
  std::vector<std::string> found;
  for (const std::string& line : TraceLines()) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

std::vector<Event> SimulatedMachine::Events() const {
  std::vector<Event> events;
  std::ifstream in(directory_.File("machine/events.jsonl"));
  std::string line;
  while (std::getline(in, line)) {
    nlohmann::json event = nlohmann::json::parse(line);
    events.push_back(
        {event["type"], event["category"], event["event_id"], event["source"], event["strings"]});
  }
  return events;
}

tool::PackagePlan S2Package(const std::string& version) {
  tool::PackagePlan plan;
  plan.description = "Skyline S2 firmware " + version;
  plan.version = version;
  plan.device_ids = {kS2DeviceId};
  plan.subsystem_vendor = kSkylineVendor;
  plan.subsystem_id = kS2SubsystemId;
  plan.items.push_back({.type = 6, .attr = 0x10, .item_length = 65536, .data = MainFirmware(7)});
  plan.items.push_back({.type = 3, .item_length = 16384, .data = BootImage(8)});
  return plan;
}

std::string WritePackageFile(const TempDir& directory, const std::string& name,
                             const tool::PackagePlan& plan) {
  Bytes package;
  int32_t failing_index = -1;
  NvmStatus status = tool::BuildPackage(plan, package, &failing_index);
  EXPECT_EQ(status, 0) << "package not built, item " << failing_index;
  std::string path = directory.File(name);
  WriteFile(path, std::string(package.begin(), package.end()));
  return path;
}

std::vector<NvramItemCopy> ReadNvram(const std::string& adapter) {
  std::vector<NvmDirEntry> entries(100);
  uint32_t count = 0;
  EXPECT_EQ(velonvmListDirectory(adapter, count, entries), 0);
  std::vector<NvramItemCopy> items;
  for (uint32_t i = 0; i < count && i < entries.size(); ++i) {
    NvramItemCopy item{entries[i], Bytes(entries[i].dir_data_length)};
    if (!item.data.empty()) {
      EXPECT_EQ(velonvmGetItem(adapter, i, 0, item.data), 0);
    }
    items.push_back(std::move(item));
  }
  return items;
}

NvramItemCopy ReadNvramItem(const std::string& adapter, uint16_t type) {
  for (NvramItemCopy& item : ReadNvram(adapter)) {
    if (item.entry.dir_type == type && item.entry.dir_ordinal == 0 && item.entry.dir_ext == 0) {
      return item;
    }
  }
  ADD_FAILURE() << "no item of type " << type;
  return {};
}

}  // namespace skyfw::testing
