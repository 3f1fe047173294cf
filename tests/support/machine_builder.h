// Simulated machines built in code for the tests: a description (what
// machine.json holds) started from the demo machine or from nothing, with
// adapters, ports, devices and faults added, written into a temporary folder
// and opened there.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace skyfw::testing {

class MachineBuilder {
 public:
  using Json = nlohmann::ordered_json;

  // No adapters and no devices.
  MachineBuilder();
  // The built-in demo machine.
  static MachineBuilder Demo();
  // A description the test wrote out whole (JSON text or a JSON value).
  static MachineBuilder FromText(const std::string& json_text);
  static MachineBuilder From(const nlohmann::json& description);
  static MachineBuilder From(const Json& description);

  // An adapter (an object of "adapters"; its "id" names it).
  MachineBuilder& AddAdapter(const nlohmann::json& adapter);
  // A network-class device (an object of "devices").
  MachineBuilder& AddDevice(const nlohmann::json& device);
  // A port of adapter `adapter_id`: the device at PCI bus `bus`, device 0,
  // function 0, with this title (its description), interface GUID and
  // permanent MAC address; `extra` members are added to the device.
  MachineBuilder& AddPort(const std::string& adapter_id, uint32_t bus, const std::string& title,
                          const std::string& interface_guid, const std::string& mac,
                          const nlohmann::json& extra = nlohmann::json::object());
  // The machine-wide faults (the "faults" member).
  MachineBuilder& SetFaults(const nlohmann::json& faults);
  // Any other member of the machine description.
  MachineBuilder& Set(const std::string& member, const nlohmann::json& value);

  Json& description() { return description_; }
  const Json& description() const { return description_; }
  std::string Text() const { return description_.dump(2); }

  // Writes the machine into `folder` (which must not hold one yet); false
  // with the reason when the description is refused.
  bool WriteTo(const std::string& folder, std::string& error) const;
  // Writes the machine into the folder "machine" of `directory`, failing the
  // test when the description is refused, and returns the machine's path.
  std::string Write(const TempDir& directory) const;

 private:
  Json description_;
};

// A built machine in a temporary folder of its own, opened.
class BuiltMachine {
 public:
  explicit BuiltMachine(const MachineBuilder& builder);
  ~BuiltMachine();
  BuiltMachine(const BuiltMachine&) = delete;
  BuiltMachine& operator=(const BuiltMachine&) = delete;

  bool ok() const { return platform_ != nullptr; }
  platform::Platform& platform() { return *platform_; }
  // Its platform as the process's until this goes.
  void Install();
  // Opens the same folder again, as a second process would see it.
  std::unique_ptr<platform::Platform> Reopen() const;

  // The machine folder, and the NVRAM file of adapter `adapter_id` in it.
  const std::string& path() const { return path_; }
  std::string NvramPath(const std::string& adapter_id) const;
  const TempDir& directory() const { return directory_; }

 private:
  TempDir directory_;
  std::string path_;
  std::unique_ptr<platform::Platform> platform_;
  bool installed_ = false;
};

}  // namespace skyfw::testing
