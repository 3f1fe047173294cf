// A scripted adapter driver behind a fake WMI, for driving the NVM
// operations into answers the simulated machine never gives: odd directory
// sizes, missing or mistyped outputs, failures without an error number.
//
// It serves NRVN_NVRAMAccess, NRVN_FWTime, NRVN_HwDeviceAccess and
// NRVN_NVRAMPackage for any instance name over an in-memory item list, and
// records every method call with its inputs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace skyfw::testing {

struct FakeItem {
  uint16_t type = 0;
  uint16_t ordinal = 0;
  uint16_t ext = 0;
  uint16_t attr = 0;
  uint32_t item_length = 0;
  std::vector<uint8_t> data;
};

struct RecordedCall {
  std::u16string object_path;
  std::u16string method;
  std::map<std::u16string, platform::Variant> inputs;

  uint32_t U32(const std::u16string& name) const { return inputs.at(name).Low32(); }
};

struct FakeDriverState {
  std::vector<FakeItem> items;
  uint32_t entry_length = 24;
  std::optional<uint32_t> reported_count;  // num_dir_entries, when not the item count
  uint16_t last_error = 0;

  // Methods failing with this last error (0: failing without naming one).
  std::map<std::u16string, uint16_t> failing;
  // ... but only after this many calls of the method succeeded.
  std::map<std::u16string, size_t> failing_after;
  // Output replaced (a value) or removed (nullopt) after the method ran.
  std::map<std::u16string, std::map<std::u16string, std::optional<platform::Variant>>> outputs;
  // Input parameters whose declared type refuses these VTs, by parameter name.
  std::map<std::u16string, std::set<uint16_t>> refused_vts;

  // InstallUpdate's answer.
  uint8_t install_result = 0;
  uint8_t install_problem = 0xFF;
  uint8_t install_reset = 0;
  uint32_t installed_0 = 0;
  uint32_t installed_1 = 0;

  std::vector<uint8_t> option_value;
  std::map<uint32_t, uint32_t> registers;
  // NRVN_NVRAMPackage.Version; nullopt: the property is missing.
  std::optional<platform::Variant> version = platform::Variant::Null();

  // COM of the process.
  bool namespace_reachable = true;
  bool sta_thread = false;
  int co_initialized = 0;  // successful CoInitializeEx calls not yet balanced
  bool security_set = false;

  std::vector<RecordedCall> calls;
  std::vector<std::u16string> fetched_paths;

  std::vector<RecordedCall> CallsOf(const std::u16string& method) const;
};

// A platform whose WMI is the fake driver; the rest is the minimal platform.
// Installed for the life of the object.
class FakeWmiPlatform final : public platform::Platform {
 public:
  FakeWmiPlatform();
  ~FakeWmiPlatform() override;
  FakeWmiPlatform(const FakeWmiPlatform&) = delete;
  FakeWmiPlatform& operator=(const FakeWmiPlatform&) = delete;

  FakeDriverState& driver() { return *state_; }

  platform::System& system() override { return platform::Minimal().system(); }
  platform::Registry& registry() override { return platform::Minimal().registry(); }
  platform::Devices& devices() override { return platform::Minimal().devices(); }
  platform::DeviceIo& deviceIo() override { return platform::Minimal().deviceIo(); }
  platform::IpHelper& ipHelper() override { return platform::Minimal().ipHelper(); }
  platform::Services& services() override { return platform::Minimal().services(); }
  platform::Wmi& wmi() override { return *wmi_; }
  platform::EventLog& eventLog() override { return platform::Minimal().eventLog(); }
  platform::Mutexes& mutexes() override { return platform::Minimal().mutexes(); }

 private:
  std::shared_ptr<FakeDriverState> state_;
  std::unique_ptr<platform::Wmi> wmi_;
};

// A property bag whose properties accept every VT but those refused.
class FakeWmiObject final : public platform::WmiObject {
 public:
  FakeWmiObject() = default;
  explicit FakeWmiObject(std::map<std::u16string, std::set<uint16_t>> refused)
      : refused_(std::move(refused)) {}

  platform::HRESULT Get(std::u16string_view name, platform::Variant& value,
                        platform::CimType* type) override;
  platform::HRESULT Put(std::u16string_view name, const platform::Variant& value) override;
  platform::HRESULT GetMethod(std::u16string_view, platform::WmiObjectPtr&,
                              platform::WmiObjectPtr*) override {
    return platform::WBEM_E_NOT_FOUND;
  }
  std::vector<std::u16string> GetNames() override;

  std::map<std::u16string, platform::Variant>& values() { return values_; }
  int puts() const { return puts_; }

 private:
  std::map<std::u16string, platform::Variant> values_;
  std::map<std::u16string, std::set<uint16_t>> refused_;
  int puts_ = 0;
};

// The raw directory entry of an item, as the driver serves it.
std::vector<uint8_t> RawDirEntry(const FakeItem& item, uint32_t entry_length);

}  // namespace skyfw::testing
