#include "sim/driver/firmware_install.h"

#include <gtest/gtest.h>

#include "sim/driver/package_log.h"
#include "support/package_builder.h"

namespace skyfw::sim {
namespace {

using testing::BuildPackage;
using testing::Bytes;
using testing::PackageLayout;
using testing::TestPackage;

constexpr FirmwareTime kClock = {0, 2026, 12, 10, 3, 7, 43, 0};

TestPackage ThreeItems() {
  TestPackage package;
  package.version = "21.6.2";
  package.description = "Skyline NVM";
  package.items = {
      {0, 0x20, 0, 0, 0, 256, Bytes("boot image")},
      {0, kItemTypeVpd, 0, 0, 0, 0, Bytes("new vpd")},
      {3, 0x30, 1, 2, 0, 0, {}},  // occupies no space
  };
  return package;
}

NvramImage StagedNvram(const std::vector<uint8_t>& package) {
  NvramImage nvram;
  uint32_t index = 0;
  EXPECT_EQ(CreateItem(nvram, kItemTypeVpd, 0, 0, 0, 64, index), kDriverOk);
  EXPECT_EQ(ModifyItem(nvram, index, 0, Bytes("old vpd")), kDriverOk);
  EXPECT_EQ(CreateItem(nvram, kItemTypePackageLog, 0, 0, 0, 512, index), kDriverOk);
  EXPECT_EQ(ModifyItem(nvram, index, 0, Bytes("t\tinstall\t20.1.1\t0\tx\n")), kDriverOk);
  EXPECT_EQ(CreateItem(nvram, kItemTypeUpdateArea, 0, 0, 1, 8192, index), kDriverOk);
  EXPECT_EQ(ModifyItem(nvram, index, 0, package), kDriverOk);
  return nvram;
}

std::optional<std::string> InstalledVersion(const NvramImage& nvram) {
  std::optional<size_t> log = FindItem(nvram, kItemTypePackageLog, 0, 0);
  if (!log) return std::nullopt;
  return LastPackageLogVersion(nvram.items[*log].data);
}

TEST(FirmwareInstall, InstallsEveryItemAndLogsThePackageVersion) {
  NvramImage nvram = StagedNvram(BuildPackage(ThreeItems()));
  InstallOutcome outcome = InstallStagedPackage(nvram, 0, kClock);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.problem_item, kNoProblemItem);
  EXPECT_EQ(outcome.installed_items, 0x7u);
  EXPECT_EQ(outcome.reset_required, 1);  // the boot image needs a reset

  std::optional<size_t> vpd = FindItem(nvram, kItemTypeVpd, 0, 0);
  ASSERT_TRUE(vpd);
  EXPECT_EQ(*vpd, 0u);  // replaced where it was
  EXPECT_EQ(nvram.items[*vpd].data, Bytes("new vpd"));
  std::optional<size_t> image = FindItem(nvram, 0x20, 0, 0);
  ASSERT_TRUE(image);
  EXPECT_EQ(nvram.items[*image].item_length, 256u);
  EXPECT_EQ(nvram.items[*image].data, Bytes("boot image"));
  EXPECT_TRUE(FindItem(nvram, 0x30, 1, 2));
  EXPECT_EQ(InstalledVersion(nvram), "21.6.2");
  std::optional<size_t> log = FindItem(nvram, kItemTypePackageLog, 0, 0);
  std::string text(nvram.items[*log].data.begin(), nvram.items[*log].data.end());
  EXPECT_EQ(text,
            "t\tinstall\t20.1.1\t0\tx\n"
            "2026-12-10 03:07:43Z\tinstall\t21.6.2\t0000000000000007\tSkyline NVM\n");
  // The staged package is consumed.
  EXPECT_TRUE(nvram.items[*FindItem(nvram, kItemTypeUpdateArea, 0, 0)].data.empty());
}

TEST(FirmwareInstall, ItemsThatNeedNoResetAndAWrappedPackage) {
  TestPackage package;
  package.version = "1.2.3";
  package.items = {{0, kItemTypeVpd, 0, 0, 0, 0, Bytes("vpd")}};
  NvramImage nvram = StagedNvram(testing::WrapPackage(BuildPackage(package)));
  InstallOutcome outcome = InstallStagedPackage(nvram, 0, kClock);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reset_required, 0);
  EXPECT_EQ(outcome.installed_items, 1u);
  EXPECT_EQ(InstalledVersion(nvram), "1.2.3");
}

