// System facts, last error and message texts through the Win32 platform.
//
// Where Wine answers otherwise than Windows (not asserted here):
// - FormatMessage texts are Wine's own wording; only their shape is tested.
// - GetTickCount moves in coarse steps (40-50 ms) under Wine.
// - OutputDebugString is seen only with WINEDEBUG=+debugstr under Wine, in a
//   debugger or DebugView on Windows; it is called, not observed.
#include <gtest/gtest.h>

#include <filesystem>

#include "win32_test_support.h"

namespace skyfw::win32::testing {
namespace {

using namespace platform;

std::filesystem::path Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

TEST(SystemContract, ComputerNameIsANetBiosName) {
  std::string name;
  ASSERT_EQ(Win32().system().GetComputerName(name), ERROR_SUCCESS);
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
  EXPECT_EQ(name.find('.'), std::string::npos);
}

TEST(SystemContract, FoldersExistWithoutATrailingSeparator) {
  std::string app_data;
  ASSERT_EQ(Win32().system().GetCommonAppDataFolder(app_data), ERROR_SUCCESS);
  std::string system_directory;
  ASSERT_EQ(Win32().system().GetSystemDirectory(system_directory), ERROR_SUCCESS);
  for (const std::string& folder : {app_data, system_directory}) {
    SCOPED_TRACE(folder);
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(std::filesystem::is_directory(Path(folder)));
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(Path(system_directory + "\\kernel32.dll")));
}

TEST(SystemContract, LibraryExportsFunctionTellsTheThreeCasesApart) {
  std::string system_directory;
  ASSERT_EQ(Win32().system().GetSystemDirectory(system_directory), ERROR_SUCCESS);
  struct Case {
    std::string library;
    const char* function;
    uint32_t expected;
  } cases[] = {
      // The two checks the adapter library makes at start.
      {system_directory + "\\Setupapi.dll", "SetupDiEnumDeviceInterfaces", ERROR_SUCCESS},
      {system_directory + "\\Iphlpapi.dll", "GetAdaptersAddresses", ERROR_SUCCESS},
      {system_directory + "\\Setupapi.dll", "NoSuchFunctionAnywhere", ERROR_PROC_NOT_FOUND},
      {system_directory + "\\no_such_library_skyfw.dll", "Anything", ERROR_MOD_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library + " " + c.function);
    EXPECT_EQ(Win32().system().LibraryExportsFunction(c.library, c.function), c.expected);
  }
}

TEST(SystemContract, ModuleFileNameIsTheFileThisCodeIsLinkedInto) {
  std::string path;
  ASSERT_EQ(Win32().system().GetModuleFileName(path), ERROR_SUCCESS);
  // Linked statically into the test program: its own file.
  EXPECT_EQ(path.substr(0, path.rfind('\\') + 1), ProgramFolder());
  EXPECT_TRUE(path.ends_with("test_win32_contract.exe")) << path;
  EXPECT_TRUE(std::filesystem::is_regular_file(Path(path)));
}

TEST(SystemContract, LastErrorChangesOnlyThroughSetLastError) {
  System& system = Win32().system();
  system.SetLastError(ERROR_NOT_READY);
  // A failing call of another interface leaves the seam's last error alone.
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(Win32().registry().OpenKey("SOFTWARE\\no\\such\\key\\skyfw", KEY_READ, key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(system.GetLastError(), ERROR_NOT_READY);
  system.SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(system.GetLastError(), ERROR_SUCCESS);
}

TEST(SystemContract, MessageTextsEndInCrLfAndUnknownCodesHaveNone) {
  for (uint32_t code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER}) {
    SCOPED_TRACE(code);
    std::string text;
    ASSERT_TRUE(Win32().system().FormatMessage(code, text));
    EXPECT_GT(text.size(), 2u);
    EXPECT_TRUE(text.ends_with("\r\n"));
  }
  std::string text = "untouched";
  EXPECT_FALSE(Win32().system().FormatMessage(0x2FFFFFF0u, text));
}

TEST(SystemContract, ClockFactsMove) {
  System& system = Win32().system();
  EXPECT_NE(system.GetCurrentProcessId(), 0u);
  EXPECT_NE(system.GetCurrentThreadId(), 0u);
  uint32_t before = system.GetTickCount();
  system.Sleep(200);
  // A lower bound only: a loaded machine sleeps longer, never shorter.
  EXPECT_GE(static_cast<uint32_t>(system.GetTickCount() - before), 100u);
  EXPECT_GT(system.CurrentTime(), 1600000000);
  system.OutputDebugString("skyfw contract test: debugger output\n");
}

}  // namespace
}  // namespace skyfw::win32::testing
