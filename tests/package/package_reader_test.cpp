#include <gtest/gtest.h>

#include <filesystem>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "builders.h"
#include "package/package_format.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::Bytes;
using testing::PackageItem;

NvmStatus ReadBytesAsFile(const Bytes& bytes, NvmPackage& package) {
  testing::TempFile file("reader.pkg");
  file.Write(bytes);
  return ReadPackageFile(file.path(), package);
}

Bytes SamplePackage() {
  return testing::EncodePackage(testing::Property(9, testing::TextValue("1.0")),
                                {PackageItem{.type = 0x20, .data = {1, 2, 3, 4, 5}},
                                 PackageItem{.type = 0x21, .ordinal = 1, .data = {6, 7}}});
}

TEST(ReadPackageFile, FramingErrors) {
  Bytes header_equals_size = testing::EncodePackage({}, {});
  ByteWriter(header_equals_size).SetU32At(8, static_cast<uint32_t>(header_equals_size.size()));
  Bytes twelve_bad_magic = {'P', 'K', 'G', '1', 4, 0, 0, 0, 12, 0, 0, 0};
  Bytes wrapper_too_long = tool::WrapPackage(SamplePackage());
  ByteWriter(wrapper_too_long).SetU16At(17, static_cast<uint16_t>(wrapper_too_long.size() + 1));
  Bytes wrapper_bad_crc = tool::WrapPackage(SamplePackage());
  wrapper_bad_crc[20] ^= 1;
  Bytes wrapper_too_short = tool::WrapPackage(SamplePackage());
  ByteWriter(wrapper_too_short).SetU16At(17, 3);  // W - 4 would lie before the file

  struct Case {
    const char* name;
    Bytes bytes;
    NvmStatus expected;
  } const cases[] = {
      {"empty file", {}, NVCRETVAL_INVALID_LENGTH},
      {"11 bytes", Bytes(11, 'P'), NVCRETVAL_INVALID_LENGTH},
      {"12 bytes, other magic", twelve_bad_magic, NVCRETVAL_INVALID_SIGNATURE},
      {"H equal to the size with trailer 4", header_equals_size, NVCRETVAL_INVALID_FILE_HEADER},
      {"wrapper longer than the file", wrapper_too_long, NVCRETVAL_INVALID_FILE_HEADER},
      {"wrapper CRC wrong", wrapper_bad_crc, NVCRETVAL_INVALID_CHECKSUM},
      {"wrapper length 3", wrapper_too_short, NVCRETVAL_INVALID_FILE_HEADER},
  };
  for (const Case& c : cases) {
    NvmPackage package;
    EXPECT_EQ(ReadBytesAsFile(c.bytes, package), c.expected) << c.name;
    EXPECT_TRUE(package.empty()) << c.name;
  }

  NvmPackage package;
  EXPECT_EQ(ReadPackageFile(std::string(::testing::TempDir()) + "/no/such.pkg", package),
            NVCRETVAL_FILE_OPEN_FAILURE);
}

#if !defined(_WIN32)
// What is no file cannot be opened as one: a folder is not a package of
// invalid length, and a FIFO with no writer must not hold the call.
TEST(ReadPackageFile, NamesThatAreNoFileFailToOpen) {
  const testing::TempDir directory;
  const std::string& folder = directory.path();
  std::filesystem::create_directories(folder + "/folder.pkg");
  ASSERT_EQ(::mkfifo((folder + "/fifo.pkg").c_str(), 0666), 0);
  for (const char* name : {"/folder.pkg", "/fifo.pkg"}) {
    NvmPackage package;
    EXPECT_EQ(ReadPackageFile(folder + name, package), NVCRETVAL_FILE_OPEN_FAILURE) << name;
    EXPECT_TRUE(package.empty()) << name;
  }
  NvmPackage package;
  EXPECT_EQ(ReadPackageFile("/dev/zero", package), NVCRETVAL_FILE_OPEN_FAILURE);
}
#endif

TEST(ReadPackageFile, PlainAndWrappedPackages) {
  const Bytes plain = SamplePackage();
  NvmPackage package;
  ASSERT_EQ(ReadBytesAsFile(plain, package), NVCRETVAL_SUCCESS);
  EXPECT_EQ(package.wrapper_length(), 0u);
  EXPECT_TRUE(
      std::equal(plain.begin(), plain.end(), package.package().begin(), package.package().end()));

  const Bytes wrapped = tool::WrapPackage(plain);
  ASSERT_EQ(ReadBytesAsFile(wrapped, package), NVCRETVAL_SUCCESS);
  EXPECT_EQ(package.file().size(), wrapped.size());
  EXPECT_EQ(package.wrapper_length(), 40u);
  EXPECT_TRUE(
      std::equal(plain.begin(), plain.end(), package.package().begin(), package.package().end()));

  // A file that only looks wrapped up to 36 bytes is read as a plain one.
  Bytes short_lookalike(wrapped.begin(), wrapped.begin() + 35);
  EXPECT_EQ(ReadBytesAsFile(short_lookalike, package), NVCRETVAL_INVALID_SIGNATURE);
}