TEST(FirmwareInstall, PackagedUpdateAreaOnlyGrowsTheStagingArea) {
  TestPackage package = ThreeItems();
  package.items.insert(package.items.begin(), {0, kItemTypeUpdateArea, 0, 0, 1, 65536, {}});
  NvramImage nvram = StagedNvram(BuildPackage(package));
  InstallOutcome outcome = InstallStagedPackage(nvram, 0, kClock);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.installed_items, 0xEu);  // bit 0, the update area, stays clear
  EXPECT_EQ(nvram.items[*FindItem(nvram, kItemTypeUpdateArea, 0, 0)].item_length, 65536u);
}

TEST(FirmwareInstall, CreatesAPackageLogWhenThereIsNone) {
  std::vector<uint8_t> bytes = BuildPackage(ThreeItems());
  NvramImage nvram;
  uint32_t index = 0;
  ASSERT_EQ(CreateItem(nvram, kItemTypeUpdateArea, 0, 0, 1, 8192, index), kDriverOk);
  ASSERT_EQ(ModifyItem(nvram, index, 0, bytes), kDriverOk);
  EXPECT_EQ(InstallStagedPackage(nvram, 0, kClock).result, 0);
  ASSERT_TRUE(FindItem(nvram, kItemTypePackageLog, 0, 0));
  EXPECT_EQ(nvram.items[*FindItem(nvram, kItemTypePackageLog, 0, 0)].item_length,
            kDefaultPackageLogSize);
  EXPECT_EQ(InstalledVersion(nvram), "21.6.2");
}

// A malformed package is refused with the firmware's status byte and the
// packaged item at fault; the NVRAM keeps everything but the staged data.
TEST(FirmwareInstall, RefusesMalformedPackagesAndChangesNothing) {
  PackageLayout layout;
  const std::vector<uint8_t> good = BuildPackage(ThreeItems(), &layout);
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    DriverError error;
    uint8_t problem_item;
  };
  auto entry = [&](size_t k, size_t field) { return layout.entries + k * 88 + 64 + field; };
  const Case cases[] = {
      {"package CRC", [](auto& b) { b[b.size() - 1] ^= 1; }, kDriverInvalidChecksum, 0xFF},
      {"magic", [](auto& b) { b[0] = 'X'; }, kDriverInvalidSignature, 0xFF},
      {"too short", [](auto& b) { b.resize(11); }, kDriverInvalidLength, 0xFF},
      {"header length past the end",
       [&](auto& b) {
         ByteWriter(b).SetU32At(8, static_cast<uint32_t>(b.size()));
         testing::ResealPackage(b);
       },
       kDriverInvalidFileHeader, 0xFF},
      {"no CRC trailer",
       [&](auto& b) {
         ByteWriter(b).SetU32At(4, 0);
         testing::ResealPackage(b);
       },
       kDriverInvalidFileHeader, 0xFF},
      {"manifest magic",
       [&](auto& b) {
         b[layout.manifest] = 'X';
         testing::ResealPackage(b);
       },
       kDriverInvalidSignature, 0xFF},
      {"item count beyond the manifest",
       [&](auto& b) {
         ByteWriter(b).SetU32At(layout.manifest + 8, 40);
         testing::ResealPackage(b);
       },
       kDriverInvalidManifest, 0xFF},
      {"more items than the mask holds",
       [&](auto& b) {
         ByteWriter(b).SetU32At(layout.manifest + 8, 65);
         testing::ResealPackage(b);
       },
       kDriverInvalidManifest, 0xFF},
      {"item CRC",
       [&](auto& b) {
         b[layout.data_offsets[1]] ^= 1;
         testing::ResealPackage(b);
       },
       kDriverInvalidItemChecksum, 1},
      {"data past the CRC",
       [&](auto& b) {
         ByteWriter(b).SetU32At(entry(1, 8), static_cast<uint32_t>(b.size() - 6));
         testing::ResealPackage(b);
       },
       kDriverInvalidDataOffset, 1},
      {"data inside the manifest",
       [&](auto& b) {
         ByteWriter(b).SetU32At(entry(0, 8), static_cast<uint32_t>(layout.entries));
         testing::ResealPackage(b);
       },
       kDriverInvalidDataOffset, 0},
      {"data longer than the item",
       [&](auto& b) {
         ByteWriter(b).SetU32At(entry(1, 12), 3);
         testing::ResealPackage(b);
       },
       kDriverInvalidDataLength, 1},
      {"duplicate item",
       [&](auto& b) {
         ByteWriter(b).SetU16At(entry(1, 0), 0x20);
         testing::ResealPackage(b);
       },
       kDriverDuplicateItem, 1},
      {"empty type",
       [&](auto& b) {
         ByteWriter(b).SetU16At(entry(2, 0), 0);
         testing::ResealPackage(b);
       },
       kDriverInvalidTypeParameter, 2},
      {"property runs past the area",
       [&](auto& b) {
         ByteWriter(b).SetU16At(13, 0xFFFF);
         testing::ResealPackage(b);
       },
       kDriverInvalidPropStream, 0xFF},
      {"wrapper CRC",
       [](auto& b) {
         b = testing::WrapPackage(b);
         b[20] ^= 1;
       },
       kDriverInvalidChecksum, 0xFF},
      {"wrapper longer than the file",
       [](auto& b) {
         b = testing::WrapPackage(b);
         ByteWriter(b).SetU16At(17, 0xFFFF);
       },
       kDriverInvalidFileHeader, 0xFF},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    NvramImage nvram = StagedNvram(bytes);
    NvramImage before = nvram;
    InstallOutcome outcome = InstallStagedPackage(nvram, 0, kClock);
    EXPECT_EQ(outcome.result, InstallResultByte(c.error)) << c.what;
    EXPECT_EQ(outcome.problem_item, c.problem_item) << c.what;
    EXPECT_EQ(outcome.installed_items, 0u) << c.what;
    before.items[2].data.clear();
    ASSERT_EQ(nvram.items.size(), before.items.size()) << c.what;
    for (size_t i = 0; i < nvram.items.size(); ++i) {
      EXPECT_EQ(nvram.items[i].data, before.items[i].data) << c.what;
    }
  }
}

