// The installed package version against the scripted driver: the driver's
// Version first, then the package log and its record and field rules.
#include "update/package_version.h"

#include <gtest/gtest.h>

#include <string>

#include "nvm/nvm_operations.h"
#include "support/fake_wmi_driver.h"

namespace skyfw {
namespace {

using platform::Variant;

constexpr std::string_view kAdapter = "Skyline S2 #1";

std::vector<uint8_t> Bytes(std::string_view text, size_t zeros = 0) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.resize(bytes.size() + zeros, 0);
  return bytes;
}

class PackageVersionTest : public ::testing::Test {
 protected:
  void SetLog(std::vector<uint8_t> data, uint16_t attr = 0) {
    auto& items = platform_.driver().items;
    items.clear();
    items.push_back({5, 0, 0, 0, 1024, Bytes("vpd")});
    items.push_back({kPackageLogItemType, 0, 0, attr, 4096, std::move(data)});
  }
  std::string Text() const { return std::string(buffer_); }

  testing::FakeWmiPlatform platform_;
  char buffer_[256] = {};
};

TEST_F(PackageVersionTest, DriverVersionIsDeliveredUnchangedWithoutReadingTheLog) {
  SetLog(Bytes("a\tb\t20.1.1\n"));
  platform_.driver().version = Variant::Bstr(u" v21.6.2-\u00E9 ");
  ASSERT_EQ(velonvmGetPackageVersion(kAdapter, buffer_), NVCRETVAL_SUCCESS);
  EXPECT_EQ(Text(), " v21.6.2-\xC3\xA9 ");  // UTF-8, no check of its form
  EXPECT_TRUE(platform_.driver().calls.empty());
  ASSERT_EQ(platform_.driver().fetched_paths.size(), 1u);
  EXPECT_NE(platform_.driver().fetched_paths[0].find(
                u"\\root\\wmi:NRVN_NVRAMPackage.InstanceName=\"Skyline S2 #1\""),
            std::u16string::npos);
}

TEST_F(PackageVersionTest, FallsBackToTheLogWhenTheDriverHasNoUsableVersion) {
  std::u16string unpaired = u"21.";
  unpaired.push_back(static_cast<char16_t>(0xD800));
  struct Case {
    const char* what;
    std::optional<Variant> version;
    NvmStatus query_status;
  };
  const Case cases[] = {
      {"property missing", std::nullopt, NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE},
      {"no version (VT_NULL)", Variant::Null(), NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE},
      {"empty version", Variant::Bstr(u""), NVCRETVAL_VERSION_INFO_NOT_FOUND},
      {"invalid UTF-16", Variant::Bstr(unpaired), NVCRETVAL_FAILURE},
      // 255 characters and the terminator fit 256 bytes; 256 do not.
      {"too long with its terminator", Variant::Bstr(std::u16string(256, u'9')), NVCRETVAL_FAILURE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLog(Bytes("a\tb\t20.1.1\n", 12));
    platform_.driver().version = c.version;
    EXPECT_EQ(velonvmQueryPackageVersion(kAdapter, buffer_), c.query_status);
    ASSERT_EQ(velonvmGetPackageVersion(kAdapter, buffer_), NVCRETVAL_SUCCESS);
    EXPECT_EQ(Text(), "20.1.1");
  }
  platform_.driver().version = Variant::Bstr(std::u16string(255, u'9'));
  ASSERT_EQ(velonvmQueryPackageVersion(kAdapter, buffer_), NVCRETVAL_SUCCESS);
  EXPECT_EQ(Text().size(), 255u);
}

TEST_F(PackageVersionTest, QueryFailsWithoutAConnection) {
  platform_.driver().namespace_reachable = false;
  EXPECT_EQ(velonvmQueryPackageVersion(kAdapter, buffer_),
            NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
  EXPECT_EQ(velonvmGetPackageVersion(kAdapter, buffer_), NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
}

TEST_F(PackageVersionTest, LogRecordAndFieldRules) {
  std::string long_field(300, 'x');
  struct Case {
    const char* what;
    std::vector<uint8_t> log;
    uint16_t attr;
    NvmStatus status;
    std::string version;
  };
  const Case cases[] = {
      {"last of two records, zero filler", Bytes("a\tb\t20.1.1\na\tb\t21.6.2\n", 40), 0,
       NVCRETVAL_SUCCESS, "21.6.2"},
      {"last record without a line feed", Bytes("a\tb\t20.1.1\na\tb\t21.6.2\tmore"), 0,
       NVCRETVAL_SUCCESS, "21.6.2"},
      {"last record has two fields", Bytes("a\tb\t20.1.1\na\tb\n"), 0,
       NVCRETVAL_VERSION_INFO_NOT_FOUND, ""},
      {"empty line after the last record", Bytes("a\tb\t20.1.1\n\n"), 0,
       NVCRETVAL_VERSION_INFO_NOT_FOUND, ""},
      {"nothing but zeros", Bytes("", 64), 0, NVCRETVAL_VERSION_INFO_NOT_FOUND, ""},
      {"carriage return stays in the field", Bytes("a\tb\t1.2.3\r\n"), 0, NVCRETVAL_SUCCESS,
       "1.2.3\r"},
      {"spaces are kept", Bytes("a\tb\t 1.2 \n"), 0, NVCRETVAL_SUCCESS, " 1.2 "},
      {"a 300-byte field gives its first 127 bytes", Bytes("a\tb\t" + long_field + "\n"), 0,
       NVCRETVAL_SUCCESS, std::string(127, 'x')},
      {"7 bytes", Bytes("a\tb\t1.2"), 0, NVCRETVAL_INVALID_DATA_LENGTH, ""},
      {"200 bytes ending in a trailer", Bytes("a\tb\t1.2\n", 192), kDirAttrTrailer,
       NVCRETVAL_TRAILER_NOT_FOUND, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLog(c.log, c.attr);
    std::fill(std::begin(buffer_), std::end(buffer_), 'Z');
    EXPECT_EQ(velonvmReadPackageLogVersion(kAdapter, buffer_), c.status);
    EXPECT_EQ(Text(), c.version);  // zeroed first, so failures leave it empty
  }
}

TEST_F(PackageVersionTest, LogEndingInATrailerIsReadFromItsLast288Bytes) {
  // An earlier record outside the last 288 bytes must not be seen.
  std::vector<uint8_t> log = Bytes("a\tb\t1.0.0\n", 700);
  std::vector<uint8_t> tail = Bytes("x\ty\t9.9.9\n", 278);
  log.insert(log.end(), tail.begin(), tail.end());
  SetLog(log, kDirAttrTrailer);
  ASSERT_EQ(velonvmReadPackageLogVersion(kAdapter, buffer_), NVCRETVAL_SUCCESS);
  EXPECT_EQ(Text(), "9.9.9");
  auto reads = platform_.driver().CallsOf(u"Read");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].U32(u"offset"), log.size() - 288);
  EXPECT_EQ(reads[0].U32(u"length"), 288u);
}

TEST_F(PackageVersionTest, LogVersionIsCutToTheBuffer) {
  SetLog(Bytes("a\tb\t21.6.2\n"));
  char small[4] = {'Z', 'Z', 'Z', 'Z'};
  ASSERT_EQ(velonvmReadPackageLogVersion(kAdapter, small), NVCRETVAL_SUCCESS);
  EXPECT_EQ(std::string(small), "21.");
  EXPECT_EQ(velonvmReadPackageLogVersion(kAdapter, std::span<char>()),
            NVCRETVAL_INSUFFICIENT_SPACE);
}

// The data length comes from the driver; one of up to 4 GiB was once
// allocated as it stood. Beyond the cap the log is refused before any read.
TEST_F(PackageVersionTest, ALogLongerThanTheCapIsRefusedUnread) {
  const std::string record = "a\tb\t21.6.2\n";
  SetLog(Bytes(record, kMaxDriverTransferBytes - record.size()));
  ASSERT_EQ(velonvmReadPackageLogVersion(kAdapter, buffer_), NVCRETVAL_SUCCESS);
  EXPECT_EQ(Text(), "21.6.2");

  SetLog(Bytes(record, kMaxDriverTransferBytes - record.size() + 1));
  platform_.driver().calls.clear();
  EXPECT_EQ(velonvmReadPackageLogVersion(kAdapter, buffer_), NVCRETVAL_INSUFFICIENT_SPACE);
  EXPECT_TRUE(platform_.driver().CallsOf(u"Read").empty());
  EXPECT_EQ(Text(), "");
}

TEST_F(PackageVersionTest, LogFailuresArePassedOn) {
  platform_.driver().items.clear();
  EXPECT_EQ(velonvmReadPackageLogVersion(kAdapter, buffer_), NVCRETVAL_ITEM_NOT_FOUND);
  SetLog(Bytes("a\tb\t21.6.2\n"));
  platform_.driver().failing[u"Read"] = 6;
  EXPECT_EQ(velonvmReadPackageLogVersion(kAdapter, buffer_), NVCRETVAL_INVALID_OFFSET_PARAMETER);
}

}  // namespace
}  // namespace skyfw
