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
#include <ostream>

#include "base/byte_reader.h"
#include "os/file_writer.h"
#include "sim/driver/firmware_crc32.h"
#include "support/package_builder.h"
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
  void TearDown() override { skyfw::testing::RemoveTree(directory_); }

  std::string directory_;
  std::string path_;
};

void AppendRaw(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

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

// A change that says what it touched appends a record of those bytes: the
// file grows by little more than them, however large the NVRAM, and every
// reader sees the change.
TEST_F(NvramStoreTest, AChangeWritesOnlyTheBytesItTouched) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({7, 0, 0, 0, 4u << 20, std::vector<uint8_t>(4u << 20, 0x11)});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  const uintmax_t before = fs::file_size(path_);
  NvramStore store(path_);
  ASSERT_TRUE(store.Update(
      [](NvramFile& file, NvramChanges& changes) {
        EXPECT_EQ(ModifyItem(file.nvram, 0, 1000, testing::Bytes("abcd")), kDriverOk);
        changes.Wrote(0, 1000, 4);
        file.driver.last_error = 9;
        return true;
      },
      error))
      << error;
  EXPECT_LT(fs::file_size(path_) - before, 64u);

  NvramFile back;
  ASSERT_TRUE(ReadNvramFile(path_, back, error)) << error;
  std::vector<uint8_t> expected(4u << 20, 0x11);
  std::copy_n(testing::Bytes("abcd").begin(), 4, expected.begin() + 1000);
  EXPECT_EQ(back.nvram.items[0].data, expected);
  EXPECT_EQ(back.driver.last_error, 9);
}

// A store whose NVRAM nothing changed runs a call without the lock. When
// another process writes while that call runs and the call then changes
// something, the call runs again on the new NVRAM, and both changes land.
TEST_F(NvramStoreTest, ACallOverlappingAnotherWriterRunsAgainOnItsNvram) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({7, 0, 0, 0, 64, testing::Bytes("abcd")});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  NvramStore mine(path_);
  NvramStore theirs(path_);
  ASSERT_TRUE(mine.Update([](NvramFile&, NvramChanges&) { return false; }, error)) << error;

  int runs = 0;
  ASSERT_TRUE(mine.Update(
      [&](NvramFile& file, NvramChanges& changes) {
        if (++runs == 1) {
          EXPECT_TRUE(theirs.Update(
              [](NvramFile& other, NvramChanges& their_changes) {
                their_changes.Wrote(0, 0, 1);
                return ModifyItem(other.nvram, 0, 0, testing::Bytes("X")) == kDriverOk;
              },
              error))
              << error;
        }
        ++file.driver.method_calls["mine"];
        changes.Wrote(0, 3, 1);
        return ModifyItem(file.nvram, 0, 3, testing::Bytes("Y")) == kDriverOk;
      },
      error))
      << error;
  EXPECT_EQ(runs, 2);
  NvramFile back;
  ASSERT_TRUE(ReadNvramFile(path_, back, error)) << error;
  EXPECT_EQ(back.nvram.items[0].data, testing::Bytes("XbcY"));
  EXPECT_EQ(back.driver.method_calls["mine"], 1u);
}

// Records cut short or failing their CRC are what a killed writer leaves:
// they are not part of the NVRAM, and the next record replaces them. A whole
// record that does not fit the NVRAM is damage and refuses the file.
TEST_F(NvramStoreTest, ATornRecordIsIgnoredAndOverwritten) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({7, 0, 0, 0, 64, testing::Bytes("abcd")});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  NvramStore store(path_);
  auto write = [&](const char* text) {
    return store.Update(
        [&](NvramFile& file, NvramChanges& changes) {
          std::vector<uint8_t> bytes = testing::Bytes(text);
          EXPECT_EQ(ModifyItem(file.nvram, 0, 0, bytes), kDriverOk);
          changes.Wrote(0, 0, static_cast<uint32_t>(bytes.size()));
          return true;
        },
        error);
  };
  ASSERT_TRUE(write("wxyz")) << error;
  const uintmax_t whole = fs::file_size(path_);
  NvramFile next = initial;
  next.nvram.items[0].data = testing::Bytes("WXYZ");
  NvramChanges changes;
  changes.Wrote(0, 0, 4);
  std::vector<uint8_t> record = EncodeNvramRecord(next, changes);

  const std::vector<std::string> tails = {
      std::string(record.begin(), record.begin() + 3),
      std::string(record.begin(), record.end() - 1),
      std::string(record.begin(), record.end() - 1) + "?",  // CRC wrong
  };
  for (const std::string& tail : tails) {
    fs::resize_file(path_, whole);
    AppendRaw(path_, tail);
    NvramFile back;
    ASSERT_TRUE(ReadNvramFile(path_, back, error)) << error;
    EXPECT_EQ(back.nvram.items[0].data, testing::Bytes("wxyz"));
  }
  ASSERT_TRUE(write("1234")) << error;
  NvramFile back;
  ASSERT_TRUE(ReadNvramFile(path_, back, error)) << error;
  EXPECT_EQ(back.nvram.items[0].data, testing::Bytes("1234"));
  const uintmax_t rewritten = fs::file_size(path_);
  EXPECT_EQ(rewritten, whole + record.size());

  // Sealed, but writing past the item's allocated size.
  next.nvram.items[0].data.resize(65, 'x');
  changes.changes = {{NvramChanges::Kind::kBytes, 0, 0, 65}};
  record = EncodeNvramRecord(next, changes);
  AppendRaw(path_, std::string(record.begin(), record.end()));
  EXPECT_FALSE(ReadNvramFile(path_, back, error));
  EXPECT_NE(error.find("allocated size"), std::string::npos) << error;

  // Sealed, but promising far more items than it could carry.
  fs::resize_file(path_, rewritten);
  std::vector<uint8_t> lying = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
  ByteWriter(lying).SetU32At(0, static_cast<uint32_t>(lying.size() - 4));
  ByteWriter(lying).PutU32(FirmwareCrc32(lying));
  AppendRaw(path_, std::string(lying.begin(), lying.end()));
  EXPECT_FALSE(ReadNvramFile(path_, back, error));
  EXPECT_NE(error.find("item count"), std::string::npos) << error;
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

