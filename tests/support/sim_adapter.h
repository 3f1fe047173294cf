// Simulated Skyline adapters for the installer, backup and version tests: a
// machine built from a description in a temporary directory, installed as
// the process platform, with every trace line and event kept for checks.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "builders.h"
#include "nvm/nvm_operations.h"
#include "platform/platform.h"
#include "support/machine_builder.h"
#include "support/temp_dir.h"
#include "update/device_record.h"

namespace skyfw::testing {

using tool::Bytes;

inline constexpr uint16_t kSkylineVendor = 0x1D6A;
inline constexpr uint16_t kS2DeviceId = 0x0B10;
inline constexpr uint16_t kS2SubsystemId = 0x0001;
inline constexpr const char* kS2Identifier = "Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter";

// One adapter of the machine description (a JSON object the test may edit
// before the machine is opened).
nlohmann::json S2Adapter(const std::string& id, const std::string& serial,
                         const std::string& installed_version);

// Adapter `adapter` (an S2Adapter) with its one port, the `index`-th of the
// machine: title "Skyline <id>", PCI bus 3 + index, interface GUID and MAC
// address ending in 10 + index. `port_extra`: further members of the port.
void AddS2Adapter(MachineBuilder& builder, const nlohmann::json& adapter, size_t index,
                  const nlohmann::json& port_extra = nlohmann::json::object());

// An NVRAM item of the description, with its data given as bytes.
nlohmann::json NvramItem(uint16_t type, uint16_t attributes, uint32_t length, const Bytes& data);

// Signed images and blocks as a Skyline's NVRAM holds them.
Bytes BootImage(uint32_t seed);     // type 3, header-signed
Bytes MainFirmware(uint32_t seed);  // type 6, trailer-signed
// `rv_reserve`: the bytes of the closing RV keyword, the room left to grow.
Bytes VpdItem(const std::string& identifier, const std::vector<tool::VpdKeyword>& read_only,
              size_t rv_reserve = 32);

struct Event {
  uint16_t type = 0;
  uint16_t category = 0;
  uint32_t id = 0;
  std::string source;
  std::vector<std::string> strings;
};

class SimulatedMachine {
 public:
  // Opens a machine with these adapters; each gets one port (a device whose
  // title is "Skyline <id>") at bus 3 + its position. `faults`: the
  // machine-wide faults of the description, if any. `edit` may change the
  // whole description before the machine is made.
  SimulatedMachine(std::initializer_list<nlohmann::json> adapters,
                   const nlohmann::json& faults = nullptr,
                   const std::function<void(nlohmann::json&)>& edit = {});
  ~SimulatedMachine();
  SimulatedMachine(const SimulatedMachine&) = delete;
  SimulatedMachine& operator=(const SimulatedMachine&) = delete;

  // The host's record of adapter `index`, as the inventory would make it.
  DeviceRecord Device(size_t index) const;
  static std::string Title(const std::string& id) { return "Skyline " + id; }

  std::vector<std::string> TraceLines() const;
  // The trace lines that contain `text`.
  std::vector<std::string> TraceLinesWith(const std::string& text) const;
  std::vector<Event> Events() const;
  const TempDir& directory() const { return directory_; }

 private:
  class RecordingPlatform;
  TempDir directory_;
  std::vector<nlohmann::json> adapters_;
  std::unique_ptr<RecordingPlatform> platform_;
};

// A package file for the S2 model written into `directory`; returns its path.
std::string WritePackageFile(const TempDir& directory, const std::string& name,
                             const tool::PackagePlan& plan);
tool::PackagePlan S2Package(const std::string& version);

// The adapter's NVRAM, read through the NVM operations.
struct NvramItemCopy {
  NvmDirEntry entry;
  Bytes data;
};
std::vector<NvramItemCopy> ReadNvram(const std::string& adapter);
// The item of this type (ordinal 0, extension 0); fails the test when absent.
NvramItemCopy ReadNvramItem(const std::string& adapter, uint16_t type);

}  // namespace skyfw::testing