TEST(Manifest, HeaderChecksAndCounts) {
  const Bytes empty = testing::EncodePackage({}, {});  // H = 12, N = 0
  uint32_t count = 99;
  ASSERT_EQ(GetPackageItemCount(empty, count), NVCRETVAL_SUCCESS);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(GetPropertyAreaLength(empty), 0);
  size_t offset = 0;
  EXPECT_EQ(FindProperty(empty, 9, offset), NVCRETVAL_ITEM_NOT_FOUND);
  // The format refuses entry lengths beyond the whole package, even with no
  // entries: a 36-byte package cannot declare 64-byte descriptors.
  PackageItemEntry entries[2];
  EXPECT_EQ(ReadPackageItems(empty, 0, entries), NVCRETVAL_INVALID_MANIFEST);
  const Bytes no_items = testing::EncodePackage(testing::Property(1, Bytes(64, 'd')), {});
  EXPECT_EQ(ReadPackageItems(no_items, 0, entries), 0);

  Bytes short_room = empty;  // 19 bytes between H and the trailer
  short_room.erase(short_room.begin() + 12 + 19, short_room.begin() + 12 + 20);
  Bytes bad_magic = empty;
  bad_magic[12] = 'm';
  Bytes long_m = empty;
  ByteWriter(long_m).SetU32At(16, 21);
  const std::pair<Bytes, NvmStatus> cases[] = {
      {short_room, NVCRETVAL_INVALID_MANIFEST},
      {bad_magic, NVCRETVAL_INVALID_SIGNATURE},
      {long_m, NVCRETVAL_INVALID_MANIFEST},
  };
  for (const auto& [bytes, expected] : cases) {
    ManifestHeader manifest;
    EXPECT_EQ(ReadManifestHeader(bytes, manifest), expected);
  }
}

TEST(Manifest, ReadsAndFindsEntries) {
  const Bytes package = SamplePackage();
  PackageItemEntry entries[4];
  ASSERT_EQ(ReadPackageItems(package, 0, entries), 2);
  EXPECT_EQ(entries[0].dir_type(), 0x20);
  EXPECT_EQ(entries[0].data_length(), 5u);
  EXPECT_EQ(entries[1].dir_ordinal(), 1);
  EXPECT_EQ(ReadPackageItems(package, 1, entries), 1);
  EXPECT_EQ(entries[0].dir_type(), 0x21);
  EXPECT_EQ(ReadPackageItem(package, 2, entries[0]), 0);

  PackageItemEntry found;
  EXPECT_EQ(FindPackageItem(package, 0x21, 1, 0, found), NVCRETVAL_SUCCESS);
  EXPECT_EQ(found.data_length(), 2u);
  EXPECT_EQ(FindPackageItem(package, 0x21, 0, 0, found), NVCRETVAL_ITEM_NOT_FOUND);

  // A count that claims more entries than fit before the trailer.
  Bytes overclaimed = package;
  ByteWriter(overclaimed).SetU32At(12 + 10 + 8, 1000);
  EXPECT_EQ(ReadPackageItems(overclaimed, 0, entries), NVCRETVAL_INVALID_MANIFEST);
  EXPECT_EQ(FindPackageItem(overclaimed, 0x99, 0, 0, found), NVCRETVAL_INVALID_MANIFEST);

  // Descriptor and identity lengths larger than the package.
  Bytes huge_descriptor = package;
  ByteWriter(huge_descriptor).SetU32At(12 + 10 + 12, 0xFFFFFFF0);
  EXPECT_EQ(ReadPackageItems(huge_descriptor, 0, entries), NVCRETVAL_INVALID_MANIFEST);
}

// Entries of other lengths fill the 88-byte record part by part.
TEST(Manifest, ShortAndLongEntryLayouts) {
  Bytes package = testing::EncodePackage({}, {});
  ByteWriter writer(package);
  package.resize(package.size() - 4);
  writer.SetU32At(12 + 8, 1);    // N
  writer.SetU32At(12 + 12, 2);   // D = 2
  writer.SetU32At(12 + 16, 30);  // I = 30
  writer.PutU8(3);               // directive
  writer.PutU8(0xEE);
  writer.PutU16(0x44);  // dir_type
  writer.PutZeros(28);
  writer.PutU32(0);
  testing::ResealPackage(package);
  PackageItemEntry entry;
  ASSERT_EQ(ReadPackageItem(package, 0, entry), 1);
  EXPECT_EQ(entry.directive(), 3);
  EXPECT_EQ(entry.descriptor[1], 0xEE);
  EXPECT_EQ(entry.descriptor[2], 0);
  EXPECT_EQ(entry.dir_type(), 0x44);
}

}  // namespace
}  // namespace skyfw
