// The one writer on Windows, where a file cannot be replaced while anyone
// holds it open: it keeps trying for a moment, and when the file stays held
// it fails with the old content kept and nothing left beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "os/file_names.h"
#include "os/file_writer.h"
#include "support/temp_dir.h"

namespace skyfw::testing {
namespace {

class WindowsFileWriterTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(platform::PathFromUtf8(dir_.path()))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Another process's view of the file: opened for reading with `share`.
  HANDLE Hold(const std::string& name, DWORD share) const {
    return CreateFileW(platform::PathFromUtf8(File(name)).c_str(), GENERIC_READ, share, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  TempDir dir_;
};

TEST_F(WindowsFileWriterTest, FileHeldOpenForAMomentIsReplacedOnceReleased) {
  WriteFile(File("doc"), "old");
  HANDLE held = Hold("doc", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread release([held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    CloseHandle(held);
  });
  const int error = platform::WriteWholeFile(File("doc"), std::string_view("new"));
  release.join();
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ReadFile(File("doc")), "new");
  EXPECT_EQ(Names(), std::vector<std::string>{"doc"});
}

TEST_F(WindowsFileWriterTest, FileThatStaysHeldIsRefusedAndKept) {
  WriteFile(File("doc"), "old");
  for (DWORD share : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
                      DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
    HANDLE held = Hold("doc", share);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::WriteWholeFile(File("doc"), std::string_view("new")), EACCES) << share;
    CloseHandle(held);
    EXPECT_EQ(ReadFile(File("doc")), "old");
    EXPECT_EQ(Names(), std::vector<std::string>{"doc"});
  }
}

TEST_F(WindowsFileWriterTest, ReadOnlyFileIsRefusedAtOnceAndKept) {
  WriteFile(File("doc"), "old");
  ASSERT_TRUE(
      SetFileAttributesW(platform::PathFromUtf8(File("doc")).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(platform::WriteWholeFile(File("doc"), std::string_view("new")), EACCES);
  SetFileAttributesW(platform::PathFromUtf8(File("doc")).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFile(File("doc")), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"doc"});
}

}  // namespace
}  // namespace skyfw::testing