TEST(FirmwareInstall, RefusesWhatTheNvramCannotHold) {
  NvramImage nvram = StagedNvram(BuildPackage(ThreeItems()));
  nvram.capacity = static_cast<uint32_t>(AllocatedBytes(nvram) + 100);
  InstallOutcome outcome = InstallStagedPackage(nvram, 0, kClock);
  EXPECT_EQ(outcome.result, 0xFC);  // -4, insufficient space
  EXPECT_EQ(outcome.problem_item, 0);
  EXPECT_FALSE(FindItem(nvram, 0x20, 0, 0));

  NvramImage no_area;
  EXPECT_EQ(InstallStagedPackage(no_area, 0, kClock).result, 0xB0);  // -80
  NvramImage staged = StagedNvram(BuildPackage(ThreeItems()));
  EXPECT_EQ(InstallStagedPackage(staged, 1, kClock).result, 0xF8);  // -8
}

TEST(FirmwareInstall, VersionWithATabCannotSplitTheLog) {
  TestPackage package = ThreeItems();
  package.version = "1.0\t9.9";
  NvramImage nvram = StagedNvram(BuildPackage(package));
  EXPECT_EQ(InstallStagedPackage(nvram, 0, kClock).result, InstallResultByte(kDriverInvalidString));
  EXPECT_EQ(InstalledVersion(nvram), "20.1.1");
}

}  // namespace
}  // namespace skyfw::sim

namespace skyfw::sim {
namespace {

// An interrupted staging leaves a torn package; the firmware refuses it, and
// because every attempt consumes the staged data, the next package — even a
// shorter one — is read alone.
TEST(FirmwareInstall, InterruptedStagingIsRefusedAndDoesNotPoisonTheNext) {
  TestPackage big = ThreeItems();
  big.items[0].data.assign(3000, 0x11);
  big.items[0].item_length = 4096;
  std::vector<uint8_t> big_bytes = BuildPackage(big);
  NvramImage nvram = StagedNvram(std::vector<uint8_t>(big_bytes.begin(), big_bytes.end() - 500));
  EXPECT_EQ(InstallStagedPackage(nvram, 0, kClock).result,
            InstallResultByte(kDriverInvalidChecksum));
  EXPECT_EQ(InstalledVersion(nvram), "20.1.1");

  uint32_t area = static_cast<uint32_t>(*FindItem(nvram, kItemTypeUpdateArea, 0, 0));
  ASSERT_EQ(ModifyItem(nvram, area, 0, big_bytes), kDriverOk);
  ASSERT_EQ(InstallStagedPackage(nvram, 0, kClock).result, 0);

  TestPackage small;
  small.version = "21.7.0";
  small.items = {{0, kItemTypeVpd, 0, 0, 0, 0, Bytes("v")}};
  ASSERT_EQ(ModifyItem(nvram, area, 0, BuildPackage(small)), kDriverOk);
  EXPECT_EQ(InstallStagedPackage(nvram, 0, kClock).result, 0);
  EXPECT_EQ(InstalledVersion(nvram), "21.7.0");
}

}  // namespace
}  // namespace skyfw::sim
