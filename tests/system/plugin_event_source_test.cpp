// The plug-in registers its event source when a host loads it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "diag/event_log.h"
#include "os/environment.h"
#include "os/file_names.h"
#include "platform/platform.h"
#include "os/shared_library.h"
#include "sim/machine/machine.h"
#include "support/temp_dir.h"

namespace skyfw::testing {
namespace {

TEST(PluginLoad, RegistersTheMessageFileBesideThePlugin) {
  TempDir dir;
  const std::string machine_directory = dir.File("machine");
  std::string error;
  ASSERT_TRUE(sim::InitMachine(machine_directory, sim::DemoMachineJson(), error)) << error;
  ASSERT_TRUE(platform::SetEnvironmentText("SKYFW_MACHINE", machine_directory));
  // Loading is all this test needs; the plug-in stays until the process ends.
  static platform::SharedLibrary plugin;
  ASSERT_TRUE(plugin.Open(SKYFW_PLUGIN_PATH, error)) << error;
  platform::SetEnvironmentText("SKYFW_MACHINE", "");

  std::unique_ptr<platform::Platform> machine;
  ASSERT_TRUE(sim::OpenMachine(machine_directory, machine, error)) << error;
  std::unique_ptr<platform::RegistryKey> key;
  ASSERT_EQ(machine->registry().OpenKey(kEventSourceKey, platform::KEY_READ, key), 0u);
  const std::string folder = platform::FromFileSystemPath(
      std::filesystem::canonical(SKYFW_PLUGIN_PATH).parent_path().make_preferred());
  for (const char* name : {"CategoryMessageFile", "EventMessageFile"}) {
    platform::RegistryValue value;
    ASSERT_EQ(key->QueryValue(name, value), 0u);
    EXPECT_EQ(value.type, platform::REG_EXPAND_SZ);
    EXPECT_EQ(value.AsText(), folder + platform::kPathSeparator + "nrvn_qv_eventlog.dll");
  }
}

}  // namespace
}  // namespace skyfw::testing
