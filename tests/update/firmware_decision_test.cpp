// The firmware item chosen for an adapter, from the catalogue or from the
// package files, and the version numbers of the host's adapter report.
#include "update/firmware_decision.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "base/text_conversion.h"
#include "diag/trace_log.h"
#include "os/file_names.h"
#include "support/capturing_platform.h"
#include "support/sim_adapter.h"
#include "update/firmware_action.h"

namespace skyfw::testing {
namespace {

class FakeCatalogue final : public FirmwareCatalogue {
 public:
  bool loaded = true;
  // By device and subsystem ID: "nvmFile" and "nvm".
  std::map<std::pair<uint32_t, uint32_t>, std::pair<std::string, std::string>> entries;

  bool IsLoaded() const override { return loaded; }
  bool FindNvmPackage(uint32_t device_id, uint32_t sub_device_id, std::string& nvm_file,
                      std::string& nvm_version) const override {
    auto found = entries.find({device_id, sub_device_id});
    if (found == entries.end()) return false;
    nvm_file = found->second.first;
    nvm_version = found->second.second;
    return true;
  }
};

TEST(FirmwareAction, ComparesVersionsByTheirNumbers) {
  struct Case {
    const char* current;
    const char* next;
    const char* action;
  } cases[] = {
      {"21.6.2", "21.10.1", "upgrade"},
      {"9.1", "10.0", "upgrade"},
      {"214.0.0", "22.0.0", "downgrade"},
      {"21.6.2", "21.6.2", "rewrite"},
      {"", "1.0.0", "upgrade"},
      {"1.0.0", "", "downgrade"},
      // A VPD version with letters before its digits sorts after numbers.
      {"V21.6.2", "22.0.0", "downgrade"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(ChooseFirmwareAction(c.current, c.next), c.action)
        << c.current << " -> " << c.next;
  }
}

TEST(DecideFirmwareAction, CatalogueMode) {
  SimulatedMachine machine({S2Adapter("a0", "NV1", "21.6.2")});
  FakeCatalogue catalogue;
  struct Case {
    const char* name;
    std::optional<std::pair<std::string, std::string>> entry;
    FirmwareItem expected;
  } cases[] = {
      {"entry",
       std::make_pair("s2.pkg", "21.10.1"),
       {"", "s2.pkg", "21.10.1", "21.6.2", "upgrade"}},
      {"entry without nvm", std::make_pair("s2.pkg", ""), {"", "s2.pkg", "", "21.6.2", ""}},
      {"no entry", std::nullopt, {"", "", "", "21.6.2", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    catalogue.entries.clear();
    if (c.entry) catalogue.entries[{0x0B10, 0x0001}] = *c.entry;
    DeviceRecord device = machine.Device(0);
    // The directory's packages are not looked at in this mode.
    DecideFirmwareAction(device, {machine.directory().File("missing.pkg")}, &catalogue);
    ASSERT_EQ(device.firmwareItems.size(), 1u);
    const FirmwareItem& item = device.firmwareItems[0];
    EXPECT_EQ(item.type, c.expected.type);
    EXPECT_EQ(item.file, c.expected.file);
    EXPECT_EQ(item.version, c.expected.version);
    EXPECT_EQ(item.activeVersion, c.expected.activeVersion);
    EXPECT_EQ(item.action, c.expected.action);
  }
  EXPECT_TRUE(machine.TraceLinesWith("missing.pkg").empty());
}

TEST(DecideFirmwareAction, PackageModeTakesTheFirstPackageThatPasses) {
  SimulatedMachine machine({S2Adapter("a0", "NV1", "21.6.2")});
  const TempDir& dir = machine.directory();
  tool::PackagePlan other_model = S2Package("30.0.0");
  other_model.device_ids = {0x0B04};
  std::string refused = WritePackageFile(dir, "a_other.pkg", other_model);
  std::string chosen = WritePackageFile(dir, "b_older.pkg", S2Package("20.4.1"));
  std::string later = WritePackageFile(dir, "c_newer.pkg", S2Package("22.0.0"));

  FakeCatalogue not_loaded;
  not_loaded.loaded = false;
  DeviceRecord device = machine.Device(0);
  DecideFirmwareAction(device, {refused, chosen, later}, &not_loaded);
  ASSERT_EQ(device.firmwareItems.size(), 1u);
  const FirmwareItem& item = device.firmwareItems[0];
  EXPECT_EQ(item.file, chosen);
  EXPECT_EQ(item.version, "20.4.1");
  EXPECT_EQ(item.activeVersion, "21.6.2");
  EXPECT_EQ(item.action, "downgrade");
  EXPECT_EQ(machine.TraceLinesWith("Package " + refused + " skipped").size(), 1u);
  // The decision's own reading and one per candidate examined.
  EXPECT_EQ(machine.TraceLinesWith("NVM VER VAL:21.6.2").size(), 3u);

  DeviceRecord nothing = machine.Device(0);
  DecideFirmwareAction(nothing, {refused}, nullptr);
  ASSERT_EQ(nothing.firmwareItems.size(), 1u);
  EXPECT_EQ(nothing.firmwareItems[0].file, "");
  EXPECT_EQ(nothing.firmwareItems[0].version, "");
  EXPECT_EQ(nothing.firmwareItems[0].action, "");
  EXPECT_EQ(nothing.firmwareItems[0].activeVersion, "21.6.2");
}

TEST(ReportVersionNumbers, FillsTheFirmwareEntry) {
  CapturingPlatform platform;
  TraceCreateLock();
  TraceOpen(nullptr);
  // A package path as the firmware listing joins it: the platform's separator.
  const std::string sep(1, platform::kPathSeparator);
  struct Case {
    FirmwareItem item;
    std::array<uint32_t, 6> numbers;
  } cases[] = {
      {{"", sep + "fw" + sep + "s2_21.6.3.pkg", "21.6.3.0", "Skyline 21.6.2", "upgrade"},
       {21, 6, 2, 21, 6, 3}},
      {{"", "", "", "21.6.2", ""}, {21, 6, 2, 0, 0, 0}},
      {{"", "s2.pkg", "V21.6", "V21.6", "rewrite"}, {21, 6, 0, 0, 0, 0}},
      {{"", "s2.pkg", "7", "", "upgrade"}, {0, 0, 0, 7, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item.version);
    OemFirmwareEntry entry;
    std::fill_n(reinterpret_cast<uint8_t*>(&entry), sizeof entry, 0xEE);
    ReportVersionNumbers(c.item, entry);
    EXPECT_EQ(TextFieldOf(entry.firmwareType), u"nvm");
    std::array<uint32_t, 6> numbers = {entry.currentMajor, entry.currentMinor, entry.currentBuild,
                                       entry.imageMajor,   entry.imageMinor,   entry.imageBuild};
    EXPECT_EQ(numbers, c.numbers);
    EXPECT_EQ(entry.reserved, 0xEEEEEEEEu);
    if (!c.item.file.empty()) {
      std::string base = c.item.file.substr(c.item.file.rfind(platform::kPathSeparator) + 1);
      EXPECT_EQ(TextFieldOf(entry.firmwareFile), std::u16string(base.begin(), base.end()));
    } else {
      EXPECT_EQ(entry.firmwareFile[0], 0xEEEE);  // left as the host had it
    }
  }
  std::vector<std::string> lines = platform.debugger_lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_NE(lines[0].find("FW TYPE : nvm\n"), std::string::npos);
  EXPECT_NE(lines[1].find("FW FILE : s2_21.6.3.pkg\n"), std::string::npos);
  EXPECT_NE(lines[2].find("CURRENT MAJOR: 21 6 2\n"), std::string::npos);
  EXPECT_NE(lines[3].find("IMG MAJOR: 21 6 3\n"), std::string::npos);
  TraceClose();
  TraceDestroyLock();
}

}  // namespace
}  // namespace skyfw::testing
