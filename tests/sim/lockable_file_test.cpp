#include "os/lockable_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "os/file_identity.h"
#include "os/file_names.h"
#include "support/temp_dir.h"

namespace skyfw::sim {
namespace {

using platform::FileIdentity;
using platform::GuardedFile;
using platform::LockableFile;
using Lock = LockableFile::Lock;
using Outcome = LockableFile::Outcome;

// Two opens of one file stand for two processes: locks belong to the open
// file on both platforms.
class LockableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("mutex.owner");
    ASSERT_EQ(first_.Open(path_), 0);
    ASSERT_EQ(second_.Open(path_), 0);
  }

  skyfw::testing::TempDir dir_;
  std::string path_;
  LockableFile first_;
  LockableFile second_;
};

TEST_F(LockableFileTest, ExclusiveShutsOutEveryOtherLockUntilReleased) {
  ASSERT_EQ(first_.TakeLock(Lock::kExclusive, false), Outcome::kLocked);
  EXPECT_EQ(second_.TakeLock(Lock::kExclusive, false), Outcome::kBusy);
  EXPECT_EQ(second_.TakeLock(Lock::kShared, false), Outcome::kBusy);
  first_.Unlock();
  EXPECT_EQ(second_.TakeLock(Lock::kExclusive, false), Outcome::kLocked);
  second_.Close();  // closing drops it
  EXPECT_EQ(first_.TakeLock(Lock::kExclusive, false), Outcome::kLocked);
}

TEST_F(LockableFileTest, SharedLocksCoexistAndKeepAnExclusiveOneOut) {
  ASSERT_EQ(first_.TakeLock(Lock::kShared, false), Outcome::kLocked);
  EXPECT_EQ(second_.TakeLock(Lock::kShared, false), Outcome::kLocked);
  LockableFile third;
  ASSERT_EQ(third.Open(path_), 0);
  EXPECT_EQ(third.TakeLock(Lock::kExclusive, false), Outcome::kBusy);
}

// The owner's process id is read by others while the owner holds the lock;
// a lock over the content itself would make Windows refuse that read.
TEST_F(LockableFileTest, ContentStaysReadableAndWritableUnderALock) {
  ASSERT_EQ(first_.TakeLock(Lock::kExclusive, false), Outcome::kLocked);
  ASSERT_EQ(first_.WritePrefix("0000004711"), 0);
  LockableFile reader;
  ASSERT_EQ(reader.Open(path_, LockableFile::Access::kReadOnly), 0);
  std::string text;
  ASSERT_TRUE(reader.ReadContent(text, 15));
  EXPECT_EQ(text, "0000004711");
  ASSERT_EQ(first_.WritePrefix("0000000009"), 0);
  ASSERT_TRUE(reader.ReadContent(text, 15));
  EXPECT_EQ(text, "0000000009");
}

// A watcher maps a counter another open file rewrites under its lock: it
// must see every write at once, beyond the mapping it reads the file, and a
// file too short is not mapped at all.
TEST_F(LockableFileTest, MappedPrefixShowsEveryWriteOfAnotherOpenFileAtOnce) {
  LockableFile watcher;
  ASSERT_EQ(watcher.Open(path_, LockableFile::Access::kReadOnly), 0);
  EXPECT_FALSE(watcher.MapPrefix(4));  // the file is still empty
  ASSERT_EQ(first_.WritePrefix("0000tail"), 0);
  ASSERT_TRUE(watcher.MapPrefix(4));
  ASSERT_EQ(first_.TakeLock(Lock::kExclusive, false), Outcome::kLocked);
  uint8_t bytes[16] = {};
  for (const char* counter : {"0001", "0002", "9999"}) {
    ASSERT_EQ(first_.WritePrefix(counter), 0);
    ASSERT_EQ(watcher.ReadPrefix(bytes, 4), 4);
    EXPECT_EQ(std::string(bytes, bytes + 4), counter);
  }
  ASSERT_EQ(watcher.ReadPrefix(bytes, sizeof bytes), 8);  // longer than mapped: from the file
  EXPECT_EQ(std::string(bytes, bytes + 8), "9999tail");
  // Moving keeps the mapping; closing drops it.
  LockableFile moved = std::move(watcher);
  ASSERT_EQ(first_.WritePrefix("0003"), 0);
  ASSERT_EQ(moved.ReadPrefix(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, bytes + 4), "0003");
  moved.Close();
  EXPECT_EQ(moved.ReadPrefix(bytes, 4), -1);
}

TEST(LockableFile, ReadOnlyNeedsAnExistingFileAndAClosedFileDoesNothing) {
  skyfw::testing::TempDir dir;
  LockableFile file;
  EXPECT_EQ(file.Open(dir.File("missing"), LockableFile::Access::kReadOnly), ENOENT);
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(file.TakeLock(Lock::kExclusive, false), Outcome::kFailed);
  std::string text = "stale";
  EXPECT_FALSE(file.ReadContent(text, 15));
  EXPECT_NE(file.WritePrefix("1"), 0);
  EXPECT_FALSE(file.MapPrefix(1));
}

// Whatever is done to the file held, the next look shows a new identity;
// nothing done, the same one.
TEST(GuardedFile, SeesTheFileChangedRemovedOrReplacedByHand) {
  namespace fs = std::filesystem;
  using platform::PathFromUtf8;
  using skyfw::testing::WriteFile;
  struct Case {
    const char* what;
    bool wait_for_the_clock;  // the change shows only by the file's change time
    std::function<void(const std::string& file, const std::string& beside)> change;
  };
  const Case cases[] = {
      {"nothing", false, nullptr},
      {"written in place", false,
       [](const std::string& file, const std::string&) { WriteFile(file, "{ }\n"); }},
      {"removed", false,
       [](const std::string& file, const std::string&) { fs::remove(PathFromUtf8(file)); }},
      {"renamed over", false,
       [](const std::string& file, const std::string& beside) {
         WriteFile(beside, "{}\n");
         fs::rename(PathFromUtf8(beside), PathFromUtf8(file));
       }},
      {"renamed away and another put there", true,
       [](const std::string& file, const std::string& beside) {
         fs::rename(PathFromUtf8(file), PathFromUtf8(beside));
         WriteFile(file, "{}\n");
       }},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    skyfw::testing::TempDir dir;
    const std::string file = dir.File("registry.json");
    const fs::path path = PathFromUtf8(file);
    WriteFile(file, "{}\n");
    GuardedFile held;
    const FileIdentity first = held.Hold(path);
    ASSERT_TRUE(first.exists);
    EXPECT_EQ(held.Identify(path), first);
    if (test.change == nullptr) continue;
    if (test.wait_for_the_clock) std::this_thread::sleep_for(std::chrono::milliseconds(30));
    test.change(file, dir.File("kept.json"));
    EXPECT_NE(held.Identify(path), first);
    // Held again, the file there now is the one looked at.
    const FileIdentity now = held.Hold(path);
    EXPECT_EQ(held.Identify(path), now);
  }
}

}  // namespace
}  // namespace skyfw::sim
