// A simulated driver over a machine described in code, in a temporary
// machine directory, reached through the same provider interfaces the
// simulated machine routes to.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "sim/machine/driver_interface.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim::testing {

// One adapter "nx0" with two ports ("Skyline NX-2 #1" and "#2"), VPD, a
// package log of two records (last version 20.1.1), option 1, registers.
MachineDescription TwoPortMachine();

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // (Re)creates the driver over `description_`, as a newly opened machine does.
  void StartDriver();
  // Stops the driver and removes the NVRAM files, which the next StartDriver
  // makes anew. The driver goes first: it holds files in that folder open,
  // and Windows removes no folder while a file in it is open.
  void RemoveNvram();

  // Executes a method on port `title`; inputs as (name, value) pairs.
  platform::HRESULT Exec(std::u16string_view class_name, std::u16string_view method,
                         const WmiValues& inputs, WmiValues& outputs,
                         std::u16string_view title = u"Skyline NX-2 #1");
  // The driver's last error as GetNvmLastError reports it (-1 if that fails).
  int64_t LastError(std::u16string_view title = u"Skyline NX-2 #1");

  std::filesystem::path directory_;
  MachineDescription description_;
  Driver driver_;
};

// Looks an output up by name; fails the test when absent.
const platform::Variant& Output(const WmiValues& values, std::u16string_view name);
bool HasOutput(const WmiValues& values, std::u16string_view name);

WmiNamedValue U32Input(std::u16string name, uint32_t value);
WmiNamedValue BytesInput(std::u16string name, std::vector<uint8_t> bytes);

}  // namespace skyfw::sim::testing
