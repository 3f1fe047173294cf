// The plug-in end to end with a firmware catalogue. Catalogue entries stay
// loaded for the life of the plug-in, so this program reads one catalogue.
#include "plugin_host.h"

namespace skyfw::testing {
namespace {

class HostE2eCatalogueTest : public PluginTest {
 protected:
  // The demo catalogue firmware, with an S2 product name that needs escaping.
  std::string MakeFirmware() {
    std::string firmware = dir_.File("firmware");
    std::filesystem::copy(DemoCatalogueFirmware(), firmware);
    WriteFile(firmware + "/NICFWData.xml", R"(<?xml version="1.0"?>
<nic_fw_package>
  <a><nic name="Skyline S2 &quot;R&amp;D&quot; &lt;25G&gt;" devid="0b10" subdevid="0001"
          nvm="21.8.0" nvmFile="skyline-s2-21.8.0.pkg"/></a>
  <b><nic name="Skyline S1" devid="0B04" subdevid="0002" nvmFile="skyline-s1-20.6.1.pkg"/></b>
</nic_fw_package>)");
    return firmware;
  }
};

TEST_F(HostE2eCatalogueTest, DiscoveryAndFlashWithTheCatalogue) {
  std::string firmware = MakeFirmware();
  std::string discovery = dir_.File("discovery.xml");
  ASSERT_EQ(Discover(discovery, firmware), 0);
  std::string document = ReadFile(discovery);
  // Catalogue names (escaped), file names as the catalogue gives them; the
  // S1's entry has no version, so neither version nor action.
  const char* expected[] = {
      "      <product_id value=\"Skyline S2 &quot;R&amp;D&quot; &lt;25G&gt;\" />\r\n"
      "      <segment value=\"0000\" />\r\n",
      "        <firmware_file value=\"skyline-s2-21.8.0.pkg\" />\r\n"
      "        <version value=\"21.8.0\" />\r\n"
      "        <active_version value=\"21.6.2\" />\r\n"
      "        <action value=\"upgrade\" />\r\n",
      "      <product_id value=\"Skyline S1\" />\r\n",
      "        <firmware_file value=\"skyline-s1-20.6.1.pkg\" />\r\n"
      "        <version value=\"\" />\r\n"
      "        <active_version value=\"20.4.1\" />\r\n"
      "        <action value=\"\" />\r\n",
  };
  for (const char* text : expected) EXPECT_NE(document.find(text), std::string::npos) << text;

  // The escaped document comes back readable: both items are installed.
  EXPECT_EQ(Flash(discovery, firmware), 1);
  std::string answered = ReadFile(discovery);
  size_t first = answered.find("<action_status value=\"1\"/>");
  ASSERT_NE(first, std::string::npos) << answered;
  EXPECT_NE(answered.find("<action_status value=\"1\"/>", first + 1), std::string::npos);

  // The catalogue stays in use for a directory without one.
  ASSERT_EQ(Discover(discovery, DemoFirmware()), 0);
  EXPECT_NE(ReadFile(discovery).find("<product_id value=\"Skyline S1\" />"), std::string::npos);

  // The adapter array (one element per adapter) names the model from the
  // catalogue.
  std::vector<OemAdapterInfoElement> elements(3);
  int32_t count = 0;
  ASSERT_EQ(api().adapterInfo(elements.data(), &count, U16(firmware).c_str()), 0);
  EXPECT_EQ(TextFieldOf(elements[1].adapterName), u"Skyline S1");
}

}  // namespace
}  // namespace skyfw::testing
