// Backups of simulated adapters: the package they produce, how they fail,
// and writing a backup back onto another adapter of the same model.
#include "update/backup.h"

#include <gtest/gtest.h>

#include <regex>

#include "integrity/crc32.h"
#include "package/package_format.h"
#include "package/package_verifier.h"
#include "package/vpd.h"
#include "support/sim_adapter.h"
#include "update/installer.h"

namespace skyfw::testing {
namespace {

std::string Property(ByteView package, uint8_t tag) {
  ByteView value;
  if (!GetPropertyView(package, tag, value)) return "<absent>";
  return std::string(value.begin(), value.end());
}

std::vector<PackageItemEntry> Manifest(ByteView package) {
  uint32_t count = 0;
  EXPECT_EQ(GetPackageItemCount(package, count), 0);
  std::vector<PackageItemEntry> entries(count);
  EXPECT_EQ(ReadPackageItems(package, 0, entries), static_cast<NvmStatus>(count));
  return entries;
}

TEST(Backup, CopiesEveryItemIntoAPackageThatVerifies) {
  nlohmann::json adapter = S2Adapter("a0", "NV1", "21.6.2");
  // Five data bytes in a larger item, then an item whose data ends in a
  // valid trailer that the device did not mark (attr 0).
  adapter["nvram_items"].push_back(NvramItem(40, 0, 16, {1, 2, 3, 4, 5}));
  adapter["nvram_items"].push_back(
      NvramItem(7, 0, 4096,
                tool::BuildTrailerSignedImage(*tool::ImageSigner::Development(), 7,
                                              tool::FillerBytes(64, 9))));
  SimulatedMachine machine({adapter});
  const std::string title = SimulatedMachine::Title("a0");
  std::vector<NvramItemCopy> nvram = ReadNvram(title);
  std::string path = machine.directory().File("backup.pkg");

  ASSERT_EQ(CreateBackupPackage(machine.Device(0), path), 0);

  NvmPackage file;
  ASSERT_EQ(ReadPackageFile(path, file), 0);
  ByteView package = file.package();
  int32_t failing = 0;
  EXPECT_EQ(VerifyPackage(package, &failing), 0) << "item " << failing;
  uint32_t crc = 0;
  ByteReader(package).U32At(package.size() - 4, crc);
  EXPECT_EQ(Crc32(kCrc32Seed, package.first(package.size() - 4)), crc);

  PackageHeader header;
  ASSERT_EQ(CheckPackageHeader(package, header), 0);
  EXPECT_EQ(header.trailer_length, 4u);
  EXPECT_EQ(header.header_length, 524u);
  EXPECT_EQ(Property(package, kPropertyDescription), "Backup of Skyline a0 [020A3B1C2D10]");
  EXPECT_EQ(Property(package, kPropertyDeviceIds), std::string("\x10\x0B", 2));
  EXPECT_EQ(Property(package, kPropertySubsystemVendor), std::string("\x6A\x1D", 2));
  EXPECT_EQ(Property(package, kPropertySubsystemId), std::string("\x01\x00", 2));
  EXPECT_EQ(Property(package, kPropertyCreator), "root");
  EXPECT_TRUE(std::regex_match(Property(package, kPropertyCreationTime),
                               std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ)")));
  EXPECT_EQ(Property(package, kPropertyVersion), "21.6.2");

  // One entry per directory entry, in directory order, each with the
  // device's identity apart from where its data now lies.
  std::vector<PackageItemEntry> entries = Manifest(package);
  ASSERT_EQ(entries.size(), nvram.size());
  uint32_t expected_offset = 0;
  for (size_t k = 0; k < entries.size(); ++k) {
    SCOPED_TRACE(k);
    const PackageItemEntry& entry = entries[k];
    const NvmDirEntry& device = nvram[k].entry;
    EXPECT_EQ(entry.directive(), 0);
    EXPECT_EQ(entry.dir_type(), device.dir_type);
    EXPECT_EQ(entry.dir_item_length(), device.dir_item_length);
    EXPECT_EQ(entry.data_length(), device.dir_data_length);
    if (device.dir_data_length == 0) {
      EXPECT_EQ(entry.data_offset(), 0u);
      EXPECT_EQ(entry.checksum(), device.dir_checksum);
      continue;
    }
    if (expected_offset != 0) {
      EXPECT_EQ(entry.data_offset(), expected_offset);
    }
    expected_offset = entry.data_offset() + ((device.dir_data_length + 3) / 4) * 4;
    ByteView data = package.subspan(entry.data_offset(), entry.data_length());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), nvram[k].data.begin()));
    if (entry.dir_type() == 40) {
      // Padded with zeros to 8 bytes, and the next item starts there.
      EXPECT_EQ(package[entry.data_offset() + 5], 0);
      EXPECT_EQ(package[entry.data_offset() + 7], 0);
    }
    if (entry.dir_type() == 7) {
      EXPECT_EQ(entry.dir_attr(), 0x10);
    }
  }
  EXPECT_EQ(expected_offset, package.size() - 4);
}

TEST(Backup, WithoutAnInstalledVersionThereIsNoVersionProperty) {
  SimulatedMachine machine({S2Adapter("a0", "NV1", "")});
  std::string path = machine.directory().File("backup.pkg");
  ASSERT_EQ(CreateBackupPackage(machine.Device(0), path), 0);
  NvmPackage file;
  ASSERT_EQ(ReadPackageFile(path, file), 0);
  EXPECT_EQ(Property(file.package(), kPropertyVersion), "<absent>");
  EXPECT_EQ(VerifyPackage(file.package()), 0);
}

