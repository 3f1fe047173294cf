#include "seeds.h"

#include "builders.h"

namespace skyfw::fuzz {

std::vector<Bytes> PackageSeeds() {
  auto signer = tool::ImageSigner::Development();
  tool::PackagePlan plan;
  plan.description = "fuzz seed";
  plan.version = "21.6.2";
  plan.prerequisite = "20.1.0";
  plan.device_ids = {0x1657, 0x165F};
  plan.subsystem_vendor = 0x14E4;
  plan.subsystem_id = 0xFFFF;
  plan.lowest_revision = 0;
  plan.highest_revision = 3;
  const Bytes vpd = tool::BuildVpd("Skyline", {{"PN", "N1"}, {"SN", "S1"}});
  Bytes vpd_item(4, 0);
  vpd_item.insert(vpd_item.end(), vpd.begin(), vpd.end());
  plan.items = {
      {.type = 10, .data = tool::BuildHeaderSignedImage(*signer, 7, tool::FillerBytes(40, 1))},
      {.type = 8,
       .data = tool::BuildTrailerSignedImage(*signer, 8, tool::FillerBytes(20, 2), "1.0")},
      {.type = 61, .data = tool::BuildMarkedBlock(61, 330)},
      {.type = 5, .data = vpd_item},
      {.type = 0x30, .ordinal = 1, .item_length = 64, .data = tool::FillerBytes(7, 3)},
      {.type = 0x31, .directive = 3, .data = {}},
  };
  std::vector<Bytes> seeds;
  Bytes package;
  if (tool::BuildPackage(plan, package) == 0) {
    seeds.push_back(package);
    seeds.push_back(tool::WrapPackage(package));
  }
  tool::PackagePlan small;
  small.version = "1.0";
  small.items = {{.type = 0x40, .data = {1, 2, 3}}};
  if (tool::BuildPackage(small, package) == 0) seeds.push_back(package);
  return seeds;
}

std::vector<Bytes> VpdSeeds() {
  const std::vector<tool::VpdKeyword> read_write = {{"V1", "vendor"}, {"YA", "asset"}};
  return {
      tool::BuildVpd("Norvane Skyline 25G",
                     {{"PN", "N123"}, {"EC", "A1"}, {"MN", "14E4"}, {"SN", "SN0001"}, {"VA", "x"}}),
      tool::BuildVpd("ID", {{"pn", "lower"}}, 4, &read_write, 24),
      tool::BuildVpd("", {}, 1),
      {0x78},
  };
}

}  // namespace skyfw::fuzz
