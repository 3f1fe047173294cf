#include "sim/driver/nvram_image.h"

#include <gtest/gtest.h>

#include "sim/driver/firmware_crc32.h"
#include "sim/driver/initial_nvram.h"
#include "sim/driver/nvram_file.h"
#include "support/package_builder.h"

namespace skyfw::sim {
namespace {

using testing::Bytes;

NvramImage TwoItems() {
  NvramImage image;
  uint32_t index = 0;
  EXPECT_EQ(CreateItem(image, 5, 0, 0, 0, 64, index), kDriverOk);
  EXPECT_EQ(ModifyItem(image, index, 0, Bytes("vpd-bytes")), kDriverOk);
  EXPECT_EQ(CreateItem(image, 1, 0, 0, 0x10, 32, index), kDriverOk);
  return image;
}

TEST(FirmwareCrc32, StandardCheckValues) {
  EXPECT_EQ(FirmwareCrc32(Bytes("123456789")), 0xCBF43926u);
  EXPECT_EQ(FirmwareCrc32({}), 0u);
}

// The eight-bytes-at-a-time loop and its byte-wise tail agree with a plain
// bit-at-a-time CRC at every length around the step and from odd offsets.
TEST(FirmwareCrc32, AgreesWithABitwiseCrcAtEveryLengthAndOffset) {
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
  for (size_t offset = 0; offset < 9; ++offset) {
    for (size_t length = 0; length + offset <= bytes.size(); length += 1 + length / 16) {
      ByteView view = ByteView(bytes).subspan(offset, length);
      ASSERT_EQ(FirmwareCrc32(view), testing::BitwiseCrc32(view)) << offset << "+" << length;
    }
  }
}

TEST(NvramImage, DirectoryEntriesCarryTheTwentyFourByteLayout) {
  NvramImage image = TwoItems();
  std::vector<uint8_t> directory = DirectoryBytes(image, 4096);
  ASSERT_EQ(directory.size(), 48u);
  ByteReader reader(directory);
  uint16_t type = 0, attr = 0;
  uint32_t flash_offset = 0, item_length = 0, data_length = 0, checksum = 0;
  reader.U16At(0, type);
  reader.U32At(12, item_length);
  reader.U32At(16, data_length);
  reader.U32At(20, checksum);
  EXPECT_EQ(type, 5);
  EXPECT_EQ(item_length, 64u);
  EXPECT_EQ(data_length, 9u);
  EXPECT_EQ(checksum, FirmwareCrc32(Bytes("vpd-bytes")));
  reader.U16At(24 + 6, attr);
  reader.U32At(24 + 8, flash_offset);
  EXPECT_EQ(attr, 0x10);
  EXPECT_EQ(flash_offset, 64u);  // laid out behind the first item
}

TEST(NvramImage, LongerEntriesArePaddedAndOnlyWholeEntriesAreServed) {
  NvramImage image = TwoItems();
  image.entry_length = 32;
  EXPECT_EQ(DirectoryBytes(image, 4096).size(), 64u);
  EXPECT_EQ(DirectoryBytes(image, 63).size(), 32u);
  EXPECT_TRUE(DirectoryBytes(image, 31).empty());
}

TEST(NvramImage, ReadIsClippedToTheItemAndShowsErasedBytesPastTheData) {
  NvramImage image = TwoItems();
  std::vector<uint8_t> out;
  ASSERT_EQ(ReadItem(image, 0, 5, 100, out), kDriverOk);
  ASSERT_EQ(out.size(), 59u);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "ytes");
  EXPECT_EQ(out[4], kErasedByte);
  EXPECT_EQ(ReadItem(image, 0, 64, 1, out), kDriverOk);
  EXPECT_TRUE(out.empty());
}

TEST(NvramImage, RefusesBadIndicesOffsetsAndOverlongWrites) {
  NvramImage image = TwoItems();
  image.items.push_back(NvramItem{});  // an empty directory slot
  std::vector<uint8_t> out;
  EXPECT_EQ(ReadItem(image, 3, 0, 1, out), kDriverInvalidIndex);
  EXPECT_EQ(ReadItem(image, 2, 0, 1, out), kDriverInvalidIndex);
  EXPECT_EQ(ReadItem(image, 0, 65, 1, out), kDriverInvalidOffset);
  EXPECT_EQ(ModifyItem(image, 1, 30, Bytes("abc")), kDriverInsufficientSpace);
  EXPECT_EQ(ModifyItem(image, 1, 33, {}), kDriverInvalidOffset);
  EXPECT_EQ(ModifyItem(image, 9, 0, Bytes("a")), kDriverInvalidIndex);
  EXPECT_TRUE(image.items[1].data.empty());  // nothing written by a refusal
}

TEST(NvramImage, ModifyPastTheDataFillsTheGapWithErasedBytes) {
  NvramImage image = TwoItems();
  ASSERT_EQ(ModifyItem(image, 1, 4, Bytes("xy")), kDriverOk);
  EXPECT_EQ(image.items[1].data, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 'x', 'y'}));
}

