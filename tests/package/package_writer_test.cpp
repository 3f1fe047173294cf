#include "package/package_writer.h"

#include <gtest/gtest.h>

#include <memory>

#include "builders.h"
#include "integrity/crc32.h"
#include "package/package_verifier.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::Bytes;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

class WriterTest : public ::testing::Test {
 protected:
  // Writes records into a file, reads the file back into `written_`.
  NvmStatus Write(std::vector<PackageItemEntry>& records, const std::vector<Bytes>& data,
                  int32_t* index, bool verify, ByteView area = {}, size_t area_length = 0) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(file_.path().c_str(), "w+b"));
    std::vector<ByteView> views(data.begin(), data.end());
    NvmStatus status = WritePackage(file.get(), area, area_length, records, views, index, verify);
    file.reset();
    NvmPackage package;
    if (status == NVCRETVAL_SUCCESS) {
      EXPECT_EQ(ReadPackageFile(file_.path(), package), NVCRETVAL_SUCCESS);
      written_.assign(package.package().begin(), package.package().end());
    }
    return status;
  }

  static PackageItemEntry Record(uint16_t type, size_t data_length, uint16_t attr = 0) {
    PackageItemEntry record;
    record.set_dir_type(type);
    record.set_dir_attr(attr);
    record.set_data_length(static_cast<uint32_t>(data_length));
    record.set_dir_item_length(static_cast<uint32_t>(data_length == 0 ? 16 : data_length));
    record.set_checksum(0xDEADBEEF);
    return record;
  }

  testing::TempFile file_{"writer.pkg"};
  Bytes written_;
};

TEST_F(WriterTest, BackupLayoutRoundTrip) {
  auto signer = tool::ImageSigner::Development();
  const Bytes trailer_image = tool::BuildTrailerSignedImage(*signer, 8, tool::FillerBytes(100, 1));
  std::vector<PackageItemEntry> records = {Record(0x30, 5), Record(0, 0), Record(0x31, 0),
                                           Record(8, trailer_image.size())};
  const std::vector<Bytes> data = {{1, 2, 3, 4, 5}, {}, {}, trailer_image};
  Bytes area(512, 0);
  ASSERT_EQ(SetStringProperty(area, 5, "root", 4), 4);
  int32_t index = 5;
  ASSERT_EQ(Write(records, data, &index, false, area, area.size()), NVCRETVAL_SUCCESS);
  EXPECT_EQ(index, -1);

  // Header 12 + area 512 + manifest 20 + 3 entries (dir_type 0 is left out).
  const uint32_t data_start = 12 + 512 + 20 + 3 * 88;
  ASSERT_EQ(written_.size(), data_start + 8 + trailer_image.size() + 4);
  PackageItemEntry entries[3];
  ASSERT_EQ(ReadPackageItems(written_, 0, entries), 3);
  EXPECT_EQ(entries[0].data_offset(), data_start);
  EXPECT_EQ(entries[0].checksum(), Crc32(kCrc32Seed, data[0]));
  EXPECT_EQ(Bytes(written_.begin() + data_start + 5, written_.begin() + data_start + 8),
            Bytes(3, 0));
  EXPECT_EQ(entries[1].data_offset(), 0u);              // no data
  EXPECT_EQ(entries[1].checksum(), 0xDEADBEEFu);        // the device's value stays
  EXPECT_EQ(entries[2].data_offset(), data_start + 8);  // 5 bytes padded to 8
  EXPECT_EQ(entries[2].dir_attr() & kAttrSignedTrailer, kAttrSignedTrailer);  // found a trailer

  uint32_t stored = 0;
  ByteReader(written_).U32At(written_.size() - 4, stored);
  EXPECT_EQ(stored, Crc32(kCrc32Seed, ByteView(written_).first(written_.size() - 4)));
  EXPECT_EQ(VerifyPackage(written_), NVCRETVAL_SUCCESS);
}

