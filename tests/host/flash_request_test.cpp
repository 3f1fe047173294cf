#include "host/flash_request.h"

#include <gtest/gtest.h>

#include <map>

#include "host/library_state.h"
#include "os/file_names.h"
#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Installs by looking the package's base name up in a table of results.
struct FakeInstaller {
  std::map<std::string, HostResultCode> results;
  std::vector<std::string> installed;
  PackageInstaller Function() {
    return [this](DeviceRecord&, const std::string& path) {
      installed.push_back(path);
      std::string name = path.substr(path.rfind(platform::kPathSeparator) + 1);
      auto found = results.find(name);
      return found == results.end() ? kHostFlashFailed : found->second;
    };
  }
};

std::string Item(const std::string& file, const std::string& action,
                 const std::string& status = "") {
  return "<fw_item><action value=\"" + action + "\"/><firmware_file value=\"" + file +
         "\"/><action_status value=\"" + status + "\"/></fw_item>";
}

std::string Document(const std::string& devices) {
  return "<qv_rom_discovery><takes_effect value=\"deferred\"/><devices>" + devices +
         "</devices></qv_rom_discovery>";
}

std::string Device(const std::string& id, const std::string& items) {
  return "<device><device_id value=\"" + id + "\"/>" + items + "</device>";
}

class FlashRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Library() = LibraryState{};
    for (const char* location : {"0000:03:00:0", "0000:05:00:0"}) {
      DeviceRecord record;
      record.pciLocation = location;
      Library().inventory.push_back(record);
    }
    WriteFile(firmware_.File("a.pkg"), "a");
    WriteFile(firmware_.File("b.pkg"), "b");
    installer_.results = {{"a.pkg", 1}, {"b.pkg", 106}};
  }
  void TearDown() override { Library() = LibraryState{}; }

  HostResultCode Run(const std::string& document) {
    WriteFile(request_, document);
    return ProcessFlashRequest(request_, firmware_.path(), installer_.Function());
  }
  std::string Status(size_t n) {
    std::string text = ReadFile(request_);
    size_t at = 0;
    for (size_t i = 0; i <= n; ++i) at = text.find("<action_status", at + 1);
    size_t value = text.find("value=\"", at) + 7;
    return text.substr(value, text.find('"', value) - value);
  }

  TempDir dir_;
  TempDir firmware_;
  std::string request_ = dir_.File("request.xml");
  FakeInstaller installer_;
};

TEST_F(FlashRequestTest, SkipInAnyCaseInstallsNothing) {
  EXPECT_EQ(
      Run(Document(Device("0000:03:00:0", Item("a.pkg", "SKIP", "old") + Item("a.pkg", "Skip") +
                                              Item("a.pkg", "skip")))),
      1);
  EXPECT_TRUE(installer_.installed.empty());
  EXPECT_EQ(Status(0), "old");
  std::string text = ReadFile(request_);
  EXPECT_NE(text.find("<takes_effect value=\"immediate\"/>"), std::string::npos);
}

TEST_F(FlashRequestTest, StatusesAndOutcomes) {
  // An empty action installs; a missing file leaves its status and gives 8.
  EXPECT_EQ(Run(Document(Device("0000:03:00:0",
                                Item("a.pkg", "") + Item("missing.pkg", "upgrade", "kept")))),
            8);
  EXPECT_EQ(Status(0), "1");
  EXPECT_EQ(Status(1), "kept");

  // A failed installation wins over a later success.
  EXPECT_EQ(Run(Document(Device("0000:03:00:0", Item("b.pkg", "upgrade")) +
                         Device("0000:05:00:0", Item("a.pkg", "upgrade")))),
            106);
  EXPECT_EQ(Status(0), "106");
  EXPECT_EQ(Status(1), "1");

  // Each call reports its own installations, whatever an earlier call ended with.
  EXPECT_EQ(Run(Document(Device("0000:05:00:0", Item("a.pkg", "upgrade")))), 1);
}

TEST_F(FlashRequestTest, UnknownDeviceAndCaseOfItsIdLeaveItemsAlone) {
  // Nothing was installed on the devices asked for: not a success (the fault
  // sweep saw 1 reported when a failed property read hid the device).
  EXPECT_EQ(Run(Document(Device("0000:3B:00:0", Item("a.pkg", "upgrade", "old")) +
                         Device("0000:09:00:0", Item("a.pkg", "upgrade", "old")))),
            kHostHardwareNotAccessible);
  EXPECT_TRUE(installer_.installed.empty());
  EXPECT_EQ(Status(0), "old");
  EXPECT_EQ(Status(1), "old");

  // An unknown device whose items are all skipped asks for nothing.
  EXPECT_EQ(Run(Document(Device("0000:09:00:0", Item("a.pkg", "skip")) +
                         Device("0000:03:00:0", Item("a.pkg", "upgrade")))),
            1);
}

TEST_F(FlashRequestTest, SingleFileFirmwarePath) {
  WriteFile(request_, Document(Device("0000:03:00:0", Item("a.pkg", "upgrade") +
                                                          Item("b.pkg", "upgrade", "kept"))));
  EXPECT_EQ(ProcessFlashRequest(request_, firmware_.File("a.pkg"), installer_.Function()), 8);
  ASSERT_EQ(installer_.installed.size(), 1u);
  EXPECT_EQ(installer_.installed[0], firmware_.File("a.pkg"));
  EXPECT_EQ(Status(1), "kept");
}

TEST_F(FlashRequestTest, UnusableFirmwarePathGivesStatusNine) {
  WriteFile(request_, Document(Device("0000:03:00:0", Item("a.pkg", "upgrade"))));
  EXPECT_EQ(ProcessFlashRequest(request_, dir_.File("gone"), installer_.Function()), 1);
  EXPECT_EQ(Status(0), "9");
}

TEST_F(FlashRequestTest, RefusedDocumentsAreLeftUntouched) {
  const std::string documents[] = {
      "<qv_rom_discovery><devices>",                                              // not well-formed
      "<qv_rom_discovery_extra><devices/></qv_rom_discovery_extra>",              // other root
      "<qv_rom_discovery><takes_effect value=\"deferred\"/></qv_rom_discovery>",  // no devices
      "",
  };
  for (const std::string& document : documents) {
    EXPECT_EQ(Run(document), kHostDiscoveryFileNotAccessible) << document;
    EXPECT_EQ(ReadFile(request_), document);
  }
  EXPECT_EQ(ProcessFlashRequest(dir_.File("none.xml"), firmware_.path(), installer_.Function()),
            kHostDiscoveryFileNotAccessible);
}

TEST_F(FlashRequestTest, MissingTakesEffectIsAppended) {
  WriteFile(request_, "<qv_rom_discovery><devices/></qv_rom_discovery>");
  EXPECT_EQ(ProcessFlashRequest(request_, firmware_.path(), installer_.Function()), 1);
  EXPECT_NE(ReadFile(request_).find("<takes_effect value=\"immediate\"/>\n</qv_rom_discovery>"),
            std::string::npos);
}

}  // namespace
}  // namespace skyfw