TEST(NvramImage, CreateOfAnExistingItemReallocatesItInPlace) {
  NvramImage image = TwoItems();
  uint32_t index = 99;
  ASSERT_EQ(CreateItem(image, 5, 0, 0, 1, 128, index), kDriverOk);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(image.items.size(), 2u);
  EXPECT_EQ(image.items[0].item_length, 128u);
  EXPECT_EQ(image.items[0].attr, 1);
  EXPECT_TRUE(image.items[0].data.empty());
}

TEST(NvramImage, CreateStaysWithinFlashCapacityAndDirectorySlots) {
  NvramImage image = TwoItems();  // 96 bytes allocated
  image.capacity = 200;
  uint32_t index = 0;
  EXPECT_EQ(CreateItem(image, 7, 0, 0, 0, 105, index), kDriverInsufficientSpace);
  EXPECT_EQ(CreateItem(image, 7, 0, 0, 0, 104, index), kDriverOk);
  EXPECT_EQ(CreateItem(image, 5, 0, 0, 0, 65, index), kDriverInsufficientSpace);
  image.max_entries = 3;
  EXPECT_EQ(CreateItem(image, 8, 0, 0, 0, 0, index), kDriverInsufficientSpace);
  EXPECT_EQ(CreateItem(image, 0, 0, 0, 0, 0, index), kDriverInvalidTypeParameter);
}

TEST(NvramFileFormat, RoundTripsImageAndDriverMemory) {
  NvramFile file;
  file.nvram = TwoItems();
  file.nvram.entry_length = 28;
  file.driver.last_error = 80;
  file.driver.clock.year = 2026;
  file.driver.clock.second = 59;
  file.driver.method_calls["Read"] = 3;
  std::vector<uint8_t> bytes = EncodeNvramFile(file);
  NvramFile back;
  std::string error;
  ASSERT_TRUE(DecodeNvramFile(bytes, back, error)) << error;
  EXPECT_EQ(EncodeNvramFile(back), bytes);
  EXPECT_EQ(back.driver.method_calls.at("Read"), 3u);
  EXPECT_EQ(back.nvram.items[0].data, Bytes("vpd-bytes"));
}

TEST(NvramFileFormat, RefusesDamagedFiles) {
  NvramFile file;
  file.nvram = TwoItems();
  std::vector<uint8_t> good = EncodeNvramFile(file);
  NvramFile back;
  std::string error;

  std::vector<uint8_t> flipped = good;
  flipped[40] ^= 1;
  EXPECT_FALSE(DecodeNvramFile(flipped, back, error));
  EXPECT_NE(error.find("CRC"), std::string::npos);

  std::vector<uint8_t> cut(good.begin(), good.begin() + 30);
  EXPECT_FALSE(DecodeNvramFile(cut, back, error));
  EXPECT_FALSE(DecodeNvramFile({}, back, error));

  // A correctly sealed file whose item count promises more than it holds.
  std::vector<uint8_t> lying(good.begin(), good.end() - 4);
  ByteWriter(lying).SetU32At(32, 0x10000000);  // the item count
  lying.resize(lying.size() + 4);
  ByteWriter(lying).SetU32At(lying.size() - 4,
                             FirmwareCrc32(ByteView(lying).first(lying.size() - 4)));
  EXPECT_FALSE(DecodeNvramFile(lying, back, error));
  EXPECT_EQ(error, "item count larger than the file");
}

