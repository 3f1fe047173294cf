#include "support/s2_machine.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sim/machine/machine.h"
#include "support/sim_adapter.h"

namespace skyfw::testing {

std::string WriteS2Machine(const TempDir& directory) {
  MachineBuilder builder;
  AddS2Adapter(builder, S2Adapter("a0", "NV1", "21.6.2"), 0,
               {{"class_values",
                 {{"Characteristics", 0x84},  // a physical adapter
                  {"ComponentId", "pci\\ven_1d6a&dev_0b10"},
                  {"DriverVersion", "2.0.0.0"}}}});
  const std::string machine = builder.Write(directory);
  std::string error;
  // Opening the machine once writes the adapter's factory NVRAM file.
  std::unique_ptr<platform::Platform> opened;
  EXPECT_TRUE(sim::OpenMachine(machine, opened, error)) << error;
  return machine;
}

}  // namespace skyfw::testing