TEST_F(WriterTest, FailuresNameTheRecord) {
  auto signer = tool::ImageSigner::Development();
  Bytes bad_image = tool::BuildHeaderSignedImage(*signer, 7, tool::FillerBytes(40, 1));
  bad_image[50] ^= 1;

  struct Case {
    const char* name;
    std::vector<PackageItemEntry> records;
    std::vector<Bytes> data;
    bool verify;
    NvmStatus expected;
    int32_t index;
  };
  PackageItemEntry zero_length = Record(0x30, 0);
  zero_length.set_dir_item_length(0);
  PackageItemEntry directive_4 = Record(10, 4);
  directive_4.set_directive(4);
  PackageItemEntry too_long = Record(0x30, 8);
  too_long.set_dir_item_length(4);
  const Case cases[] = {
      {"attr bit 4 without a trailer",
       {Record(0x30, 4), Record(0x31, 4, kAttrSignedTrailer)},
       {{1, 2, 3, 4}, {1, 2, 3, 4}},
       false,
       NVCRETVAL_TRAILER_NOT_FOUND,
       1},
      {"zero item length", {zero_length}, {{}}, false, NVCRETVAL_ZERO_LENGTH_ITEM, 0},
      {"directive 4 on an image",
       {directive_4},
       {{1, 2, 3, 4}},
       false,
       NVCRETVAL_INVALID_DIRECTIVE,
       0},
      {"data longer than the item",
       {too_long},
       {Bytes(8, 1)},
       false,
       NVCRETVAL_INVALID_DATA_LENGTH,
       0},
      {"missing data", {Record(0x30, 4)}, {}, false, NVCRETVAL_INVALID_POINTER_PARAMETER, 0},
      {"verify: bad header image",
       {Record(0x30, 4), Record(10, bad_image.size())},
       {{1, 2, 3, 4}, bad_image},
       true,
       NVCRETVAL_INVALID_CHECKSUM,
       1},
      {"verify: trailer type without a trailer",
       {Record(8, 4)},
       {{1, 2, 3, 4}},
       true,
       NVCRETVAL_INVALID_TRAILER,
       0},
  };
  for (Case c : cases) {
    int32_t index = 99;
    EXPECT_EQ(Write(c.records, c.data, &index, c.verify), c.expected) << c.name;
    EXPECT_EQ(index, c.index) << c.name;
  }
}

TEST_F(WriterTest, PrerequisiteRuleAndAbsentArea) {
  std::vector<PackageItemEntry> records = {Record(0x30, 4)};
  const std::vector<Bytes> data = {{1, 2, 3, 4}};
  Bytes area(64, 0);
  SetStringProperty(area, 9, "1.2.3", 5);
  SetStringProperty(area, 20, "1.2.3", 5);
  int32_t index = 0;
  EXPECT_EQ(Write(records, data, &index, false, area, area.size()), NVCRETVAL_INVALID_PREREQUISITE);
  EXPECT_EQ(index, -1);

  // Without an area the writer leaves a zeroed hole of the given length.
  ASSERT_EQ(Write(records, data, &index, false, {}, 16), NVCRETVAL_SUCCESS);
  EXPECT_EQ(GetPropertyAreaLength(written_), 16);
  EXPECT_EQ(VerifyPackage(written_), NVCRETVAL_SUCCESS);
}

// The writer empties a stream that held a longer file.
TEST_F(WriterTest, TruncatesWhatWasThere) {
  file_.Write(Bytes(5000, 0x77));
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(file_.path().c_str(), "r+b"));
  std::vector<PackageItemEntry> records = {Record(0x30, 4)};
  const Bytes item = {1, 2, 3, 4};
  const ByteView views[] = {item};
  ASSERT_EQ(WritePackage(file.get(), {}, 0, records, views, nullptr, false), NVCRETVAL_SUCCESS);
  file.reset();
  NvmPackage package;
  ASSERT_EQ(ReadPackageFile(file_.path(), package), NVCRETVAL_SUCCESS);
  EXPECT_EQ(package.file().size(), 12u + 20 + 88 + 4 + 4);
  EXPECT_EQ(VerifyPackage(package.package()), NVCRETVAL_SUCCESS);
}

}  // namespace
}  // namespace skyfw
