// Machines built in code for the tests: a small description as JSON that a
// test may change before the machine is written into a temporary directory
// and opened.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "os/file_names.h"
#include "platform/platform.h"
#include "sim/machine/machine.h"
#include "support/machine_builder.h"
#include "support/temp_dir.h"

namespace skyfw::sim::testing {

using Json = nlohmann::ordered_json;

// One adapter "a0" with one port (02:00.0, "Skyline Test Adapter",
// interface {11111111-2222-3333-4444-555555555555}) and one plain device.
Json SmallMachine();

using skyfw::testing::TempDir;

// Writes `description` into a new machine directory and opens it.
class MachineFixture {
 public:
  explicit MachineFixture(const Json& description)
      : built_(skyfw::testing::MachineBuilder::From(description)),
        directory_(platform::PathFromUtf8(built_.path())) {}
  platform::Platform& machine() { return built_.platform(); }
  const std::filesystem::path& directory() const { return directory_; }
  // Opens the same directory again, as a second process would see it.
  std::unique_ptr<platform::Platform> Reopen() const { return built_.Reopen(); }

 private:
  skyfw::testing::BuiltMachine built_;
  std::filesystem::path directory_;
};

inline constexpr const char* kPortInterface = "{11111111-2222-3333-4444-555555555555}";
inline constexpr const char* kPortTitle = "Skyline Test Adapter";

}  // namespace skyfw::sim::testing