// Seals `bytes` whole, as a file without records is sealed.
std::vector<uint8_t> Resealed(std::vector<uint8_t> bytes) {
  bytes.resize(bytes.size() - 4);
  ByteWriter(bytes).PutU32(FirmwareCrc32(bytes));
  return bytes;
}

// Only the current version is read; every other one, correctly sealed, is
// refused by its version, with the same words.
TEST(NvramFileFormat, RefusesEveryVersionButTheCurrentOne) {
  NvramFile file;
  file.nvram = TwoItems();
  const std::vector<uint8_t> current = EncodeNvramFile(file);
  auto with_version = [&](uint32_t version) {
    std::vector<uint8_t> bytes = current;
    ByteWriter(bytes).SetU32At(8, version);
    return Resealed(bytes);
  };
  // Version 1 as it was laid out: no snapshot length, no records.
  std::vector<uint8_t> version_one = current;
  version_one.erase(version_one.begin() + 12, version_one.begin() + 20);
  ByteWriter(version_one).SetU32At(8, 1);
  version_one = Resealed(version_one);

  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"0", with_version(0)},
      {"1", with_version(1)},
      {"1 in its own layout", version_one},
      {"3", with_version(3)},
  };
  for (const auto& refused : cases) {
    NvramFile back;
    std::string error;
    EXPECT_FALSE(DecodeNvramFile(refused.bytes, back, error)) << refused.name;
    EXPECT_EQ(error, "unknown NVRAM file version") << refused.name;
  }

  // A current file whose version bytes were damaged reads as damaged.
  std::vector<uint8_t> flipped = current;
  flipped[8] ^= 1;
  NvramFile back;
  std::string error;
  EXPECT_FALSE(DecodeNvramFile(flipped, back, error));
  EXPECT_NE(error.find("CRC"), std::string::npos) << error;
}

// The description is checked against the flash by adding up its lengths,
// not by building the NVRAM: both must count every item at the same size.
TEST(InitialNvram, BytesCountedAreTheBytesBuilt) {
  AdapterDescription plain;
  AdapterDescription everything;
  // A VPD item larger than its usual 1024 bytes.
  everything.vpd = VpdDescription{std::string(1500, 'N'), {{"PN", "NX2"}}, {}, 64};
  everything.package_log = {"a\tinstall\t1.0"};
  everything.package_log_length = 100;
  everything.nvram_items.push_back({7, 0, 0, 0, 16, Bytes("short")});
  // Built directly, not read from machine.json: data beyond the stated length.
  everything.nvram_items.push_back({8, 1, 0, 0, 2, Bytes("longer")});
  AdapterDescription small_vpd_no_update_area;
  small_vpd_no_update_area.vpd = VpdDescription{"NX", {}, {}, 64};
  small_vpd_no_update_area.update_area_length = 0;
  for (const AdapterDescription* adapter : {&plain, &everything, &small_vpd_no_update_area}) {
    EXPECT_EQ(InitialNvramBytes(*adapter), AllocatedBytes(BuildInitialNvram(*adapter).nvram));
  }
  // The cases reach the sizes that exceed the stated ones.
  const NvramImage built = BuildInitialNvram(everything).nvram;
  EXPECT_GT(built.items.front().item_length, kVpdItemLength);
  EXPECT_EQ(built.items.back().item_length, 6u);
}

}  // namespace
}  // namespace skyfw::sim
