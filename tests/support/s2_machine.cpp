#include "concurrency/s2_machine.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "install/sim_adapter.h"
#include "sim/machine/machine.h"

namespace skyfw::testing {

std::string WriteS2Machine(const TempDir& directory) {
  nlohmann::json port = {{"adapter", "a0"},
                         {"location", {{"bus", 3}, {"device", 0}, {"function", 0}}},
                         {"description", "Skyline a0"},
                         {"class_values",
                          {{"Characteristics", 0x84},  // a physical adapter
                           {"ComponentId", "pci\\ven_1d6a&dev_0b10"},
                           {"DriverVersion", "2.0.0.0"},
                           {"NetCfgInstanceId", "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B10}"}}},
                         {"port", {{"permanent_mac", "02:0A:3B:1C:2D:10"}}}};
  nlohmann::json description = {{"adapters", {S2Adapter("a0", "NV1", "21.6.2")}},
                                {"devices", {port}}};
  std::string machine = directory.File("machine");
  std::string error;
  EXPECT_TRUE(sim::InitMachine(machine, description.dump(), error)) << error;
  // Opening the machine once writes the adapter's factory NVRAM file.
  std::unique_ptr<platform::Platform> opened;
  EXPECT_TRUE(sim::OpenMachine(machine, opened, error)) << error;
  return machine;
}

}  // namespace skyfw::testing
