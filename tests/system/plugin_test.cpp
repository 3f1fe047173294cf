#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "os/process_facts.h"
#include "os/shared_library.h"
#include "base/unicode.h"
#include "skyfw/oem.h"
#include "support/child_process.h"
#include "support/plugin_api.h"
#include "support/temp_dir.h"

extern "C" int skyfw_test_c_element_size(void);

namespace {

using skyfw::testing::ErrorOutput;
using skyfw::testing::PluginApi;
using skyfw::testing::ProgramRun;
using skyfw::testing::ReadFile;
using skyfw::testing::RunProgram;
using skyfw::testing::TempDir;

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(plugin_.Open(SKYFW_PLUGIN_PATH, error)) << error;
    text_for_error_code_ = reinterpret_cast<decltype(PluginApi::textForErrorCode)>(
        plugin_.Find("oem_text_for_error_code"));
    get_debug_info_ =
        reinterpret_cast<decltype(PluginApi::debugInfo)>(plugin_.Find("oem_get_debug_info"));
    ASSERT_NE(text_for_error_code_, nullptr);
    ASSERT_NE(get_debug_info_, nullptr);
  }
  skyfw::platform::SharedLibrary plugin_;
  decltype(PluginApi::textForErrorCode) text_for_error_code_ = nullptr;
  decltype(PluginApi::debugInfo) get_debug_info_ = nullptr;
};

// The element's texts are in the same unit as the entry points' (on Windows
// WCHAR), so a host fills and reads them without a cast.
template <typename Field>
constexpr bool kIsHostText = std::is_same_v<std::remove_all_extents_t<Field>, OemChar16>;
static_assert(kIsHostText<decltype(OemAdapterInfoElement::adapterName)>);
static_assert(kIsHostText<decltype(OemAdapterInfoElement::interfaceText)>);
static_assert(kIsHostText<decltype(OemAdapterInfoElement::slotNumber)>);
static_assert(kIsHostText<decltype(OemAdapterInfoElement::macAddress)>);
static_assert(kIsHostText<decltype(OemFirmwareEntry::firmwareType)>);
static_assert(kIsHostText<decltype(OemFirmwareEntry::firmwareFile)>);

// A host written against the header as it stands (on Windows: WCHAR texts)
// calls the entry points without a cast.
TEST_F(PluginTest, AHostCallsWithTheHeadersOwnTextType) {
  auto* get_debug_info =
      reinterpret_cast<decltype(&oem_get_debug_info)>(plugin_.Find("oem_get_debug_info"));
  auto* text_for_error_code =
      reinterpret_cast<decltype(&oem_text_for_error_code)>(plugin_.Find("oem_text_for_error_code"));
  TempDir dir;
  const std::u16string log = skyfw::Utf8ToUtf16(dir.File("host.log"));
  const std::basic_string<OemChar16> host_path(log.begin(), log.end());
  EXPECT_EQ(get_debug_info(host_path.c_str()), 0);
  const OemChar16* text = text_for_error_code(101);
  const std::u16string expected = u"NMAPI Init Failed.\r\n";
  EXPECT_EQ(std::basic_string<OemChar16>(text),
            std::basic_string<OemChar16>(expected.begin(), expected.end()));
  EXPECT_NE(ReadFile(dir.File("host.log")).find("Enter oem_text_for_error_code"),
            std::string::npos);
}

TEST_F(PluginTest, TextsThroughTheExportedEntryPoint) {
  EXPECT_EQ(std::u16string(text_for_error_code_(3)),
            u"The installation was not attempted because of Miscellaneous reasons.");
  EXPECT_EQ(std::u16string(text_for_error_code_(101)), u"NMAPI Init Failed.\r\n");
  const char16_t* buffer = text_for_error_code_(13);
  EXPECT_EQ(std::u16string(buffer), u"Unsupported Error Code!");
  EXPECT_EQ(text_for_error_code_(-1), buffer);
}

TEST_F(PluginTest, TraceFileAfterDebugInfo) {
  TempDir dir;
  std::string log = dir.File("plugin.log");
  EXPECT_EQ(get_debug_info_(std::u16string(log.begin(), log.end()).c_str()), 0);
  text_for_error_code_(0);
  // The process keeps the minimal platform: the real process and thread ids.
  std::string ids = std::to_string(skyfw::platform::OsProcessId()) + "." +
                    std::to_string(skyfw::platform::OsThreadId());
  EXPECT_EQ(ReadFile(log), " [QVFWUPG LIB :INFO ] " + ids +
                               ": Enter oem_text_for_error_code:\n\r\n" + " [QVFWUPG LIB :INFO ] " +
                               ids + ": Leave oem_text_for_error_code:\n\r\n");
}

TEST(PublicHeaderTest, ElementHasTheSameSizeInC) { EXPECT_EQ(skyfw_test_c_element_size(), 54432); }

TEST_F(PluginTest, NothingButTheEntryPointsIsExported) {
  EXPECT_EQ(plugin_.Find("_ZN5skyfw9TraceInfoEPKcz"), nullptr);
  EXPECT_EQ(plugin_.Find("_ZN5skyfw16TextForErrorCodeEi"), nullptr);
#if defined(_WIN32)
  GTEST_SKIP() << "the DLL's export table is read by the build's own export check";
#else

  const ProgramRun nm =
      RunProgram("nm", {"-D", "--defined-only", SKYFW_PLUGIN_PATH}, ErrorOutput::kDropped);
  ASSERT_EQ(nm.exit_code, 0) << nm.out;
  std::string exported;
  for (size_t start = 0; start < nm.out.size();) {
    size_t end = nm.out.find('\n', start);
    if (end == std::string::npos) end = nm.out.size();
    const std::string entry = nm.out.substr(start, end - start);
    exported += entry.substr(entry.rfind(' ') + 1) + " ";
    start = end + 1;
  }
  EXPECT_EQ(exported,
            "oem_do_discovery_with_files oem_do_flash_with_file oem_do_full_flash_PCI "
            "oem_get_adapter_info oem_get_debug_info oem_get_full_flash_dump_PCI "
            "oem_text_for_error_code ");
#endif
}

}  // namespace
