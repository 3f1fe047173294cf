// The installer on simulated adapters: current version, the checks of a
// package, installation with its trace lines and events, and the adapter's
// identity kept across an update.
#include "update/installer.h"

#include <gtest/gtest.h>

#include "diag/event_log.h"
#include "package/vpd.h"
#include "support/sim_adapter.h"

namespace skyfw::testing {
namespace {

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

VpdIdentity IdentityOf(const std::string& adapter) {
  NvramItemCopy vpd = ReadNvramItem(adapter, 5);
  VpdIdentity identity;
  ReadVpdIdentity(ByteView(vpd.data).subspan(4), identity);
  return identity;
}

struct CheckResult {
  bool accepted = false;
  std::string package_version, current_version, action;
};

CheckResult Check(DeviceRecord& device, const std::string& path) {
  CheckResult result;
  result.accepted = ProcessPackage(device, path, result.package_version, result.current_version,
                                   false, result.action, false);
  return result;
}

TEST(CurrentVersion, InstalledPackageVersionOrTheVpdVersion) {
  struct Case {
    const char* installed;
    bool with_vpd;
    const char* expected;
  } cases[] = {
      {"21.10.1", true, "21.10.1"},
      {"0.0.0", true, "21.6.2"},  // the VPD's VA
      {"0.0.0.0", true, "21.6.2"},
      {"1.2", true, "21.6.2"},  // fewer than 4 characters
      {"", true, "21.6.2"},     // no package log record
      {"", false, ""},          // and no VPD item either
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installed);
    nlohmann::json adapter = S2Adapter("a0", "NV1", c.installed);
    if (!c.with_vpd) adapter.erase("vpd");
    SimulatedMachine machine({adapter});
    DeviceRecord device = machine.Device(0);
    std::string package_version = "untouched", current, action = "untouched";
    EXPECT_TRUE(
        ProcessPackage(device, "/nonexistent", package_version, current, true, action, false));
    EXPECT_EQ(current, c.expected);
    EXPECT_EQ(package_version, "untouched");
    EXPECT_EQ(action, "untouched");
    EXPECT_EQ(machine
                  .TraceLinesWith("NVM VER VAL:" + std::string(c.installed) +
                                  " LEN :" + std::to_string(std::string(c.installed).size()) + "\n")
                  .size(),
              1u);
    EXPECT_EQ(machine.TraceLinesWith("VA VALUE:").size(), c.with_vpd ? 1u : 0u);
  }
}

TEST(CurrentVersion, ProductNameFromTheAdapterNameTable) {
  nlohmann::json known = S2Adapter("a0", "NV1", "21.6.2");
  nlohmann::json unknown = S2Adapter("a1", "NV2", "21.6.2");
  unknown["vpd"]["identifier"] = "Norvane Skyline S2 Prototype";
  SimulatedMachine machine({known, unknown});
  std::string package_version, current, action;

  DeviceRecord named = machine.Device(0);
  ProcessPackage(named, "", package_version, current, true, action, false);
  EXPECT_EQ(Narrow(named.productName), "Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter");

  DeviceRecord unnamed = machine.Device(1);
  ProcessPackage(unnamed, "", package_version, current, true, action, false);
  EXPECT_EQ(Narrow(unnamed.productName), "Skyline a1");
}

TEST(AdapterNameTable, HasSixModelsIncludingTheDemoMachines) {
  auto table = AdapterNameTable();
  ASSERT_EQ(table.size(), 6u);
  int demo_models = 0;
  for (const AdapterNameRow& row : table) {
    std::string identifier = row.vpdIdentifier;
    if (identifier == "Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter" ||
        identifier == "Norvane Skyline S1 10GbE SFP+ Adapter") {
      ++demo_models;
    }
  }
  EXPECT_EQ(demo_models, 2);
}

// Each refusal is one trace line, a false result, no event and no change on
// the adapter.
TEST(CheckMode, RefusesForEachReasonWithItsLineAndSendsNothing) {
  SimulatedMachine machine({S2Adapter("a0", "NV1", "21.6.2")});
  const TempDir& dir = machine.directory();

  tool::PackagePlan prerequisite = S2Package("22.1.0");
  prerequisite.prerequisite = "22.0.0";
  tool::PackagePlan other_device = S2Package("22.1.0");
  other_device.device_ids = {0x0B04};
  tool::PackagePlan revision = S2Package("22.1.0");
  revision.lowest_revision = 3;

  std::string bad_item = WritePackageFile(dir, "bad_item.pkg", S2Package("22.1.0"));
  {
    std::string bytes = ReadFile(bad_item);
    bytes[bytes.size() - 40] ^= 0x01;  // inside the last item's data
    WriteFile(bad_item, bytes);
  }
  std::string bad_crc = WritePackageFile(dir, "bad_crc.pkg", S2Package("22.1.0"));
  {
    std::string bytes = ReadFile(bad_crc);
    bytes.back() ^= 0x01;
    WriteFile(bad_crc, bytes);
  }
  std::string bad_manifest = WritePackageFile(dir, "bad_manifest.pkg", S2Package("22.1.0"));
  {
    // The manifest magic follows the 12-byte header and the property area.
    std::string bytes = ReadFile(bad_manifest);
    size_t manifest = bytes.find("Man0");
    bytes[manifest] = 'X';
    WriteFile(bad_manifest, bytes);
  }

  struct Case {
    std::string path;
    std::string line;
  } cases[] = {
      {dir.File("missing.pkg"),
       "Package " + dir.File("missing.pkg") + " read error: FILE_OPEN_FAILURE\n"},
      {bad_manifest, "Package " + bad_manifest + " count error: INVALID_SIGNATURE\n"},
      {WritePackageFile(dir, "prereq.pkg", prerequisite),
       "Package " + dir.File("prereq.pkg") + " skipped (prerequisite not met: 22.0.0)\n"},
      {WritePackageFile(dir, "other.pkg", other_device),
       "Package " + dir.File("other.pkg") + " skipped (not applicable to this device)\n"},
      {WritePackageFile(dir, "revision.pkg", revision),
       "Package " + dir.File("revision.pkg") + " skipped (not applicable to this device)\n"},
      {bad_item,
       "\nPackage " + bad_item + " verification error: INVALID_CHECKSUM with packaged item #2\n"},
      {bad_crc, "\nPackage " + bad_crc + " verification error: INVALID_CHECKSUM\n"},
  };
  std::vector<NvramItemCopy> before = ReadNvram(SimulatedMachine::Title("a0"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    DeviceRecord device = machine.Device(0);
    CheckResult result = Check(device, c.path);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.current_version, "21.6.2");
    EXPECT_EQ(result.package_version, "");
    EXPECT_EQ(result.action, "");
    ASSERT_EQ(machine.TraceLinesWith(c.line).size(), 1u);
    EXPECT_NE(machine.TraceLinesWith(c.line)[0].find("[QVFWUPG LIB :DEBUG]"), std::string::npos);
  }
  EXPECT_TRUE(machine.Events().empty());
  std::vector<NvramItemCopy> after = ReadNvram(SimulatedMachine::Title("a0"));
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].data, before[i].data);
}

