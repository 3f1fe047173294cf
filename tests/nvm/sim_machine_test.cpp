// The NVM operations and the installed version against the simulated
// machine and its adapter driver, end to end.
#include "nvm/sim_machine.h"

#include <gtest/gtest.h>

#include <numeric>

#include "builders.h"
#include "nvm/chip_registers.h"
#include "nvm/nvm_operations.h"
#include "nvm/wmi_helper.h"
#include "update/package_version.h"

namespace skyfw {
namespace {

using testing::kSimAdapter;
using testing::SimMachine;
using testing::SimMachineJson;

// A package installing one non-firmware item of `data_length` bytes.
std::vector<uint8_t> BuildTestPackage(const std::string& version, size_t data_length) {
  tool::PackagePlan plan;
  plan.description = "test package";
  plan.version = version;
  plan.device_ids = {0x0B10};
  tool::PackageItemPlan item;
  item.type = 40;
  item.data = tool::FillerBytes(data_length, 7);
  plan.items.push_back(item);
  std::vector<uint8_t> package;
  EXPECT_EQ(tool::BuildPackage(plan, package), NVCRETVAL_SUCCESS);
  return package;
}

std::string PackageVersion() {
  char buffer[256] = {};
  NvmStatus status = velonvmGetPackageVersion(kSimAdapter, buffer);
  return status == NVCRETVAL_SUCCESS ? std::string(buffer) : "status " + std::to_string(status);
}

TEST(SimMachineNvmTest, ReachesAnInstanceWhoseNameNeedsEscaping) {
  SimMachine machine(SimMachineJson());
  ASSERT_TRUE(machine.ok());
  NvmDirEntry entry;
  EXPECT_GE(velonvmFindDirEntry(kSimAdapter, kPackageLogItemType, 0, 0, &entry), 0);
  EXPECT_GT(entry.dir_data_length, 0u);
  // Without the escaping the path would name no instance at all.
  EXPECT_EQ(velonvmFindDirEntry("Skyline Lab S2", kPackageLogItemType, 0, 0, nullptr),
            NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
}

TEST(SimMachineNvmTest, WritesAndReadsBackAnItemAcrossChunks) {
  SimMachine machine(SimMachineJson());
  ASSERT_TRUE(machine.ok());
  std::vector<uint8_t> data(70000);
  std::iota(data.begin(), data.end(), uint8_t{3});
  ASSERT_EQ(velonvmWriteItem(kSimAdapter, 40, 0, 0, 0, data), NVCRETVAL_SUCCESS);
  std::vector<uint8_t> read(data.size());
  NvmDirEntry entry;
  EXPECT_EQ(velonvmReadItem(kSimAdapter, 40, 0, 0, read, &entry), 70000);
  EXPECT_EQ(read, data);
  EXPECT_EQ(entry.dir_item_length, 70000u);
}

TEST(SimMachineNvmTest, SixteenBitInputsReachDriversThatDeclareThemOtherwise) {
  for (const char* declared : {"uint16", "sint16", "uint32", "sint32"}) {
    SCOPED_TRACE(declared);
    SimMachine machine(
        SimMachineJson(std::string(R"(, "faults": {"sixteen_bit_inputs": ")") + declared + "\"}"));
    ASSERT_TRUE(machine.ok());
    std::vector<uint8_t> value(64, 0);
    NvmOptionRequest request{1, 64, 1, 0, 0, 0, 0, value};
    ASSERT_EQ(velonvmGetOption(kSimAdapter, request), NVCRETVAL_SUCCESS);
    EXPECT_EQ(value[0], 0xE5);  // option 1, little-endian
    EXPECT_EQ(value[7], 0x1D);
    // SetFwTime carries 16-bit inputs too.
    EXPECT_EQ(
        velonvmInstallPackage(kSimAdapter, BuildTestPackage("22.1.0", 100), nullptr, nullptr, 0),
        1);
  }
}

TEST(SimMachineNvmTest, DriverFaultsBecomeStatuses) {
  struct Case {
    const char* what;
    std::string adapter_extra;
    std::string machine_extra;
    NvmStatus expected;
  };
  const Case cases[] = {
      {"Read fails with error 28", R"(, "faults": {"calls": [{"call": "Read", "error": 28}]})", "",
       NVCRETVAL_INVALID_DATA_LENGTH},
      {"Read fails naming no error", R"(, "faults": {"calls": [{"call": "Read", "error": 0}]})", "",
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE},
      {"root\\wmi unreachable", "", R"(, "faults": {"unreachable_namespaces": ["root\\wmi"]})",
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE},
      {"single-threaded apartment", "", R"(, "faults": {"sta_thread": true})",
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimMachine machine(SimMachineJson(c.adapter_extra, c.machine_extra));
    ASSERT_TRUE(machine.ok());
    std::vector<uint8_t> buffer(16);
    EXPECT_EQ(velonvmGetItem(kSimAdapter, 0, 0, buffer), c.expected);
  }
}

TEST(SimMachineNvmTest, RefusedInstallNamesTheProblemItem) {
  SimMachine machine(
      SimMachineJson(R"(, "faults": {"install_refusal": {"result": 235, "problem_item": 2}})"));
  ASSERT_TRUE(machine.ok());
  int32_t problem = 0;
  EXPECT_EQ(
      velonvmInstallPackage(kSimAdapter, BuildTestPackage("22.1.0", 100), &problem, nullptr, 0),
      NVCRETVAL_INVALID_SIGNATURE);
  EXPECT_EQ(problem, 2);
  EXPECT_EQ(PackageVersion(), "21.6.2");
}

// Acceptance: a package written by the package writer is installed through
// the update area and its version read back, from the driver's Version
// property and, on a driver without it, from the package log.
TEST(SimMachineNvmTest, InstalledPackageVersionReadsBackThroughBothPaths) {
  for (bool version_property : {true, false}) {
    SCOPED_TRACE(version_property ? "Version property" : "Version property missing");
    // An update area smaller than the package: it is made larger first.
    SimMachine machine(
        SimMachineJson(std::string(R"(, "update_area_length": 4096)") +
                       (version_property ? "" : R"(, "faults": {"version_property": "missing"})")));
    ASSERT_TRUE(machine.ok());
    EXPECT_EQ(PackageVersion(), "21.6.2");

    std::vector<uint8_t> package = BuildTestPackage("22.1.0", 6000);
    ASSERT_GT(package.size(), 4096u);
    int32_t problem = 99;
    uint8_t reset = 0;
    EXPECT_EQ(velonvmInstallPackage(kSimAdapter, package, &problem, &reset, 0), 1);
    EXPECT_EQ(problem, -1);
    EXPECT_EQ(reset, 1);

    char buffer[256] = {};
    EXPECT_EQ(velonvmQueryPackageVersion(kSimAdapter, buffer),
              version_property ? NVCRETVAL_SUCCESS : NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
    EXPECT_EQ(velonvmReadPackageLogVersion(kSimAdapter, buffer), NVCRETVAL_SUCCESS);
    EXPECT_STREQ(buffer, "22.1.0");
    EXPECT_EQ(PackageVersion(), "22.1.0");

    NvmDirEntry area;
    ASSERT_GE(velonvmFindDirEntry(kSimAdapter, kUpdateAreaItemType, 0, 0, &area), 0);
    EXPECT_EQ(area.dir_item_length, (package.size() + 4095) / 4096 * 4096);
  }
}

TEST(SimMachineNvmTest, AnOverlongDriverVersionFallsBackToTheLog) {
  SimMachine machine(SimMachineJson(R"(, "faults": {"version_property": "too_long"})"));
  ASSERT_TRUE(machine.ok());
  char buffer[256] = {};
  EXPECT_EQ(velonvmQueryPackageVersion(kSimAdapter, buffer), NVCRETVAL_FAILURE);
  EXPECT_EQ(PackageVersion(), "21.6.2");
}

TEST(SimMachineNvmTest, RegisterAndInstanceByIdReachTheDriver) {
  SimMachine machine(
      SimMachineJson(R"(, "chip": {"number": "0x4", "revision": "0x1", "metal": "0x0"})", "", ""));
  ASSERT_TRUE(machine.ok());
  uint32_t value = 1;
  EXPECT_EQ(velonvmReadRegister(kSimAdapter, kChipNumberRegister, value), NVCRETVAL_SUCCESS);
  EXPECT_EQ(value, 0u);  // chip number 4: its low four bits are cleared

  WmiHelper wmi(kStandardCimv2Namespace);
  ASSERT_TRUE(wmi.IsConnected());
  platform::WmiObjectPtr setting;
  ASSERT_TRUE(wmi.GetInstanceById(kStandardCimv2Namespace, u"MSFT_NetAdapterSriovSettingData",
                                  u"{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B10}", setting));
  bool enabled = true;
  EXPECT_TRUE(GetFlag(setting, u"Enabled", enabled));
}

}  // namespace
}  // namespace skyfw
