// The plug-in end to end on the demo machine, choosing packages from the
// demo firmware directory (no catalogue is ever loaded in this program).

#include <cstring>
#include <vector>

#include "package/vpd.h"
#include "os/file_names.h"
#include "plugin_host.h"
#include "sim/driver/nvram_file.h"

namespace skyfw::testing {
namespace {

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

std::string DeviceBlock(const char* id, const char* devid, const char* subdevid,
                        const char* product, const char* bus, const char* mac, const char* file,
                        const char* version, const char* active, const char* action) {
  std::string block = Lines({"    <device>"});
  auto value = [&block](int blanks, const char* name, const std::string& v) {
    block += std::string(blanks, ' ') + "<" + name + " value=\"" + v + "\" />\r\n";
  };
  value(6, "device_id", id);
  value(6, "nictype", "NVC61200");
  value(6, "venid", "1D6A");
  value(6, "devid", devid);
  value(6, "subvenid", "1D6A");
  value(6, "subdevid", subdevid);
  value(6, "product_id", product);
  value(6, "segment", "0000");
  value(6, "busnumber", bus);
  value(6, "devicenumber", "0000");
  value(6, "funcnumber", "0000");
  value(6, "slotnumber", "00000000");
  value(6, "macaddress", mac);
  block += "      <fw_item>\r\n";
  value(8, "type", "nvm");
  value(8, "firmware_id", "");
  value(8, "firmware_file", file);
  value(8, "version", version);
  value(8, "active_version", active);
  value(8, "action", action);
  value(8, "action_status", "");
  value(8, "duration", "60");
  value(8, "message", "");
  value(8, "shared", "no");
  block += "      </fw_item>\r\n    </device>\r\n";
  return block;
}

// The demo machine: three Skyline adapters under the current driver (the S2
// with two ports, an S1 with two ports sharing one identity key, a second S1
// on older firmware), one under the legacy driver and other makers' devices,
// which are not listed.
std::string DemoDiscovery(const char* s2_active, const char* s1_active, const char* s1b_active,
                          const char* s2_action, const char* s1_action, const char* s1b_action) {
  return Lines(
             {R"(<?xml version="1.0" encoding="UTF-8"?>)",
              R"(<qv_rom_discovery version="2.0.0.0">)", R"(  <type value="" />)",
              R"(  <alt_name value="Kandor Norvane Skyline Online Firmware Upgrade Utility for Windows x64" />)",
              R"(  <version value="" />)", R"(  <takes_effect value="deferred" />)",
              R"(  <devices>)"}) +
         DeviceBlock("0000:03:00:0", "0B10", "0001",
                     "Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter", "0003", "020A3B1C2D4E",
                     "skyline-s2-21.8.0.pkg", "21.8.0", s2_active, s2_action) +
         DeviceBlock("0000:05:00:0", "0B04", "0002", "Norvane Skyline S1 10GbE SFP+ Adapter",
                     "0005", "020A3B556010", "skyline-s1-20.6.1.pkg", "20.6.1", s1_active,
                     s1_action) +
         DeviceBlock("0000:08:00:0", "0B04", "0002", "Norvane Skyline S1 10GbE SFP+ Adapter",
                     "0008", "020A3B718C20", "skyline-s1-20.6.1.pkg", "20.6.1", s1b_active,
                     s1b_action) +
         Lines({"  </devices>", "</qv_rom_discovery>"});
}

using HostE2eTest = PluginTest;

TEST_F(HostE2eTest, GoldenDiscoveryThenFlashThenDiscoveryAgain) {
  std::string discovery = dir_.File("discovery.xml");
  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  EXPECT_EQ(ReadFile(discovery),
            DemoDiscovery("21.6.2", "20.4.1", "20.2.0", "upgrade", "upgrade", "upgrade"));

  ASSERT_EQ(Flash(discovery, DemoFirmware()), 1);
  std::string request = ReadFile(discovery);
  EXPECT_NE(request.find("<takes_effect value=\"immediate\"/>"), std::string::npos);
  size_t first = request.find("<action_status value=\"1\"/>");
  ASSERT_NE(first, std::string::npos) << request;
  EXPECT_NE(request.find("<action_status value=\"1\"/>", first + 1), std::string::npos);

  // A second discovery overwrites the first document.
  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  EXPECT_EQ(ReadFile(discovery),
            DemoDiscovery("21.8.0", "20.6.1", "20.6.1", "rewrite", "rewrite", "rewrite"));
}

TEST_F(HostE2eTest, InstallerVersionFromThePackageDescriptor) {
  TempDir current;
  WriteFile(current.File("aKB.xml"), "<kbx_package><version value=\"9\"/></kbx_package>");
  WriteFile(current.File("KB4711.xml"),
            R"(<kbx_package><version/><version value="2.10" revision="B"/></kbx_package>)");
  std::string previous = std::filesystem::current_path().string();
  std::filesystem::current_path(current.path());
  int32_t result = Discover(dir_.File("d.xml"), DemoFirmware());
  std::filesystem::current_path(previous);
  ASSERT_EQ(result, 0);
  EXPECT_NE(ReadFile(dir_.File("d.xml")).find("  <version value=\"2.10B\" />\r\n"),
            std::string::npos);
}

TEST_F(HostE2eTest, DirectoryFrameResults) {
  std::string discovery = dir_.File("discovery.xml");
  // Spelt with the platform's separator: the package's base name is cut at it.
  std::string package = DemoFirmware() + platform::kPathSeparator + "skyline-s2-21.8.0.pkg";
  // A discovery needs a directory; a flash also takes a single file.
  EXPECT_EQ(Discover(discovery, package), 8);
  EXPECT_FALSE(std::filesystem::exists(discovery));
  EXPECT_EQ(Discover(discovery, dir_.File("missing")), 8);
  EXPECT_EQ(Discover(dir_.File("no/such/dir/d.xml"), DemoFirmware()), 12);

  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  EXPECT_EQ(Flash(discovery, package), 8);  // the S1's package is not that file
  std::string request = ReadFile(discovery);
  EXPECT_NE(request.find("<action_status value=\"1\"/>"), std::string::npos);
  EXPECT_EQ(request.find("<action_status value=\"106\"/>"), std::string::npos);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST_F(HostE2eTest, FlashStatusesOfSkipMissingAndFailed) {
  std::string discovery = dir_.File("discovery.xml");
  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  std::string document = ReadFile(discovery);

  // S2 skipped (upper case), the first S1 given a package of another device:
  // 106; the second S1 skipped too.
  std::string request =
      Replace(document, "<action value=\"upgrade\" />", "<action value=\"SKIP\" />");
  request = Replace(request, "skyline-s1-20.6.1.pkg", "acme-165f-1.2.0.pkg");
  size_t second_s1 = request.find("0000:08:00:0");
  ASSERT_NE(second_s1, std::string::npos);
  request = request.substr(0, second_s1) + Replace(request.substr(second_s1),
                                                   "<action value=\"upgrade\" />",
                                                   "<action value=\"skip\" />");
  WriteFile(discovery, request);
  EXPECT_EQ(Flash(discovery, DemoFirmware()), 106);
  std::string answered = ReadFile(discovery);
  EXPECT_NE(answered.find("<action_status value=\"106\"/>"), std::string::npos);
  EXPECT_EQ(answered.find("<action_status value=\"1\"/>"), std::string::npos);

  // A package that is not there: 8, status untouched; the next call whose
  // installation succeeds reports its own success.
  WriteFile(discovery, Replace(document, "skyline-s2-21.8.0.pkg", "gone.pkg"));
  EXPECT_EQ(Flash(discovery, DemoFirmware()), 8);
  answered = ReadFile(discovery);
  EXPECT_NE(answered.find("<action_status value=\"\"/>"), std::string::npos);
  EXPECT_NE(answered.find("<action_status value=\"1\"/>"), std::string::npos);

  WriteFile(discovery, document);
  EXPECT_EQ(Flash(discovery, DemoFirmware()), 1);
}

TEST_F(HostE2eTest, UnreadableRequestsAreLeftAsTheyWere) {
  std::string discovery = dir_.File("discovery.xml");
  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  std::string document = ReadFile(discovery);
  const std::string requests[] = {
      Replace(Replace(document, "<qv_rom_discovery ", "<qv_rom_discovery_x "),
              "</qv_rom_discovery>", "</qv_rom_discovery_x>"),
      Replace(Replace(document, "<devices>", "<device_list>"), "</devices>", "</device_list>"),
      document.substr(0, document.size() / 2),
  };
  for (const std::string& request : requests) {
    WriteFile(discovery, request);
    EXPECT_EQ(Flash(discovery, DemoFirmware()), 11);
    EXPECT_EQ(ReadFile(discovery), request);
  }
}

TEST_F(HostE2eTest, PciRequests) {
  std::string s2_downgrade =
      DemoFirmware() + platform::kPathSeparator + "skyline-s2-old-21.2.0.pkg";
  auto full_flash = [&](const std::string& package, int32_t segment, int32_t bus) {
    return api().fullFlashPci(U16(package).c_str(), nullptr, segment, bus, 0, 0);
  };
  EXPECT_EQ(full_flash(s2_downgrade, 0, 3), 1);
  EXPECT_EQ(full_flash(dir_.File("missing.pkg"), 0, 3), 106);
  EXPECT_EQ(full_flash(s2_downgrade, 1, 3), 102);  // nothing at these numbers
  EXPECT_EQ(full_flash(s2_downgrade, 0, 6), 102);  // the S1's second port is not listed

  std::string discovery = dir_.File("d.xml");
  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  EXPECT_NE(ReadFile(discovery).find("<active_version value=\"21.2.0\" />"), std::string::npos);

  auto dump = [&](const std::string& path, int32_t bus) {
    return api().flashDumpPci(U16(path).c_str(), nullptr, 0, bus, 0, 0);
  };
  std::string backup = dir_.File("backup.pkg");
  EXPECT_EQ(dump(dir_.File("no/dir/backup.pkg"), 3), -101);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("no")));
  EXPECT_EQ(dump(backup, 9), 102);
  EXPECT_FALSE(std::filesystem::exists(backup));
  // The S2 is found and backed up whole.
  EXPECT_EQ(dump(backup, 3), 0);
  EXPECT_TRUE(std::filesystem::exists(backup));
}

TEST_F(HostE2eTest, AdapterArray) {
  std::u16string firmware = U16(DemoFirmware());
  int32_t count = -1;
  EXPECT_EQ(api().adapterInfo(nullptr, &count, firmware.c_str()), 0);
  EXPECT_EQ(count, 3);

  std::vector<OemAdapterInfoElement> elements(4);
  std::memset(elements.data(), 0xEE, elements.size() * sizeof(OemAdapterInfoElement));
  std::vector<OemAdapterInfoElement> before = elements;
  EXPECT_EQ(api().adapterInfo(elements.data(), nullptr, firmware.c_str()), 102);
  EXPECT_EQ(std::memcmp(elements.data(), before.data(), elements.size() * sizeof(elements[0])), 0);

  count = 0;
  ASSERT_EQ(api().adapterInfo(elements.data(), &count, firmware.c_str()), 0);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(TextFieldOf(elements[0].interfaceText), u"0000:03:00:0");
  EXPECT_EQ(TextFieldOf(elements[1].interfaceText), u"0000:05:00:0");
  EXPECT_EQ(elements[1].deviceId, 0x0B04u);
  EXPECT_EQ(elements[1].busNumber, 5u);
  EXPECT_EQ(TextFieldOf(elements[1].macAddress), u"020A3B556010");
  EXPECT_EQ(elements[1].firmwareCount, 1u);
  EXPECT_EQ(TextFieldOf(elements[1].firmware[0].firmwareFile), u"skyline-s1-20.6.1.pkg");
  EXPECT_EQ(elements[1].firmware[0].currentMinor, 4u);
  EXPECT_EQ(elements[1].firmware[0].imageMinor, 6u);
  EXPECT_EQ(TextFieldOf(elements[2].interfaceText), u"0000:08:00:0");
  EXPECT_EQ(elements[2].firmware[0].currentMinor, 2u);
  // The fourth element is the host's own memory.
  EXPECT_EQ(std::memcmp(&elements[3], &before[3], sizeof(elements[3])), 0);

  EXPECT_EQ(api().adapterInfo(nullptr, &count, U16(dir_.File("missing")).c_str()), 8);
}

sim::NvramImage DemoNvram(const std::string& machine, const std::string& adapter) {
  std::string bytes = ReadFile(machine + "/nvram/" + adapter + ".nvram");
  sim::NvramFile file;
  std::string error;
  EXPECT_TRUE(sim::DecodeNvramFile(
      ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), file, error))
      << adapter << ": " << error;
  return file.nvram;
}

