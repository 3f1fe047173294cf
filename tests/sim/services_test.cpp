// The smaller services through the seam: service control manager faults,
// the event log as JSON lines, system facts, IP helper lists.
#include <gtest/gtest.h>

#include <fstream>

#include "machine_fixture.h"
#include "os/environment.h"

namespace skyfw::sim {
namespace {

using namespace skyfw::platform;
using testing::Json;
using testing::MachineFixture;
using testing::SmallMachine;

TEST(MachineServices, ServiceControlManagerFaults) {
  MachineFixture healthy(SmallMachine());
  std::unique_ptr<ServiceManager> manager;
  ASSERT_EQ(healthy.machine().services().OpenSCManager(SC_MANAGER_ALL_ACCESS, manager),
            ERROR_SUCCESS);
  ServiceLockStatus status;
  ASSERT_EQ(manager->QueryLockStatus(status), ERROR_SUCCESS);
  EXPECT_FALSE(status.locked);

  auto locked = SmallMachine();
  locked["faults"]["scm_locked"] = true;
  locked["faults"]["scm_lock_owner"] = ".\\Installer";
  MachineFixture locked_machine(locked);
  ASSERT_EQ(locked_machine.machine().services().OpenSCManager(SC_MANAGER_ALL_ACCESS, manager),
            ERROR_SUCCESS);
  ASSERT_EQ(manager->QueryLockStatus(status), ERROR_SUCCESS);
  EXPECT_TRUE(status.locked);
  EXPECT_EQ(status.lock_owner, ".\\Installer");

  auto shutting = SmallMachine();
  shutting["faults"]["shutting_down"] = true;
  MachineFixture shutting_machine(shutting);
  manager.reset();
  EXPECT_EQ(shutting_machine.machine().services().OpenSCManager(SC_MANAGER_ALL_ACCESS, manager),
            ERROR_SHUTDOWN_IN_PROGRESS);
  EXPECT_EQ(manager, nullptr);
}

TEST(MachineEventLog, EventsLandAsJsonLinesInTheMachineDirectory) {
  MachineFixture fixture(SmallMachine());
  std::unique_ptr<EventSource> source;
  ASSERT_EQ(fixture.machine().eventLog().RegisterEventSource("Norvane", source), ERROR_SUCCESS);
  ASSERT_EQ(source->ReportEvent(EVENTLOG_INFORMATION_TYPE, 1, 0xC0000101,
                                {"Installation failed: \"x\"\r\n"}),
            ERROR_SUCCESS);
  ASSERT_EQ(source->ReportEvent(EVENTLOG_INFORMATION_TYPE, 1, 0x00020100, {"ok"}), ERROR_SUCCESS);
  EXPECT_EQ(source->Deregister(), ERROR_SUCCESS);
  EXPECT_EQ(source->Deregister(), ERROR_INVALID_HANDLE);

  std::ifstream in(fixture.directory() / "events.jsonl");
  std::string line;
  std::vector<Json> events;
  while (std::getline(in, line)) events.push_back(Json::parse(line));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["source"], "Norvane");
  EXPECT_EQ(events[0]["log"], "Application");
  EXPECT_EQ(events[0]["type"], 4);
  EXPECT_EQ(events[0]["category"], 1);
  EXPECT_EQ(events[0]["event_id"], 0xC0000101u);
  EXPECT_EQ(events[0]["strings"][0], "Installation failed: \"x\"\r\n");
  EXPECT_EQ(events[0]["computer"], "TESTHOST");
  EXPECT_EQ(events[1]["event_id"], 0x00020100u);
}

TEST(MachineSystem, FoldersLieInsideTheMachineAndLibrariesExportWhatTheyShould) {
  auto description = SmallMachine();
  description["faults"]["missing_exports"] = {"Iphlpapi.dll!GetAdaptersAddresses"};
  MachineFixture fixture(description);
  System& system = fixture.machine().system();
  std::string name, app_data, system_directory;
  ASSERT_EQ(system.GetComputerName(name), ERROR_SUCCESS);
  EXPECT_EQ(name, "TESTHOST");
  ASSERT_EQ(system.GetCommonAppDataFolder(app_data), ERROR_SUCCESS);
  EXPECT_EQ(std::filesystem::path(app_data), fixture.directory() / "ProgramData");
  EXPECT_TRUE(std::filesystem::is_directory(app_data));
  ASSERT_EQ(system.GetSystemDirectory(system_directory), ERROR_SUCCESS);

  EXPECT_EQ(system.LibraryExportsFunction(system_directory + "/Setupapi.dll",
                                          "SetupDiEnumDeviceInterfaces"),
            ERROR_SUCCESS);
  EXPECT_EQ(system.LibraryExportsFunction(system_directory + "\\SETUPAPI.DLL",
                                          "SetupDiEnumDeviceInterfaces"),
            ERROR_SUCCESS);
  EXPECT_EQ(
      system.LibraryExportsFunction(system_directory + "/Iphlpapi.dll", "GetAdaptersAddresses"),
      ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(system.LibraryExportsFunction("/elsewhere/Setupapi.dll", "SetupDiEnumDeviceInterfaces"),
            ERROR_MOD_NOT_FOUND);

  std::string text;
  EXPECT_TRUE(system.FormatMessage(31, text));
  EXPECT_EQ(text, "A device attached to the system is not functioning.\r\n");
  system.SetLastError(ERROR_SHARING_VIOLATION);
  EXPECT_EQ(system.GetLastError(), ERROR_SHARING_VIOLATION);
  std::string module;
  EXPECT_EQ(system.GetModuleFileName(module), ERROR_SUCCESS);
  EXPECT_FALSE(module.empty());
}

TEST(MachineIpHelper, ListsIpv4AndIpv6AsDescribed) {
  MachineFixture fixture(SmallMachine());
  std::vector<IpAdapterInfo> adapters;
  ASSERT_EQ(fixture.machine().ipHelper().GetAdaptersInfo(adapters), ERROR_SUCCESS);
  ASSERT_EQ(adapters.size(), 2u);
  EXPECT_EQ(adapters[0].adapter_name, testing::kPortInterface);
  EXPECT_EQ(adapters[0].type, MIB_IF_TYPE_ETHERNET);
  EXPECT_FALSE(adapters[0].dhcp_enabled);
  ASSERT_EQ(adapters[0].ip_address_list.size(), 1u);
  EXPECT_EQ(adapters[0].ip_address_list[0].address, "192.0.2.5");
  EXPECT_EQ(adapters[0].gateway_list[0].address, "192.0.2.1");
  EXPECT_EQ(adapters[0].address, (std::vector<uint8_t>{0x02, 0x0A, 0x3B, 0x1C, 0x2D, 0x4E}));
  // A device without IPv4 configuration has no address.
  EXPECT_EQ(adapters[1].ip_address_list[0].address, "0.0.0.0");

  std::vector<IpAdapterAddresses> addresses;
  ASSERT_EQ(fixture.machine().ipHelper().GetAdaptersAddresses(AF_INET6_WINDOWS, 0x3D0, addresses),
            ERROR_SUCCESS);
  ASSERT_EQ(addresses.size(), 2u);
  ASSERT_EQ(addresses[0].unicast_addresses.size(), 1u);
  const IpUnicastAddress& unicast = addresses[0].unicast_addresses[0];
  ASSERT_EQ(unicast.address.bytes.size(), 28u);
  EXPECT_EQ(unicast.address.Family(), AF_INET6_WINDOWS);
  EXPECT_EQ(unicast.address.bytes[8], 0xFE);
  EXPECT_EQ(unicast.address.bytes[9], 0x80);
  EXPECT_EQ(unicast.address.bytes[23], 0x01);
  EXPECT_EQ(unicast.prefix_origin, 4);
  ASSERT_EQ(addresses[0].gateway_addresses.size(), 1u);
  EXPECT_EQ(addresses[0].gateway_addresses[0].bytes[23], 0xFF);
  EXPECT_TRUE(addresses[1].unicast_addresses.empty());
}

TEST(MachineOpening, DefaultDirectoryFollowsTheEnvironment) {
  using platform::SetEnvironmentText;
  SetEnvironmentText("SKYFW_MACHINE", "/somewhere/m1");
  EXPECT_EQ(DefaultMachineDirectory(), "/somewhere/m1");
  SetEnvironmentText("SKYFW_MACHINE", "");
  SetEnvironmentText("XDG_STATE_HOME", "/state");
  EXPECT_EQ(DefaultMachineDirectory(), "/state/skyfw/machine");
  SetEnvironmentText("XDG_STATE_HOME", "");
#if defined(_WIN32)
  // Windows has the local application-data folder before HOME.
  const std::string local = platform::GetEnvironmentText("LOCALAPPDATA").value_or("");
  SetEnvironmentText("LOCALAPPDATA", "C:\\Users\\op\\AppData\\Local");
  EXPECT_EQ(DefaultMachineDirectory(), "C:\\Users\\op\\AppData\\Local\\skyfw\\machine");
  SetEnvironmentText("LOCALAPPDATA", "");
#endif
  SetEnvironmentText("HOME", "/home/op");
  EXPECT_EQ(DefaultMachineDirectory(), "/home/op/.local/state/skyfw/machine");
#if defined(_WIN32)
  SetEnvironmentText("LOCALAPPDATA", local);
#endif
}

TEST(MachineOpening, DemoMachineIsCreatedOnFirstUseOnly) {
  testing::TempDir state;
  platform::SetEnvironmentText("SKYFW_MACHINE", "");
  platform::SetEnvironmentText("XDG_STATE_HOME", state.path());
  std::unique_ptr<Platform> machine;
  std::string error;
  ASSERT_TRUE(OpenDefaultMachine(machine, error)) << error;
  std::string name;
  machine->system().GetComputerName(name);
  EXPECT_EQ(name, "SKYHOST01");
  EXPECT_TRUE(std::filesystem::exists(platform::PathFromUtf8(state.path()) / "skyfw" / "machine" /
                                      "machine.json"));

  // A named machine that is missing is an error, not a new demo machine.
  platform::SetEnvironmentText("SKYFW_MACHINE", state.File("absent"));
  EXPECT_FALSE(OpenDefaultMachine(machine, error));
  EXPECT_NE(error.find("machine.json"), std::string::npos) << error;
  platform::SetEnvironmentText("SKYFW_MACHINE", "");
  platform::SetEnvironmentText("XDG_STATE_HOME", "");
}

TEST(MachineOpening, InitRefusesABadDescriptionAndAnOccupiedDirectory) {
  testing::TempDir dir;
  std::string error;
  EXPECT_FALSE(InitMachine(dir.File("m"), "{\"computer_name\": 7}", error));
  EXPECT_EQ(error, "computer_name: expected a text, got 7");
  EXPECT_FALSE(std::filesystem::exists(platform::PathFromUtf8(dir.path()) / "m" / "machine.json"));
  ASSERT_TRUE(InitMachine(dir.File("m"), DemoMachineJson(), error)) << error;
  EXPECT_FALSE(InitMachine(dir.File("m"), DemoMachineJson(), error));
  EXPECT_NE(error.find("a machine is already there"), std::string::npos);
}

}  // namespace
}  // namespace skyfw::sim
