// Several hosts of the plug-in on one machine at once, each a process of its
// own: two installations onto one adapter, and an installation while another
// host backs the adapter up or runs a discovery. Whatever the interleaving,
// the adapter's NVRAM must stay whole and end as one installation left it,
// every host must get a result code of the table, and a backup must be a
// consistent copy of the adapter.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>

#include "package/package_format.h"
#include "package/package_verifier.h"
#include "package/vpd.h"
#include "sim/driver/nvram_store.h"
#include "support/s2_machine.h"
#include "support/sim_adapter.h"
#include "system/host_processes.h"

namespace skyfw::testing {
namespace {

// What one installation leaves on the adapter (the factory state included).
struct Release {
  std::string version;
  uint32_t main_seed;  // the main firmware image (type 6)
  uint32_t boot_seed;  // the boot image (type 3)
};

const Release kFactory = {"21.6.2", 2, 1};  // as S2Adapter describes the adapter
const Release kReleases[] = {{"22.1.0", 11, 12}, {"22.2.0", 21, 22}};

// Besides the images the package brings the model's VPD with placeholder
// identity values, which the installer must replace by the adapter's own,
// and a block large enough that staging the package takes several writes.
tool::PackagePlan ReleasePlan(const Release& release) {
  tool::PackagePlan plan = S2Package(release.version);
  plan.items = {
      {.type = 6, .attr = 0x10, .item_length = 65536, .data = MainFirmware(release.main_seed)},
      {.type = 3, .item_length = 16384, .data = BootImage(release.boot_seed)},
      {.type = 5,
       .item_length = 1024,
       .data = VpdItem(kS2Identifier,
                       {{"PN", "SKY-S2-XXX"}, {"SN", "PKG-SN"}, {"VA", release.version}})},
      {.type = 61, .item_length = 98304, .data = tool::BuildMarkedBlock(61, 90000)},
  };
  return plan;
}

// The items that tell the installations apart, as an NVRAM or a backup holds
// them.
struct AdapterContents {
  std::vector<std::string> log_versions;  // field 2 of every package-log record
  Bytes main_firmware, boot_image;
  VpdIdentity identity;
  bool vpd_valid = false;
};

std::vector<std::string> LogVersions(const Bytes& log) {
  std::vector<std::string> versions;
  std::istringstream records(std::string(log.begin(), log.end()));
  std::string record;
  while (std::getline(records, record)) {
    std::vector<std::string> fields;
    std::istringstream split(record);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.size() > 2) versions.push_back(fields[2]);
  }
  return versions;
}

void TakeItem(uint16_t type, const Bytes& data, AdapterContents& contents) {
  switch (type) {
    case 1:
      contents.log_versions = LogVersions(data);
      break;
    case 3:
      contents.boot_image = data;
      break;
    case 5:
      if (data.size() > 4) {
        ByteView proper = ByteView(data).subspan(4);
        contents.vpd_valid = ValidateVpd(proper) == 0;
        ReadVpdIdentity(proper, contents.identity);
      }
      break;
    case 6:
      contents.main_firmware = data;
      break;
  }
}

// The adapter's NVRAM file, which must decode whole with its CRC.
::testing::AssertionResult ReadAdapter(const std::string& machine, AdapterContents& contents) {
  sim::NvramFile file;
  std::string error;
  if (!sim::ReadNvramFile(S2NvramPath(machine), file, error)) {
    return ::testing::AssertionFailure() << "torn NVRAM: " << error;
  }
  contents = {};
  for (const sim::NvramItem& item : file.nvram.items) {
    if (item.ordinal == 0 && item.ext == 0) TakeItem(item.type, item.data, contents);
  }
  return ::testing::AssertionSuccess();
}

// A backup package, which must read and verify as any package.
::testing::AssertionResult ReadBackup(const std::string& path, AdapterContents& contents) {
  NvmPackage file;
  NvmStatus status = ReadPackageFile(path, file);
  if (status < 0) return ::testing::AssertionFailure() << "backup unreadable: " << status;
  int32_t failing = -1;
  status = VerifyPackage(file.package(), &failing);
  if (status < 0) {
    return ::testing::AssertionFailure()
           << "backup fails verification: " << status << " item " << failing;
  }
  uint32_t count = 0;
  GetPackageItemCount(file.package(), count);
  contents = {};
  for (uint32_t i = 0; i < count; ++i) {
    PackageItemEntry entry;
    if (ReadPackageItem(file.package(), i, entry) != 1 || entry.dir_ordinal() != 0 ||
        entry.dir_ext() != 0) {
      continue;
    }
    ByteView data = file.package().subspan(entry.data_offset(), entry.data_length());
    TakeItem(entry.dir_type(), Bytes(data.begin(), data.end()), contents);
  }
  return ::testing::AssertionSuccess();
}

// The release whose installation the contents show whole, with the adapter's
// own identity kept; nullptr for a mixture.
const Release* InstalledRelease(const AdapterContents& contents) {
  if (contents.log_versions.empty() || !contents.vpd_valid) return nullptr;
  if (contents.identity.sn != "NV1" || contents.identity.pn != "SKY-S2-25D") return nullptr;
  std::vector<Release> candidates(std::begin(kReleases), std::end(kReleases));
  candidates.push_back(kFactory);
  for (const Release& release : candidates) {
    if (contents.log_versions.back() == release.version &&
        contents.identity.va == release.version &&
        contents.main_firmware == MainFirmware(release.main_seed) &&
        contents.boot_image == BootImage(release.boot_seed)) {
      for (const Release& known : kReleases) {
        if (known.version == release.version) return &known;
      }
      return &kFactory;
    }
  }
  return nullptr;
}

std::string Describe(const AdapterContents& contents) {
  std::string text = "log";
  for (const std::string& version : contents.log_versions) text += " " + version;
  return text + "; VA " + contents.identity.va + ", SN " + contents.identity.sn + ", PN " +
         contents.identity.pn + (contents.vpd_valid ? "" : " (VPD invalid)");
}

// A request document that asks for one package on the adapter at 03:00.0.
std::string Request(const std::string& package_file) {
  return "<?xml version=\"1.0\"?>\n<qv_rom_discovery version=\"2.0.0.0\">"
         "<takes_effect value=\"deferred\"/><devices><device>"
         "<device_id value=\"0000:03:00:0\"/><fw_item><firmware_file value=\"" +
         package_file +
         "\"/><action value=\"upgrade\"/><action_status value=\"\"/></fw_item>"
         "</device></devices></qv_rom_discovery>\n";
}

class ConcurrentHosts : public ::testing::Test {
 protected:
  ConcurrentHosts() : machine_(WriteS2Machine(dir_)) {
    for (size_t i = 0; i < std::size(kReleases); ++i) {
      std::string firmware = dir_.File("firmware" + std::to_string(i));
      std::filesystem::create_directory(firmware);
      std::string name = "s2-" + kReleases[i].version + ".pkg";
      Bytes package;
      EXPECT_EQ(tool::BuildPackage(ReleasePlan(kReleases[i]), package), 0);
      WriteFile(firmware + "/" + name, std::string(package.begin(), package.end()));
      firmware_.push_back(firmware);
      requests_.push_back(dir_.File("request" + std::to_string(i) + ".xml"));
      WriteFile(requests_.back(), Request(name));
    }
  }

