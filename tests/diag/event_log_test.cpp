// The event source's registration and event reports on a simulated machine.
#include "diag/event_log.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "os/file_names.h"
#include "support/sim_adapter.h"

namespace skyfw::testing {
namespace {

platform::RegistryValue ValueOf(const std::string& name) {
  std::unique_ptr<platform::RegistryKey> key;
  platform::RegistryValue value;
  EXPECT_EQ(platform::Current().registry().OpenKey(kEventSourceKey, platform::KEY_READ, key), 0u);
  if (key) {
    EXPECT_EQ(key->QueryValue(name, value), 0u);
  }
  return value;
}

TEST(EventSource, RegistersTheMessageFileBesideTheLibrary) {
  SimulatedMachine machine({});
  const std::string message_file = "/opt/skyline tools/nrvn_qv_eventlog.dll";
  // A second process attach writes the same values again.
  for (int attach = 0; attach < 2; ++attach) {
    EXPECT_TRUE(RegisterEventSourceKey(kEventSourceKey, message_file, message_file));
  }
  EXPECT_EQ(ValueOf("CategoryCount").type, platform::REG_DWORD);
  EXPECT_EQ(ValueOf("CategoryCount").AsDword(), 1u);
  for (const char* name : {"CategoryMessageFile", "EventMessageFile"}) {
    platform::RegistryValue value = ValueOf(name);
    EXPECT_EQ(value.type, platform::REG_EXPAND_SZ);
    EXPECT_EQ(value.data.size(), message_file.size() + 1);  // with its terminator
    EXPECT_EQ(value.AsText(), message_file);
  }
  EXPECT_EQ(machine.TraceLinesWith("Key created successfully").size(), 1u);
  EXPECT_EQ(machine.TraceLinesWith("Success: CategoryCount Key value is set\n").size(), 6u);
}

TEST(EventSource, MessageFilePathIsTheLibrarysFolder) {
  // Paths written with "/", spelt with the platform's separator.
  auto native = [](std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
  };
  EXPECT_EQ(EventMessageFilePath(native("/opt/skyline tools/lib/libskyfw.so.1")),
            native("/opt/skyline tools/lib/nrvn_qv_eventlog.dll"));
  EXPECT_EQ(EventMessageFilePath(native("/libskyfw.so")), native("/nrvn_qv_eventlog.dll"));
  EXPECT_EQ(EventMessageFilePath("libskyfw.so"), "nrvn_qv_eventlog.dll");
}

TEST(EventSource, AtLoadUsesTheModulesOwnFile) {
  SimulatedMachine machine({});
  std::string module;
  ASSERT_EQ(platform::Current().system().GetModuleFileName(module), 0u);
  RegisterEventSourceAtLoad();
  EXPECT_EQ(ValueOf("EventMessageFile").AsText(), EventMessageFilePath(module));
  EXPECT_EQ(machine.TraceLinesWith("DLL attached to the process \n").size(), 1u);
}

TEST(EventSource, ARefusedKeyIsTracedAndLoadingGoesOn) {
  SimulatedMachine machine(
      {}, {{"registry_denied",
            {{{"key", "SYSTEM\\CurrentControlSet\\services\\eventlog"}, {"deny_read", true}}}}});
  EXPECT_TRUE(RegisterEventSourceKey(kEventSourceKey, "a", "a"));
  EXPECT_EQ(machine
                .TraceLinesWith("Could not open registry key " + std::string(kEventSourceKey) +
                                " \tERROR: ")
                .size(),
            1u);
  EXPECT_EQ(machine.TraceLinesWith("Could not create registry key").size(), 1u);
  // The first value's line has its own leading blank.
  EXPECT_EQ(machine.TraceLinesWith(":  Could not set registry key CategoryCount\tERROR: ").size(),
            1u);
  EXPECT_EQ(machine.TraceLinesWith("Could not set registry key CategoryCount\tERROR: ").size(), 3u);
}

TEST(EventSource, EveryEventIsAnInformationEvent) {
  SimulatedMachine machine({});
  EXPECT_TRUE(EventLogReport("Error : QVFWUPG : failed\n", kEventInstallFailed));
  std::vector<Event> events = machine.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].source, "Norvane");
  EXPECT_EQ(events[0].type, 4);
  EXPECT_EQ(events[0].category, 1);
  EXPECT_EQ(events[0].id, 0xC0000101u);
  EXPECT_EQ(events[0].strings, std::vector<std::string>{"Error : QVFWUPG : failed\n"});
}

}  // namespace
}  // namespace skyfw::testing
