#include "sim/driver/package_log.h"

#include <gtest/gtest.h>

#include "support/package_builder.h"

namespace skyfw::sim {
namespace {

using testing::Bytes;

TEST(PackageLog, RecordsHaveTheVersionAsThirdField) {
  PackageLogRecord record;
  record.time = {0, 2026, 12, 10, 3, 7, 43, 0};
  record.version = "21.6.2";
  record.installed_mask = 0x7;
  record.description = "Skyline\tNVM";
  EXPECT_EQ(FormatPackageLogRecord(record),
            "2026-12-10 03:07:43Z\tinstall\t21.6.2\t0000000000000007\tSkyline NVM\n");
}

TEST(PackageLog, LastVersionFollowsTheRecordRules) {
  struct Case {
    std::string log;
    std::optional<std::string> version;
  };
  const Case cases[] = {
      {std::string("a\tb\t20.1.1\na\tb\t21.6.2\n") + std::string(5, '\0'), "21.6.2"},
      {"a\tb\t20.1.1\na\tb\n", std::nullopt},  // last record too short
      {"a\tb\t20.1.1\n\n", std::nullopt},      // empty last record
      {"a\tb\t20.1.1", "20.1.1"},              // no final line feed
      {"a\tb\t1.0\r\n", "1.0\r"},              // bytes, untrimmed
      {"a\tb\t\td", ""},                       // present but empty
      {std::string(4, '\0'), std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LastPackageLogVersion(Bytes(c.log)), c.version) << c.log;
  }
}

TEST(PackageLog, AppendDropsFillerAndOldestRecordsToFit) {
  std::vector<uint8_t> log = Bytes(std::string("one\n") + std::string(6, '\0'));
  ASSERT_TRUE(AppendPackageLogRecord(log, "two\n", 64));
  EXPECT_EQ(log, Bytes("one\ntwo\n"));
  ASSERT_TRUE(AppendPackageLogRecord(log, "three\n", 12));
  EXPECT_EQ(log, Bytes("two\nthree\n"));
  EXPECT_FALSE(AppendPackageLogRecord(log, "far-too-long\n", 12));
  EXPECT_EQ(log, Bytes("two\nthree\n"));
  // A log whose last record lacks its line feed gets one before the next.
  std::vector<uint8_t> open = Bytes("x");
  ASSERT_TRUE(AppendPackageLogRecord(open, "y\n", 64));
  EXPECT_EQ(open, Bytes("x\ny\n"));
}

}  // namespace
}  // namespace skyfw::sim
