// Acceptance: the library on the simulated demo machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/fixed_text.h"
#include "nmapi/nmapi.h"
#include "nmapi_fixture.h"
#include "sim/machine/machine.h"
#include "support/temp_dir.h"

namespace skyfw::test {
namespace {

class DemoMachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    directory_ = std::filesystem::path(temp_.path()) / "machine";
    ASSERT_TRUE(sim::InitMachine(directory_, sim::DemoMachineJson(), error)) << error;
    ASSERT_TRUE(sim::OpenMachine(directory_, platform_, error)) << error;
    platform::Install(platform_.get());
  }
  void TearDown() override {
    StopLibrary();
    platform::Install(nullptr);
  }
  std::filesystem::path AppData() {
    std::string folder;
    platform_->system().GetCommonAppDataFolder(folder);
    return folder;
  }

  testing::TempDir temp_;
  std::filesystem::path directory_;
  std::unique_ptr<platform::Platform> platform_;
};

TEST_F(DemoMachineTest, ListsExactlyTheSkylinePortsOfTheCurrentDriver) {
  ASSERT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_OK);
  uint32_t count = 0;
  ASSERT_EQ(ngNmapiGetNumPhyNic(&count), ngNMAPI_OK);
  ASSERT_EQ(count, 5u);
  AdapterInfo records[6]{};
  ASSERT_EQ(ngNmapiGetAllPhyNic(records, 6), ngNMAPI_OK);

  struct Expected {
    uint32_t bus, function;
    uint16_t deviceId, subDeviceId;
    uint8_t revision;
    const char* permanentMac;
    const char* title;
  };
  const Expected expected[] = {
      {3, 0, 0x0B10, 0x0001, 0x02, "020A3B1C2D4E", "Norvane Skyline S2 25GbE Adapter"},
      {3, 1, 0x0B10, 0x0001, 0x02, "020A3B1C2D4F", "Norvane Skyline S2 25GbE Adapter #2"},
      {5, 0, 0x0B04, 0x0002, 0x01, "020A3B556010", "Norvane Skyline S1 10GbE Adapter"},
      {6, 0, 0x0B04, 0x0002, 0x01, "020A3B556010", "Norvane Skyline S1 10GbE Adapter #2"},
      {8, 0, 0x0B04, 0x0002, 0x01, "020A3B718C20", "Norvane Skyline S1 10GbE Adapter #3"},
  };
  for (uint32_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const AdapterInfo& record = records[i];
    EXPECT_EQ(record.handle, i + 1);
    EXPECT_EQ(record.bus, expected[i].bus);
    EXPECT_EQ(record.device, 0u);
    EXPECT_EQ(record.function, expected[i].function);
    EXPECT_EQ(record.vendorId, 0x1D6A);
    EXPECT_EQ(record.deviceId, expected[i].deviceId);
    EXPECT_EQ(record.subVendorId, 0x1D6A);
    EXPECT_EQ(record.subDeviceId, expected[i].subDeviceId);
    EXPECT_EQ(record.revision, expected[i].revision);
    EXPECT_EQ(TextUpToZero(record.permanentMac), expected[i].permanentMac);
    EXPECT_EQ(TextUpToZero(record.title), expected[i].title);
    EXPECT_EQ(TextUpToZero(record.driverImage), "velond.sys");
    EXPECT_EQ(record.driverKind, kDriverKindCurrent);
    EXPECT_EQ(record.flaggedDeviceId, 1u);
    EXPECT_EQ(record.lockHeld, 0u);
  }
  EXPECT_EQ(records[5].handle, 0u);  // beyond the list: untouched

  // Details the driver and the network stack report for the first port.
  EXPECT_EQ(records[0].chipId, 0x40100u);
  EXPECT_EQ(records[0].bar[0], 0xF7A00000u);
  EXPECT_EQ(records[0].linkSpeedMbps, 25000u);
  EXPECT_EQ(records[0].sriovState, kSriovEnabled);
  EXPECT_EQ(records[0].numVfs, 8);
  EXPECT_EQ(TextUpToZero(records[0].ipAddress), "192.0.2.10");
  EXPECT_EQ(TextUpToZero(records[0].ipv6Address), "fe80::a:3bff:fe1c:2d4e");
  EXPECT_EQ(records[1].linkUp, 0u);
  EXPECT_EQ(records[1].vlan.entry.vlanId, 120u);
  EXPECT_EQ(records[1].sriovState, kSriovDisabled);
  EXPECT_EQ(records[2].sriovState, kSriovFixedList);
  EXPECT_EQ(records[2].chipId, 0x30201u);

  EXPECT_EQ(ngNmapiUninitialize(), ngNMAPI_OK);
}

TEST_F(DemoMachineTest, ConfigurationSwitchesTheLogOn) {
  std::filesystem::path config = AppData() / "Norvane" / "Mgmt Apps" / "config";
  std::filesystem::create_directories(config);
  testing::WriteFile((config / "mgmtapps.conf").string(), "ngnmapi 1\n");
  ASSERT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_OK);
  ASSERT_EQ(ngNmapiUninitialize(), ngNMAPI_OK);
  std::string log =
      testing::ReadFile((AppData() / "Norvane" / "Mgmt Apps" / "log" / "ngnmapi.log").string());
  for (const char* line : {"Read configuration\r\n", "InitInternalData() return ngNMAPI_OK",
                           "ngNmapiInitialize() return ngNMAPI_OK", "Enter ngNmapiUninitialize()",
                           "ngNmapiUninitialize() return ngNMAPI_OK",
                           "UnInitializeLogFile() close logging system\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  EXPECT_NE(log.find("GetNicInfoW2k() virtual ComponentId"), std::string::npos);
  EXPECT_NE(log.find("GetNicInfoW2k() hidden ComponentId"), std::string::npos);
}

}  // namespace
}  // namespace skyfw::test