  std::vector<std::string> FlashCall(size_t release) const {
    return {"flash", requests_[release], firmware_[release]};
  }

  TempDir dir_;
  std::string machine_;
  std::vector<std::string> firmware_;
  std::vector<std::string> requests_;
};

constexpr int kRounds = 8;

TEST_F(ConcurrentHosts, TwoInstallationsOntoOneAdapterTakeTurns) {
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<HostOutcome> outcomes = RunTogether(machine_, {FlashCall(0), FlashCall(1)});
    for (size_t i = 0; i < outcomes.size(); ++i) {
      EXPECT_TRUE(outcomes[i].exited_cleanly && outcomes[i].answered) << outcomes[i].diagnostic;
      // Each host's own package was installed, and the host was told so.
      EXPECT_EQ(outcomes[i].result, 1) << "host " << i;
      EXPECT_NE(ReadFile(requests_[i]).find("<action_status value=\"1\"/>"), std::string::npos);
    }
    AdapterContents contents;
    ASSERT_TRUE(ReadAdapter(machine_, contents));
    const Release* installed = InstalledRelease(contents);
    ASSERT_NE(installed, nullptr) << Describe(contents);
    // Both installations happened, one after the other; the later one stays.
    ASSERT_GE(contents.log_versions.size(), 2u);
    std::set<std::string> last_two(contents.log_versions.end() - 2, contents.log_versions.end());
    EXPECT_EQ(last_two, (std::set<std::string>{kReleases[0].version, kReleases[1].version}))
        << Describe(contents);
  }
}