TEST(CheckMode, PrerequisiteIsJudgedOnTheInstalledVersionNotTheVpdFallback) {
  // The package log says 0.0.0, so the current version falls back to the
  // VPD's 21.6.2; the prerequisite 21.0.0 is still not met by 0.0.0.
  SimulatedMachine machine({S2Adapter("a0", "NV1", "0.0.0")});
  tool::PackagePlan plan = S2Package("22.1.0");
  plan.prerequisite = "21.0.0";
  std::string path = WritePackageFile(machine.directory(), "p.pkg", plan);
  DeviceRecord device = machine.Device(0);
  CheckResult result = Check(device, path);
  EXPECT_FALSE(result.accepted);
  EXPECT_EQ(result.current_version, "21.6.2");
  EXPECT_EQ(machine.TraceLinesWith("prerequisite not met: 21.0.0").size(), 1u);
}

TEST(CheckMode, AcceptsWithVersionAndActionComparedAsVersions) {
  struct Case {
    const char* installed;
    const char* package;
    const char* action;
  } cases[] = {
      {"21.6.2", "21.10.1", "upgrade"},  // byte-wise this would be a downgrade
      {"9.1.0", "10.0.0", "upgrade"},    {"21.6.2", "21.6.2", "rewrite"},
      {"21.6.2", "20.4.1", "downgrade"}, {"21.6.2", "", "downgrade"},  // no property 9
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " -> " + c.package);
    SimulatedMachine machine({S2Adapter("a0", "NV1", c.installed)});
    std::string path = WritePackageFile(machine.directory(), "p.pkg", S2Package(c.package));
    DeviceRecord device = machine.Device(0);
    CheckResult result = Check(device, path);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.package_version, c.package);
    EXPECT_EQ(result.action, c.action);
    EXPECT_TRUE(machine.Events().empty());
  }
}