// A backup of the first S1 (05:00.0), installed on the second (08:00.0): the
// second's NVRAM becomes the first's, apart from what the firmware and the
// installer keep of the second adapter: its serial number and engineering
// change level, and the record the firmware adds to the package log.
TEST_F(HostE2eTest, BackupOfOneS1InstalledOntoTheOtherGivesItTheSameNvram) {
  std::string discovery = dir_.File("d.xml");
  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  EXPECT_EQ(ReadFile(discovery),
            DemoDiscovery("21.6.2", "20.4.1", "20.2.0", "upgrade", "upgrade", "upgrade"));

  std::string backup = dir_.File("nx1.pkg");
  ASSERT_EQ(api().flashDumpPci(U16(backup).c_str(), nullptr, 0, 5, 0, 0), 0);
  ASSERT_EQ(api().fullFlashPci(U16(backup).c_str(), nullptr, 0, 8, 0, 0), 1);

  sim::NvramImage source = DemoNvram(host_->machine(), "nx1");
  sim::NvramImage target = DemoNvram(host_->machine(), "nx2");
  ASSERT_EQ(target.items.size(), source.items.size());
  for (size_t i = 0; i < source.items.size(); ++i) {
    const sim::NvramItem& want = source.items[i];
    const sim::NvramItem& got = target.items[i];
    SCOPED_TRACE(want.type);
    EXPECT_EQ(got.type, want.type);
    EXPECT_EQ(got.ordinal, want.ordinal);
    EXPECT_EQ(got.ext, want.ext);
    EXPECT_EQ(got.attr, want.attr);
    EXPECT_EQ(got.item_length, want.item_length);
    std::vector<uint8_t> want_data = want.data;
    if (want.type == sim::kItemTypePackageLog) {
      ASSERT_GT(got.data.size(), want_data.size());
      EXPECT_TRUE(std::equal(want_data.begin(), want_data.end(), got.data.begin()));
      std::string record(got.data.begin() + static_cast<ptrdiff_t>(want_data.size()),
                         got.data.end());
      EXPECT_NE(record.find("\t20.4.1\t"), std::string::npos) << record;
      continue;
    }
    if (want.type == sim::kItemTypeVpd) {
      std::span<uint8_t> proper = std::span<uint8_t>(want_data).subspan(4);
      auto text = [](const char* value) {
        return ByteView(reinterpret_cast<const uint8_t*>(value), std::strlen(value));
      };
      ASSERT_EQ(SetVpdKeyword(proper, kVpdReadOnly, "SN", text("NV2402B00318")), 0);
      ASSERT_EQ(SetVpdKeyword(proper, kVpdReadOnly, "EC", text("B02")), 0);
      ASSERT_EQ(UpdateVpdChecksum(proper), 0);
    }
    EXPECT_EQ(got.data, want_data);
  }

  // The next discovery sees the second S1 at the first one's version.
  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  EXPECT_EQ(ReadFile(discovery),
            DemoDiscovery("21.6.2", "20.4.1", "20.4.1", "upgrade", "upgrade", "upgrade"));
}