TEST_F(ConcurrentHosts, BackupDuringAnInstallationIsABeforeOrAfterCopy) {
  std::set<std::string> seen;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const size_t release = round % 2;
    AdapterContents before;
    ASSERT_TRUE(ReadAdapter(machine_, before));
    std::string backup = dir_.File("backup" + std::to_string(round) + ".pkg");
    std::vector<HostOutcome> outcomes =
        RunTogether(machine_, {FlashCall(release), {"dump", backup, "0", "3", "0", "0"}});
    for (const HostOutcome& outcome : outcomes) {
      EXPECT_TRUE(outcome.exited_cleanly && outcome.answered) << outcome.diagnostic;
    }
    EXPECT_EQ(outcomes[0].result, 1);
    EXPECT_EQ(outcomes[1].result, 0);
    AdapterContents after;
    ASSERT_TRUE(ReadAdapter(machine_, after));
    EXPECT_EQ(InstalledRelease(after), &kReleases[release]) << Describe(after);

    AdapterContents copy;
    ASSERT_TRUE(ReadBackup(backup, copy));
    const Release* copied = InstalledRelease(copy);
    ASSERT_TRUE(copied == InstalledRelease(before) || copied == &kReleases[release])
        << Describe(copy);
    seen.insert(copied->version);
    // Nothing is left beside the backup.
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      EXPECT_NE(entry.path().filename().string().rfind(".skyfw-", 0), 0u) << entry.path();
    }
  }
  std::cout << "backups taken: " << seen.size() << " distinct states\n";
}

TEST_F(ConcurrentHosts, DiscoveryDuringAnInstallationReportsOneVersion) {
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const size_t release = round % 2;
    AdapterContents before;
    ASSERT_TRUE(ReadAdapter(machine_, before));
    const Release* previous = InstalledRelease(before);
    ASSERT_NE(previous, nullptr);
    std::string document = dir_.File("discovery.xml");
    std::vector<HostOutcome> outcomes =
        RunTogether(machine_, {FlashCall(release), {"discover", document, firmware_[1 - release]}});
    for (const HostOutcome& outcome : outcomes) {
      EXPECT_TRUE(outcome.exited_cleanly && outcome.answered) << outcome.diagnostic;
    }
    EXPECT_EQ(outcomes[0].result, 1);
    EXPECT_EQ(outcomes[1].result, 0);
    std::string text = ReadFile(document);
    EXPECT_NE(text.find("</qv_rom_discovery>"), std::string::npos) << text;
    bool old_version =
        text.find("<active_version value=\"" + previous->version + "\" />") != std::string::npos;
    bool new_version = text.find("<active_version value=\"" + kReleases[release].version +
                                 "\" />") != std::string::npos;
    EXPECT_TRUE(old_version || new_version) << text;
    AdapterContents after;
    ASSERT_TRUE(ReadAdapter(machine_, after));
    EXPECT_EQ(InstalledRelease(after), &kReleases[release]) << Describe(after);
  }
}

}  // namespace
}  // namespace skyfw::testing