TEST(CheckMode, AcceptsAWrappedPackage) {
  SimulatedMachine machine({S2Adapter("a0", "NV1", "21.6.2")});
  Bytes package;
  ASSERT_EQ(tool::BuildPackage(S2Package("22.1.0"), package), 0);
  Bytes wrapped = tool::WrapPackage(package);
  std::string path = machine.directory().File("wrapped.pkg");
  WriteFile(path, std::string(wrapped.begin(), wrapped.end()));
  DeviceRecord device = machine.Device(0);
  EXPECT_EQ(InstallPackageFile(device, path), 1);
  EXPECT_EQ(ReadNvramItem(SimulatedMachine::Title("a0"), 6).data, MainFirmware(7));
}

TEST(Install, WritesThePackageReportsEveryStepAndKeepsTheIdentity) {
  nlohmann::json adapter = S2Adapter("a0", "NV1", "21.6.2");
  SimulatedMachine machine({adapter});
  const std::string title = SimulatedMachine::Title("a0");
  tool::PackagePlan plan = S2Package("21.10.1");
  // The package brings the model's VPD with placeholder identity values.
  plan.items.push_back(
      {.type = 5,
       .item_length = 1024,
       .data =
           VpdItem(kS2Identifier,
                   {{"PN", "SKY-S2-XXX"}, {"MN", "0000"}, {"SN", "PKG-SN"}, {"VA", "21.10.1"}})});
  std::string path = WritePackageFile(machine.directory(), "s2_21.10.1.pkg", plan);

  DeviceRecord device = machine.Device(0);
  EXPECT_EQ(InstallPackageFile(device, path), 1);

  EXPECT_EQ(ReadNvramItem(title, 6).data, MainFirmware(7));
  EXPECT_EQ(ReadNvramItem(title, 3).data, BootImage(8));
  VpdIdentity identity = IdentityOf(title);
  EXPECT_EQ(identity.pn, "SKY-S2-25D");
  EXPECT_EQ(identity.mn, "1D6A");
  EXPECT_EQ(identity.sn, "NV1");
  EXPECT_EQ(identity.ec, "A03");      // absent from the package: added back
  EXPECT_EQ(identity.va, "21.10.1");  // not an identity keyword
  NvramItemCopy vpd = ReadNvramItem(title, 5);
  EXPECT_EQ(ValidateVpd(ByteView(vpd.data).subspan(4)), 0);

  EXPECT_EQ(
      machine.TraceLinesWith(path + ": Successfully installed 3 of 3 packaged items.\n").size(),
      1u);
  const std::string label = "Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter";
  std::vector<Event> events = machine.Events();
  ASSERT_EQ(events.size(), 3u);
  const std::pair<uint32_t, std::string> expected[] = {
      {kEventCurrentVersion, "QVFWUPG : " + label + " : Current Firmware version : 21.6.2\n"},
      {kEventAction, "QVFWUPG : " + label + " : Upgrading to Firmware version : 21.10.1\n"},
      {kEventInstallSucceeded,
       "QVFWUPG : " + label +
           " :  s2_21.10.1.pkg: Successfully installed 3 of 3 packaged items.\n"},
  };
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].id, expected[i].first);
    EXPECT_EQ(events[i].strings, std::vector<std::string>{expected[i].second});
    EXPECT_EQ(events[i].type, 4);  // information, whatever the identifier
    EXPECT_EQ(events[i].category, 1);
    EXPECT_EQ(events[i].source, "Norvane");
  }
}

TEST(Install, AnEmptyKeywordIsNotWrittenBack) {
  nlohmann::json adapter = S2Adapter("a0", "NV1", "21.6.2");
  adapter["vpd"]["read_only"].erase("SN");
  SimulatedMachine machine({adapter});
  tool::PackagePlan plan = S2Package("21.10.1");
  plan.items.push_back({.type = 5,
                        .item_length = 1024,
                        .data = VpdItem(kS2Identifier, {{"PN", "SKY-S2-XXX"}, {"SN", "PKG-SN"}})});
  std::string path = WritePackageFile(machine.directory(), "p.pkg", plan);
  DeviceRecord device = machine.Device(0);
  ASSERT_EQ(InstallPackageFile(device, path), 1);
  VpdIdentity identity = IdentityOf(SimulatedMachine::Title("a0"));
  EXPECT_EQ(identity.sn, "PKG-SN");
  EXPECT_EQ(identity.pn, "SKY-S2-25D");
}

