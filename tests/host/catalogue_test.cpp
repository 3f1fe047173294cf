#include "host/catalogue.h"

#include <gtest/gtest.h>

#include "host/library_state.h"
#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::TempDir;
using testing::WriteFile;

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { Library() = LibraryState{}; }
  void TearDown() override { Library() = LibraryState{}; }
  TempDir dir_;
};

TEST_F(CatalogueTest, KeyIsUpperCaseHexOfAtLeastFourDigits) {
  EXPECT_EQ(CatalogueKey(0x1A2B, 0x0C3D), "1A2B-0C3D");
  EXPECT_EQ(CatalogueKey(0xB, 0x12345), "000B-12345");
}

TEST_F(CatalogueTest, ReadsFirstNicOfEachChildUpperCasingTheIds) {
  WriteFile(dir_.File("NICFWData.xml"), R"(<?xml version="1.0"?>
<nic_fw_package>
  <a><nic name="First" devid="1a2b" subdevid="0c3d" nvm="21.6.3" nvmFile="one.pkg"/>
     <nic name="Second of the same child" devid="1111" subdevid="2222"/></a>
  <b><nic name="Duplicate key" devid="1A2B" subdevid="0C3D"/></b>
  <c><nic name="Hex prefix" devid="0x1a2b" subdevid="0c3d"/></c>
  <nic name="Directly under the root" devid="3333" subdevid="4444"/>
  <d><other/></d>
  <e><nic/></e>
</nic_fw_package>)");
  ASSERT_EQ(do_discover_with_qvfwdata(dir_.path()), kHostSuccess);
  EXPECT_TRUE(CatalogueLoaded());

  const CatalogueEntry* entry = CatalogueLookup(CatalogueKey(0x1A2B, 0x0C3D));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->name, "First");
  EXPECT_EQ(entry->devid, "1A2B");
  EXPECT_EQ(entry->nvm, "21.6.3");
  EXPECT_EQ(entry->nvmFile, "one.pkg");
  EXPECT_EQ(CatalogueLookup("1111-2222"), nullptr);
  EXPECT_EQ(CatalogueLookup("3333-4444"), nullptr);
  EXPECT_NE(CatalogueLookup("0X1A2B-0C3D"), nullptr);
  // An entry without attributes still counts, under "-".
  EXPECT_NE(CatalogueLookup("-"), nullptr);
}

TEST_F(CatalogueTest, EarlierEntriesSurviveLaterCatalogues) {
  WriteFile(dir_.File("NICFWData.xml"),
            R"(<nic_fw_package><a><nic name="Old" devid="0B10" subdevid="0001"/></a>
               </nic_fw_package>)");
  ASSERT_EQ(do_discover_with_qvfwdata(dir_.path()), kHostSuccess);
  TempDir second;
  WriteFile(second.File("NICFWData.xml"),
            R"(<nic_fw_package><a><nic name="New" devid="0B10" subdevid="0001"/></a>
               <b><nic name="Other" devid="0B04" subdevid="0002"/></b></nic_fw_package>)");
  ASSERT_EQ(do_discover_with_qvfwdata(second.path()), kHostSuccess);
  EXPECT_EQ(CatalogueLookup("0B10-0001")->name, "Old");
  EXPECT_EQ(CatalogueLookup("0B04-0002")->name, "Other");

  // A later directory without a catalogue leaves the flag and the entries.
  TempDir empty;
  EXPECT_EQ(do_discover_with_qvfwdata(empty.path()), kHostDiscoveryFileNotAccessible);
  EXPECT_TRUE(CatalogueLoaded());
}

TEST_F(CatalogueTest, RefusalsLeaveTheFlagClear) {
  struct Case {
    const char* file_name;
    const char* text;
  };
  const Case cases[] = {
      {"nicfwdata.xml", "<nic_fw_package/>"},   // name differs in case only
      {"NICFWData.xml", "<nic_fw_package>"},    // not well-formed
      {"NICFWData.xml", "<nic_fw_packages/>"},  // other root
      {"NICFWData.xml", ""},                    // empty file
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir.File(c.file_name), c.text);
    EXPECT_EQ(do_discover_with_qvfwdata(dir.path()), kHostDiscoveryFileNotAccessible)
        << c.file_name << ": " << c.text;
    EXPECT_FALSE(CatalogueLoaded());
  }
  EXPECT_EQ(do_discover_with_qvfwdata(dir_.File("missing")), kHostDiscoveryFileNotAccessible);
}

TEST_F(CatalogueTest, NicElementsOnlyUnderTheRootStillLoad) {
  WriteFile(dir_.File("NICFWData.xml"),
            R"(<nic_fw_package><nic devid="0B10" subdevid="0001"/></nic_fw_package>)");
  EXPECT_EQ(do_discover_with_qvfwdata(dir_.path()), kHostSuccess);
  EXPECT_TRUE(CatalogueLoaded());
  EXPECT_TRUE(Library().catalogue.empty());
}

// Each document parses (an external entity cannot stand in an attribute
// value at all, so a document with one there never reached the entity
// handling); with the entity expanded or the external DTD read, the name
// would be "secret".
TEST_F(CatalogueTest, ExternalEntitiesAreNotFetched) {
  WriteFile(dir_.File("secret.txt"), "secret");
  WriteFile(dir_.File("defaults.dtd"), "<!ATTLIST nic name CDATA \"secret\">");
  const std::string nic = " devid=\"1\" subdevid=\"2\"";
  struct Case {
    const char* what;
    std::string document;
  } cases[] = {
      {"an entity in the name",
       "<!DOCTYPE nic_fw_package [<!ENTITY s \"secret\">]><nic_fw_package><a><nic name=\"&s;\"" +
           nic + "/></a></nic_fw_package>"},
      {"an external entity beside it",
       "<!DOCTYPE nic_fw_package [<!ENTITY x SYSTEM \"" + dir_.File("secret.txt") +
           "\"><!ENTITY s \"secret\">]><nic_fw_package><a><nic name=\"&s;\"" + nic +
           ">&x;</nic></a></nic_fw_package>"},
      {"a name defaulted by an external DTD",
       "<!DOCTYPE nic_fw_package SYSTEM \"" + dir_.File("defaults.dtd") +
           "\"><nic_fw_package><a><nic" + nic + "/></a></nic_fw_package>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Library() = LibraryState{};
    WriteFile(dir_.File("NICFWData.xml"), c.document);
    EXPECT_EQ(do_discover_with_qvfwdata(dir_.path()), kHostSuccess);
    ASSERT_TRUE(CatalogueLoaded());
    const CatalogueEntry* entry = CatalogueLookup("1-2");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->name, "");
  }
}

}  // namespace
}  // namespace skyfw
