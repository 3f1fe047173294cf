// A simulated machine in a temporary directory, installed as the process's
// platform for the life of the object.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/platform.h"
#include "sim/machine/machine.h"
#include "support/machine_builder.h"

namespace skyfw::testing {

// One Skyline adapter "nx0" with one port whose title (its description) is
// kSimAdapter. `adapter_extra` and `machine_extra` are JSON members added to
// the adapter and to the machine, `devices_extra` and `adapters_extra`
// further array elements (each with a leading comma).
inline constexpr std::string_view kSimAdapter = "Skyline \"Lab\" \\ S2";

inline std::string SimMachineJson(const std::string& adapter_extra = "",
                                  const std::string& machine_extra = "",
                                  const std::string& devices_extra = "",
                                  const std::string& adapters_extra = "") {
  return R"({
  "adapters": [
    {"id": "nx0",
     "pci": {"vendor_id": "0x1D6A", "device_id": "0x0B10", "subsystem_id": "0x0001",
             "subsystem_vendor_id": "0x1D6A", "revision": "0x02"},
     "nvm_option1": "0x1D6A0B1000A1C3E5",
     "package_log": [["2024-06-02 16:40:10", "nvmupd", "21.6.2", "SKY-S2", "ok"]])" +
         adapter_extra + "}" + adapters_extra + R"(
  ],
  "devices": [
    {"adapter": "nx0", "location": {"bus": 3, "device": 0, "function": 0},
     "instance_id": "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&2B8E0A1&0&0018",
     "description": "Skyline \"Lab\" \\ S2",
     "class_values": {"NetCfgInstanceId": "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B10}"},
     "port": {"permanent_mac": "02:0A:3B:1C:2D:4E"}})" +
         devices_extra + R"(
  ])" + machine_extra +
         R"(
})";
}

// The machine of `json`, installed as the process's platform while it lives.
class SimMachine {
 public:
  explicit SimMachine(const std::string& json) : machine_(MachineBuilder::FromText(json)) {
    machine_.Install();
  }

  bool ok() const { return machine_.ok(); }
  platform::Platform& platform() { return machine_.platform(); }
  std::string directory() const { return machine_.path(); }

 private:
  BuiltMachine machine_;
};

}  // namespace skyfw::testing