// Last in this program: tracing stays on once switched on.
TEST_F(HostE2eTest, TraceOfAWholeDiscovery) {
  std::string trace = dir_.File("trace.log");
  EXPECT_EQ(api().debugInfo(U16(trace).c_str()), 0);
  ASSERT_EQ(Discover(dir_.File("d.xml"), DemoFirmware()), 0);
  std::string log = ReadFile(trace);
  const char* expected_in_order[] = {
      "Enter oem_do_discovery_with_files:\n\r\n",
      "VA VALUE:21.6.2\n\r\n",
      "NVM VER VAL:21.6.2 LEN :6\n\r\n",
      "VA VALUE:20.4.1\n\r\n",
  };
  size_t at = 0;
  for (const char* line : expected_in_order) {
    size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << log;
    at = found;
  }
  EXPECT_EQ(log.find("Leave oem_do_discovery_with_files"), std::string::npos);
  EXPECT_EQ(log.rfind(" [QVFWUPG LIB :", 0), 0u);

  EXPECT_EQ(Flash(dir_.File("d.xml"), dir_.File("missing")), 8);
  log = ReadFile(trace);
  EXPECT_NE(log.find("[QVFWUPG LIB :DEBUG] "), std::string::npos);
  EXPECT_NE(log.find("oem_do_flash_with_file(): invalid path " + dir_.File("missing") + ".\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace skyfw::testing
