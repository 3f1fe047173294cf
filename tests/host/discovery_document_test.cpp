#include "host/discovery_document.h"

#include <gtest/gtest.h>

#include "host/library_state.h"
#include "os/file_names.h"
#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

DeviceRecord Record() {
  DeviceRecord record;
  record.segment = 0;
  record.bus = 0x1A0;
  record.vendorId = 0x1D6A;
  record.deviceId = 0xB10;
  record.subVendorId = 0x1D6A;
  record.subDeviceId = 1;
  record.pciLocation = "0000:1a0:00:0";
  record.macText = u"020A3B1C2D4E";
  record.productName = u"Skyline S2";
  // The document names the package by its base name, cut at this platform's separator.
  const std::string package =
      std::string(1, platform::kPathSeparator) + "fw" + platform::kPathSeparator + "s2.pkg";
  record.firmwareItems.push_back({"nvm", package, "Package 21.8.0", "VA 21.6.2", "upgrade"});
  return record;
}

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

class DiscoveryDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { Library() = LibraryState{}; }
  void TearDown() override { Library() = LibraryState{}; }
};

TEST_F(DiscoveryDocumentTest, OneDeviceByteForByte) {
  // Segment is bus >> 8; device_id keeps the record's own segment member.
  EXPECT_EQ(
      FormatDiscoveryDocument({Record()}, true, "2.10B"),
      Lines(
          {R"(<?xml version="1.0" encoding="UTF-8"?>)",
           R"(<qv_rom_discovery version="2.0.0.0">)",
           R"(  <type value="" />)",
           R"(  <alt_name value="Kandor Norvane Skyline Online Firmware Upgrade Utility for Windows x64" />)",
           R"(  <version value="2.10B" />)",
           R"(  <takes_effect value="deferred" />)",
           R"(  <devices>)",
           R"(    <device>)",
           R"(      <device_id value="0000:1a0:00:0" />)",
           R"(      <nictype value="NVC61200" />)",
           R"(      <venid value="1D6A" />)",
           R"(      <devid value="0B10" />)",
           R"(      <subvenid value="1D6A" />)",
           R"(      <subdevid value="0001" />)",
           R"(      <product_id value="Skyline S2" />)",
           R"(      <segment value="0001" />)",
           R"(      <busnumber value="01A0" />)",
           R"(      <devicenumber value="0000" />)",
           R"(      <funcnumber value="0000" />)",
           R"(      <slotnumber value="00000000" />)",
           R"(      <macaddress value="020A3B1C2D4E" />)",
           R"(      <fw_item>)",
           R"(        <type value="nvm" />)",
           R"(        <firmware_id value="" />)",
           R"(        <firmware_file value="s2.pkg" />)",
           R"(        <version value="21.8.0" />)",
           R"(        <active_version value="21.6.2" />)",
           R"(        <action value="upgrade" />)",
           R"(        <action_status value="" />)",
           R"(        <duration value="60" />)",
           R"(        <message value="" />)",
           R"(        <shared value="no" />)",
           R"(      </fw_item>)",
           R"(    </device>)",
           R"(  </devices>)",
           R"(</qv_rom_discovery>)"}));
}

TEST_F(DiscoveryDocumentTest, ValuesAreEscapedAndLongLinesKeptWhole) {
  DeviceRecord record = Record();
  // Tab, line feed and carriage return as references: written raw, a reader
  // would see blanks instead.
  record.productName = u"R&D <\"lab\"> 'x'\t\r\n";
  record.firmwareItems[0].version = "21.8.0a";  // ends in a letter: no version
  std::string text = FormatDiscoveryDocument({record}, true, std::string(2000, '9'));
  EXPECT_NE(
      text.find(
          R"(<product_id value="R&amp;D &lt;&quot;lab&quot;&gt; &apos;x&apos;&#9;&#13;&#10;" />)"),
      std::string::npos);
  EXPECT_NE(text.find("        <version value=\"\" />\r\n"), std::string::npos);
  EXPECT_NE(text.find("  <version value=\"" + std::string(2000, '9') + "\" />\r\n"),
            std::string::npos);
}

TEST_F(DiscoveryDocumentTest, CatalogueNameAndFileWhenLoaded) {
  Library().catalogueLoaded = true;
  CatalogueEntry entry;
  entry.name = "From the catalogue";
  Library().catalogue.emplace("0B10-0001", entry);
  DeviceRecord record = Record();
  record.firmwareItems[0].file = "s2-from-catalogue.pkg";
  std::string text = FormatDiscoveryDocument({record}, true, "");
  EXPECT_NE(text.find(R"(<product_id value="From the catalogue" />)"), std::string::npos);
  EXPECT_NE(text.find(R"(<firmware_file value="s2-from-catalogue.pkg" />)"), std::string::npos);
}

TEST_F(DiscoveryDocumentTest, WriteMarksItemsAndReplacesWholeOrNotAtAll) {
  TempDir dir;
  Library().inventory = {Record()};
  Library().inventory[0].firmwareItems[0].type.clear();
  std::string path = dir.File("discovery.xml");
  WriteFile(path, "old");
  ASSERT_TRUE(WriteDiscoveryDocument(path, true));
  EXPECT_EQ(Library().inventory[0].firmwareItems[0].type, "nvm");
  EXPECT_NE(ReadFile(path).find("<type value=\"nvm\" />"), std::string::npos);

  EXPECT_FALSE(WriteDiscoveryDocument(dir.File("missing/discovery.xml"), true));
  // Nothing is left beside a path that could not be written.
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

}  // namespace
}  // namespace skyfw
