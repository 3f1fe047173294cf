#include "sim/driver/nvram_store.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "sim/driver/firmware_crc32.h"
#include "sim/file_lock.h"
#include "sim_driver/package_builder.h"
#include "support/temp_dir.h"

namespace skyfw::sim {
namespace {

namespace fs = std::filesystem;

class NvramStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = skyfw::testing::MakeTempDirectory("skyfw-nvram-").string();
    ASSERT_FALSE(directory_.empty());
    path_ = directory_ + "/adapter0.nvram";
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string directory_;
  std::string path_;
};

TEST_F(NvramStoreTest, UpdateWritesOnlyWhatWorkChanged) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({1, 0, 0, 0, 64, testing::Bytes("log")});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  auto stamp = fs::last_write_time(path_);

  ASSERT_TRUE(UpdateNvramFile(
      path_, [](NvramFile&) { return false; }, error));
  EXPECT_EQ(fs::last_write_time(path_), stamp);

  ASSERT_TRUE(UpdateNvramFile(
      path_, [](NvramFile& file) { return ModifyItem(file.nvram, 0, 3, testing::Bytes("!")) == 0; },
      error));
  NvramFile back;
  ASSERT_TRUE(ReadNvramFile(path_, back, error)) << error;
  EXPECT_EQ(back.nvram.items[0].data, testing::Bytes("log!"));
  // Nothing is left beside the file.
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(directory_)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);  // the file and its lock file
}

TEST_F(NvramStoreTest, MissingOrDamagedFilesAreReportedNotUsed) {
  std::string error;
  bool called = false;
  EXPECT_FALSE(UpdateNvramFile(
      path_, [&](NvramFile&) { return called = true; }, error));
  EXPECT_FALSE(called);
  EXPECT_NE(error.find("adapter0.nvram"), std::string::npos);

  std::FILE* file = std::fopen(path_.c_str(), "wb");
  std::fputs("not an nvram", file);
  std::fclose(file);
  EXPECT_FALSE(UpdateNvramFile(
      path_, [&](NvramFile&) { return called = true; }, error));
  EXPECT_FALSE(called);
  EXPECT_NE(error.find("CRC"), std::string::npos);
}

// The child side of these tests is a fork of the test program; Windows has
// no fork (see "Windows lane" in the README).
#if !defined(_WIN32)
// Two processes change one NVRAM in turns, each rewriting the whole file
// every time. Every change must survive and the file must never be torn.
TEST_F(NvramStoreTest, TwoProcessesWritingOneNvramLoseNothing) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({7, 0, 0, 0, 1u << 20, {}});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  constexpr int kRounds = 150;

  auto writer = [&](const std::string& name, uint8_t fill) {
    for (int round = 0; round < kRounds; ++round) {
      std::string why;
      bool ok = UpdateNvramFile(
          path_,
          [&](NvramFile& file) {
            ++file.driver.method_calls[name];
            // A sizeable write so that a torn file would be likely to show.
            std::vector<uint8_t> block(16384 + static_cast<size_t>(round), fill);
            return ModifyItem(file.nvram, 0, 0, block) == kDriverOk;
          },
          why);
      if (!ok) return false;
    }
    return true;
  };

  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(writer("child", 0xC1) ? 0 : 1);
  EXPECT_TRUE(writer("parent", 0xA5));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  NvramFile back;
  ASSERT_TRUE(ReadNvramFile(path_, back, error)) << error;
  EXPECT_EQ(back.driver.method_calls["child"], static_cast<uint32_t>(kRounds));
  EXPECT_EQ(back.driver.method_calls["parent"], static_cast<uint32_t>(kRounds));
  EXPECT_EQ(back.nvram.items[0].data.size(), 16384u + kRounds - 1);
}

// A store keeps the NVRAM in memory between calls. Every change made through
// another store (another process), and a file replaced or damaged by hand,
// must show at the next call, item checksums included.
TEST_F(NvramStoreTest, AStoreSeesEveryChangeMadeElsewhereAtOnce) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({1, 0, 0, 0, 64, testing::Bytes("abcd")});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  NvramStore mine(path_);
  NvramStore theirs(path_);

  auto look = [&](std::vector<uint8_t>& data, uint32_t& checksum) {
    return mine.Update(
        [&](NvramFile& file) {
          data = file.nvram.items.at(0).data;
          checksum = mine.ItemChecksum(0);
          return false;
        },
        error);
  };
  std::vector<uint8_t> data;
  uint32_t checksum = 0;
  ASSERT_TRUE(look(data, checksum)) << error;
  EXPECT_EQ(checksum, FirmwareCrc32(testing::Bytes("abcd")));

  // Same-size changes one after another, so that only the change counter
  // (and not the file's size) tells them apart.
  for (char letter : std::string("wxyz")) {
    std::vector<uint8_t> change = testing::Bytes(std::string(4, letter));
    ASSERT_TRUE(theirs.Update(
        [&](NvramFile& file) { return ModifyItem(file.nvram, 0, 0, change) == kDriverOk; }, error))
        << error;
    ASSERT_TRUE(look(data, checksum)) << error;
    EXPECT_EQ(data, change);
    EXPECT_EQ(checksum, FirmwareCrc32(change));
  }

  // Changed through this store, then read back through it.
  ASSERT_TRUE(mine.Update(
      [&](NvramFile& file) {
        return ModifyItem(file.nvram, 0, 4, testing::Bytes("!")) == kDriverOk;
      },
      error))
      << error;
  ASSERT_TRUE(look(data, checksum)) << error;
  EXPECT_EQ(data, testing::Bytes("zzzz!"));
  EXPECT_EQ(checksum, FirmwareCrc32(testing::Bytes("zzzz!")));

  // Replaced whole by a tool that knows nothing of the counter.
  std::vector<uint8_t> replaced = EncodeNvramFile(initial);
  ASSERT_TRUE(WriteFileWhole(path_, std::string(replaced.begin(), replaced.end())));
  ASSERT_TRUE(look(data, checksum)) << error;
  EXPECT_EQ(data, testing::Bytes("abcd"));

  // Damaged: refused, not served from memory.
  std::FILE* file = std::fopen(path_.c_str(), "wb");
  std::fputs("not an nvram", file);
  std::fclose(file);
  EXPECT_FALSE(look(data, checksum));
  EXPECT_NE(error.find("CRC"), std::string::npos);
}

}  // namespace
}  // namespace skyfw::sim

namespace skyfw::sim {
namespace {

// A process killed at any moment of a write leaves the old or the new NVRAM,
// never a torn one.
TEST_F(NvramStoreTest, AKilledWriterNeverLeavesATornFile) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({7, 0, 0, 0, 1u << 20, {}});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  for (int attempt = 0; attempt < 20; ++attempt) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (uint8_t fill = 0;; ++fill) {
        std::string why;
        UpdateNvramFile(
            path_,
            [&](NvramFile& file) {
              std::vector<uint8_t> block(256 * 1024, fill);
              return ModifyItem(file.nvram, 0, 0, block) == kDriverOk;
            },
            why);
      }
    }
    ::usleep(static_cast<useconds_t>(2000 + attempt * 700));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    NvramFile back;
    ASSERT_TRUE(ReadNvramFile(path_, back, error)) << "attempt " << attempt << ": " << error;
    const std::vector<uint8_t>& data = back.nvram.items[0].data;
    if (!data.empty()) {
      EXPECT_EQ(std::count(data.begin(), data.end(), data[0]), static_cast<long>(data.size()));
    }
  }
}
#endif  // !_WIN32

}  // namespace
}  // namespace skyfw::sim