#if defined(_WIN32)
// Windows names files in UTF-16: a name that is not UTF-8 has no file there,
// and must not become the name of another one (U+FFFD in its place).
TEST_F(NvramStoreTest, ANameThatIsNotUtf8IsRefusedNotReplaced) {
  EXPECT_TRUE(platform::PathFromUtf8("adapter\xff.nvram").empty());
  std::string error;
  EXPECT_FALSE(CreateNvramFileIfMissing(
      "adapter\xff.nvram", [] { return NvramFile{}; }, error));
}
#endif
// The child side of these tests is a fork of the test program; Windows has
// no fork (see "Windows lane" in the README).
#if !defined(_WIN32)

// How a change reaches the file: the whole file written anew, or a record of
// the bytes it changed appended by a store that lives as long as its process.
enum class WriteMode { kWholeFile, kRecord };

const char* ModeText(WriteMode mode) {
  return mode == WriteMode::kWholeFile ? "WholeFile" : "Record";
}

std::string ModeName(const ::testing::TestParamInfo<WriteMode>& info) {
  return ModeText(info.param);
}

// Listed and logged by name too.
void PrintTo(WriteMode mode, std::ostream* out) { *out << ModeText(mode); }

// Writes `block` at the start of item 0 and counts the call under `name`.
bool WriteBlock(NvramStore& store, WriteMode mode, const std::string& name,
                const std::vector<uint8_t>& block, std::string& error) {
  if (mode == WriteMode::kWholeFile) {
    return UpdateNvramFile(
        store.path(),
        [&](NvramFile& file) {
          ++file.driver.method_calls[name];
          return ModifyItem(file.nvram, 0, 0, block) == kDriverOk;
        },
        error);
  }
  return store.Update(
      [&](NvramFile& file, NvramChanges& changes) {
        ++file.driver.method_calls[name];
        if (ModifyItem(file.nvram, 0, 0, block) != kDriverOk) return false;
        changes.Wrote(0, 0, static_cast<uint32_t>(block.size()));
        return true;
      },
      error);
}

class NvramWritersTest : public NvramStoreTest, public ::testing::WithParamInterface<WriteMode> {};
INSTANTIATE_TEST_SUITE_P(Modes, NvramWritersTest,
                         ::testing::Values(WriteMode::kWholeFile, WriteMode::kRecord), ModeName);

// Two processes change one NVRAM in turns. Every change must survive and the
// file must never be torn.
TEST_P(NvramWritersTest, TwoProcessesWritingOneNvramLoseNothing) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({7, 0, 0, 0, 1u << 20, {}});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  constexpr int kRounds = 150;

  auto writer = [&](const std::string& name, uint8_t fill) {
    NvramStore store(path_);
    for (int round = 0; round < kRounds; ++round) {
      std::string why;
      // A sizeable write so that a torn file would be likely to show.
      std::vector<uint8_t> block(16384 + static_cast<size_t>(round), fill);
      if (!WriteBlock(store, GetParam(), name, block, why)) return false;
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

  // The same, written as records: this store reads just the new ones.
  for (char letter : std::string("WXYZ")) {
    std::vector<uint8_t> change = testing::Bytes(std::string(4, letter));
    ASSERT_TRUE(theirs.Update(
        [&](NvramFile& file, NvramChanges& changes) {
          changes.Wrote(0, 0, 4);
          return ModifyItem(file.nvram, 0, 0, change) == kDriverOk;
        },
        error))
        << error;
    ASSERT_TRUE(look(data, checksum)) << error;
    EXPECT_EQ(data, change);
    EXPECT_EQ(checksum, FirmwareCrc32(change));
  }
  ASSERT_TRUE(theirs.Update(
      [&](NvramFile& file, NvramChanges& changes) {
        changes.Wrote(0, 0, 4);
        return ModifyItem(file.nvram, 0, 0, testing::Bytes("zzzz")) == kDriverOk;
      },
      error))
      << error;

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
  ASSERT_EQ(platform::WriteWholeFile(path_, replaced), 0);
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
TEST_P(NvramWritersTest, AKilledWriterNeverLeavesATornFile) {
  std::string error;
  NvramFile initial;
  initial.nvram.items.push_back({7, 0, 0, 0, 1u << 20, {}});
  ASSERT_TRUE(WriteNvramFile(path_, initial, error)) << error;
  for (int attempt = 0; attempt < 20; ++attempt) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      NvramStore store(path_);
      for (uint8_t fill = 0;; ++fill) {
        std::string why;
        WriteBlock(store, GetParam(), "writer", std::vector<uint8_t>(256 * 1024, fill), why);
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
