#include "host/entry_points.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "host/library_state.h"
#include "support/capturing_platform.h"
#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::ReadFile;
using testing::TempDir;

class EntryPointsTest : public ::testing::Test {
 protected:
  void SetUp() override { LibraryLoad(); }
  void TearDown() override { LibraryUnload(); }

  static std::u16string Wide(const std::string& text) { return {text.begin(), text.end()}; }

  testing::CapturingPlatform platform_;
  TempDir dir_;
};

TEST_F(EntryPointsTest, EveryCodeHasItsText) {
  struct Case {
    int32_t code;
    const char16_t* text;
  };
  const Case cases[] = {
      {0, u"The installation of the deliverable was successful.\r\n"},
      {1,
       u"The installation of the deliverable was successful. A reboot is required for the "
       u"deliverable to be enabled.\r\n"},
      {2,
       u"The installation was not attempted because the version to be installed matches the "
       u"version already installed.\r\n"},
      {3, u"The installation was not attempted because of Miscellaneous reasons."},
      {4,
       u"The installer library entry point could not identify or access the hardware to be "
       u"installed.\r\n"},
      {5, u"The installation was canceled by a user before anything could be installed.\r\n"},
      {6,
       u"The installer library entry point could not execute because of an unmet dependency or "
       u"installation tool failure.\r\n"},
      {7, u"The actual installation operation (not the installer library entry point) failed.\r\n"},
      {8, u"The installer library entry point could not find the firmware file.\r\n"},
      {9, u"The installer library entry point could not access the firmware file.\r\n"},
      {10, u"The installer library entry point could not find the discovery XML file.\r\n"},
      {11, u"The installer library entry point could not access the discovery XML file.\r\n"},
      {12, u"The installer library entry point could not create the discovery XML file.\r\n"},
      {101, u"NMAPI Init Failed.\r\n"},
      {102, u"The installer library Failed to Discover Device.\r\n"},
      {103, u"Firmware Image Invalid.\r\n"},
      {104, u"Device Not supported for this operation.\r\n"},
      {105, u"Device Initialize failed.\r\n"},
      {106, u"Flashing of device with file failed.\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::u16string(TextForErrorCode(c.code)), c.text) << c.code;
  }
}

TEST_F(EntryPointsTest, UnknownCodesGetTheFallbackText) {
  for (int32_t code : {-1, 13, 100, 107, 200, INT_MIN, INT_MAX}) {
    EXPECT_EQ(std::u16string(TextForErrorCode(code)), u"Unsupported Error Code!") << code;
  }
}

TEST_F(EntryPointsTest, TableEndsWithTheClosingPair) {
  size_t pairs = 0;
  while (kHostResultTexts[pairs].code != -1) ++pairs;
  EXPECT_EQ(pairs, 19u);
  EXPECT_EQ(kHostResultTexts[pairs].text, nullptr);
}

TEST_F(EntryPointsTest, EveryCallAnswersInTheSameBuffer) {
  const char16_t* first = TextForErrorCode(101);
  std::u16string first_text = first;
  const char16_t* second = TextForErrorCode(3);
  EXPECT_EQ(first, second);
  EXPECT_NE(std::u16string(first), first_text);
  EXPECT_EQ(std::u16string(first),
            u"The installation was not attempted because of Miscellaneous reasons.");
}

TEST_F(EntryPointsTest, TracingNeverSwitchedOnWritesNothing) {
  TextForErrorCode(0);
  TextForErrorCode(13);
  EXPECT_TRUE(platform_.debugger_lines().empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(EntryPointsTest, TracedCallsWriteEnterAndLeaveLines) {
  std::string log = dir_.File("trace.log");
  ASSERT_EQ(GetDebugInfo(Wide(log).c_str()), 0);
  TextForErrorCode(0);
  TextForErrorCode(13);
  const std::string pair =
      " [QVFWUPG LIB :INFO ] 1234.5678: Enter oem_text_for_error_code:\n\r\n"
      " [QVFWUPG LIB :INFO ] 1234.5678: Leave oem_text_for_error_code:\n\r\n";
  EXPECT_EQ(ReadFile(log), pair + pair);
}

TEST_F(EntryPointsTest, DebugInfoAlwaysSucceeds) {
  const std::u16string too_long(300, u'a');
  const std::u16string missing = Wide(dir_.File("missing/dir/trace.log"));
  for (const char16_t* path :
       {static_cast<const char16_t*>(nullptr), u"", missing.c_str(), too_long.c_str()}) {
    EXPECT_EQ(GetDebugInfo(path), 0);
    EXPECT_TRUE(Library().tracing);
  }
}

TEST_F(EntryPointsTest, UnusablePathsTraceToTheDebuggerOnly) {
  const std::u16string too_long = Wide(dir_.File(std::string(300, 'a')));
  for (const char16_t* path : {u"", too_long.c_str()}) {
    GetDebugInfo(path);
    TextForErrorCode(1);
  }
  EXPECT_EQ(platform_.debugger_lines().size(), 4u);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));  // no cut name was created
}

TEST_F(EntryPointsTest, NewPathAfterAnEmptyOneOpensAFile) {
  GetDebugInfo(u"");
  TextForErrorCode(0);
  std::string log = dir_.File("trace.log");
  GetDebugInfo(Wide(log).c_str());
  TextForErrorCode(0);
  EXPECT_NE(ReadFile(log).find("Enter oem_text_for_error_code"), std::string::npos);
}

TEST_F(EntryPointsTest, LoadStartsFromInitialState) {
  GetDebugInfo(u"x");
  Library().flashOutcome = 106;
  LibraryUnload();
  LibraryLoad();
  EXPECT_FALSE(Library().tracing);
  EXPECT_TRUE(Library().tracePath.empty());
  EXPECT_EQ(Library().flashOutcome, 1);
}

}  // namespace
}  // namespace skyfw