// The firmware replaces the adapter's VPD with the package's; a VPD item with
// no room for the adapter's serial number once made the serial vanish while
// the install reported success. It is refused before anything is sent.
TEST(Install, RefusesAPackageWhoseVpdItemCannotHoldTheIdentity) {
  const std::string serial = "NV2419A00731";
  SimulatedMachine machine({S2Adapter("a0", serial, "21.6.2")});
  const std::string title = SimulatedMachine::Title("a0");
  tool::PackagePlan plan = S2Package("21.10.1");
  // RV holds only its checksum byte: "X" cannot grow into 12 characters.
  plan.items.push_back({.type = 5,
                        .item_length = 1024,
                        .data = VpdItem(kS2Identifier, {{"PN", "SKY-S2-25D"}, {"SN", "X"}}, 1)});
  const std::string vpd_item_number = std::to_string(plan.items.size());
  std::string path = WritePackageFile(machine.directory(), "small-vpd.pkg", plan);
  const Bytes vpd_before = ReadNvramItem(title, 5).data;

  DeviceRecord device = machine.Device(0);
  EXPECT_EQ(InstallPackageFile(device, path), 106);

  EXPECT_EQ(ReadNvramItem(title, 5).data, vpd_before);
  EXPECT_EQ(IdentityOf(title).sn, serial);
  EXPECT_EQ(ReadNvramItem(title, 6).data, MainFirmware(2));
  EXPECT_EQ(
      machine.TraceLinesWith("Package " + path + " not installed: the adapter's identity").size(),
      1u);
  const std::string error =
      ": Install error INSUFFICIENT_SPACE with packaged item #" + vpd_item_number + "\n";
  EXPECT_EQ(machine.TraceLinesWith(path + error).size(), 1u);
  std::vector<Event> events = machine.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, kEventInstallFailed);
  EXPECT_EQ(events[0].strings[0],
            "Error : QVFWUPG : " + std::string(kS2Identifier) + " : " + path + error);
}

TEST(Install, ZeroInstalledItemsGivesThePlainMessage) {
  SimulatedMachine machine({S2Adapter("a0", "NV1", "21.6.2")});
  tool::PackagePlan plan = S2Package("21.6.2");
  plan.items.clear();
  std::string path = WritePackageFile(machine.directory(), "empty.pkg", plan);
  DeviceRecord device = machine.Device(0);
  EXPECT_EQ(InstallPackageFile(device, path), 1);
  EXPECT_EQ(machine.TraceLinesWith(path + ": Successfully installed package\n").size(), 1u);
  std::vector<Event> events = machine.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_NE(events[1].strings[0].find(": Rewriting Firmware version : 21.6.2\n"),
            std::string::npos);
  EXPECT_EQ(events[2].id, kEventInstallSucceeded);
  EXPECT_NE(events[2].strings[0].find(" : empty.pkg: Successfully installed package\n"),
            std::string::npos);
}

TEST(Install, RefusedByTheFirmware) {
  struct Case {
    int result;
    int problem_item;
    std::string trace;
    std::string event;
  } cases[] = {
      {0xEB, 1, ": Install error INVALID_SIGNATURE with packaged item #2\n",
       ": Install error INVALID_SIGNATURE with packaged item #2\n"},
      {0xEB, 0xFF, ": Install error INVALID_SIGNATURE\n", ": Install error INVALID_SIGNATURE\n"},
      // A result byte above 0 names no status; it once came back as "5 items
      // installed" while the adapter kept its old firmware.
      {5, 0xFF, ": Install error FAILURE\n", ": Install error FAILURE\n"},
      {5, 0, ": Install error FAILURE with packaged item #1\n",
       ": Install error FAILURE with packaged item #1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "result " << c.result << ", item " << c.problem_item);
    nlohmann::json adapter = S2Adapter("a0", "NV1", "21.6.2");
    adapter["faults"] = {
        {"install_refusal", {{"result", c.result}, {"problem_item", c.problem_item}}}};
    SimulatedMachine machine({adapter});
    std::string path = WritePackageFile(machine.directory(), "p.pkg", S2Package("22.1.0"));
    DeviceRecord device = machine.Device(0);
    EXPECT_EQ(InstallPackageFile(device, path), 106);
    EXPECT_EQ(machine.TraceLinesWith(path + c.trace).size(), 1u);
    std::vector<Event> events = machine.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].id, kEventInstallFailed);
    EXPECT_EQ(events[2].type, 4);
    EXPECT_EQ(events[2].strings[0],
              "Error : QVFWUPG : Norvane Skyline S2 Dual Port 25GbE SFP28 "
              "Adapter : " +
                  path + c.event);
    // Nothing of the package reached the adapter's items.
    EXPECT_EQ(ReadNvramItem(SimulatedMachine::Title("a0"), 6).data, MainFirmware(2));
  }
}

}  // namespace
}  // namespace skyfw::testing