// A failed backup leaves no file, and an older backup at the path as it was.
TEST(Backup, FailureLeavesNoFileAndKeepsAnExistingOne) {
  struct Case {
    const char* name;
    nlohmann::json fault_item;  // an extra NVRAM item
    nlohmann::json faults;
    NvmStatus status;
    std::string message;
  } cases[] = {
      {"marked trailer missing", NvramItem(8, 0x10, 64, {1, 2, 3, 4, 5, 6, 7, 8}), nullptr,
       NVCRETVAL_TRAILER_NOT_FOUND, "Package creation error (-85) with item #7\n"},
      {"read refused",
       nullptr,
       {{"calls", {{{"call", "Read"}, {"error", 5}, {"at", 2}}}}},
       -5,
       ") returned -5\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    nlohmann::json adapter = S2Adapter("a0", "NV1", "21.6.2");
    if (!c.fault_item.is_null()) adapter["nvram_items"].push_back(c.fault_item);
    if (!c.faults.is_null()) adapter["faults"] = c.faults;
    SimulatedMachine machine({adapter});
    std::string path = machine.directory().File("backup.pkg");
    WriteFile(path, "an older backup");

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CreateBackupPackage(machine.Device(0), path), c.status);
    std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;

    EXPECT_EQ(ReadFile(path), "an older backup");
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(machine.directory().path())) {
      files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"backup.pkg", "machine"}));
  }
}

TEST(Backup, AnUnwritablePathIsAnOpenFailure) {
  SimulatedMachine machine({S2Adapter("a0", "NV1", "21.6.2")});
  std::string path = machine.directory().File("no-such-folder/backup.pkg");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(CreateBackupPackage(machine.Device(0), path), NVCRETVAL_FILE_OPEN_FAILURE);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), path + ": No such file or directory\n");
}

// Acceptance: a backup of one adapter written onto another of the same model
// makes the second one's NVRAM that of the first, apart from what the
// firmware and the installer keep of the second: its identity keywords, and
// the record the firmware adds to the package log.
TEST(Backup, InstalledOntoAnotherAdapterOfTheSameModelReproducesItsNvram) {
  nlohmann::json source = S2Adapter("a0", "NV2419A00731", "21.6.2");
  nlohmann::json target = S2Adapter("a1", "NV2419A00999", "20.4.1");
  target["nvram_items"] = {NvramItem(3, 0, 16384, BootImage(11)),
                           NvramItem(6, 0x10, 65536, MainFirmware(12)),
                           NvramItem(61, 0, 1024, tool::BuildMarkedBlock(61, 32))};
  target["vpd"]["read_only"]["EC"] = "A01";
  SimulatedMachine machine({source, target});
  const std::string source_title = SimulatedMachine::Title("a0");
  const std::string target_title = SimulatedMachine::Title("a1");
  std::string path = machine.directory().File("a0.pkg");
  ASSERT_EQ(CreateBackupPackage(machine.Device(0), path), 0);

  DeviceRecord device = machine.Device(1);
  std::string package_version, current_version, action;
  ASSERT_TRUE(ProcessPackage(device, path, package_version, current_version, false, action, true));
  EXPECT_EQ(current_version, "20.4.1");
  EXPECT_EQ(package_version, "21.6.2");
  EXPECT_EQ(action, "upgrade");

  std::vector<NvramItemCopy> expected = ReadNvram(source_title);
  std::vector<NvramItemCopy> actual = ReadNvram(target_title);
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    const NvmDirEntry& want = expected[i].entry;
    const NvmDirEntry& got = actual[i].entry;
    SCOPED_TRACE(want.dir_type);
    EXPECT_EQ(got.dir_type, want.dir_type);
    EXPECT_EQ(got.dir_ordinal, want.dir_ordinal);
    EXPECT_EQ(got.dir_ext, want.dir_ext);
    EXPECT_EQ(got.dir_attr, want.dir_attr);
    EXPECT_EQ(got.dir_item_length, want.dir_item_length);
    Bytes want_data = expected[i].data;
    if (want.dir_type == 1) {
      // The source's log, then the firmware's record of this installation.
      ASSERT_GT(actual[i].data.size(), want_data.size());
      EXPECT_TRUE(std::equal(want_data.begin(), want_data.end(), actual[i].data.begin()));
      continue;
    }
    if (want.dir_type == 5) {
      // The source's VPD with the target's own SN and EC.
      std::span<uint8_t> proper = std::span<uint8_t>(want_data).subspan(4);
      ASSERT_EQ(SetVpdKeyword(proper, kVpdReadOnly, "SN",
                              ByteView(reinterpret_cast<const uint8_t*>("NV2419A00999"), 12)),
                0);
      ASSERT_EQ(SetVpdKeyword(proper, kVpdReadOnly, "EC",
                              ByteView(reinterpret_cast<const uint8_t*>("A01"), 3)),
                0);
      ASSERT_EQ(UpdateVpdChecksum(proper), 0);
    }
    EXPECT_EQ(got.dir_data_length, want_data.size());
    EXPECT_EQ(actual[i].data, want_data);
  }
}

}  // namespace
}  // namespace skyfw::testing
