#include "sim/driver/initial_nvram.h"

#include <algorithm>
#include <string>

#include "sim/driver/package_log.h"
#include "sim/driver/vpd_image.h"

namespace skyfw::sim {
namespace {

constexpr uint16_t kUpdateAreaAttributes = 1;

NvramItem PackageLogItem(const AdapterDescription& adapter) {
  NvramItem item{kItemTypePackageLog, 0, 0, 0, adapter.package_log_length, {}};
  // Appended as the firmware would, so records that do not fit push out the
  // oldest ones.
  for (const std::string& record : adapter.package_log) {
    AppendPackageLogRecord(item.data, record + "\n", item.item_length);
  }
  return item;
}

// The sizes of the VPD item and of a further item: both hold at least their
// data. BuildInitialNvram and InitialNvramBytes share them so that they agree.
uint32_t VpdItemLength(const std::vector<uint8_t>& vpd) {
  return std::max<uint32_t>(kVpdItemLength, static_cast<uint32_t>(vpd.size()));
}

uint32_t FurtherItemLength(const NvramItemDescription& item) {
  return std::max<uint32_t>(item.item_length, static_cast<uint32_t>(item.data.size()));
}

}  // namespace

NvramFile BuildInitialNvram(const AdapterDescription& adapter) {
  NvramFile file;
  NvramImage& nvram = file.nvram;
  if (adapter.vpd) {
    std::vector<uint8_t> vpd = BuildVpdItem(*adapter.vpd);
    const uint32_t length = VpdItemLength(vpd);
    nvram.items.push_back({kItemTypeVpd, 0, 0, 0, length, std::move(vpd)});
  }
  nvram.items.push_back(PackageLogItem(adapter));
  if (adapter.update_area_length != 0) {
    nvram.items.push_back(
        {kItemTypeUpdateArea, 0, 0, kUpdateAreaAttributes, adapter.update_area_length, {}});
  }
  for (const NvramItemDescription& item : adapter.nvram_items) {
    nvram.items.push_back({item.type, item.ordinal, item.extension, item.attributes,
                           FurtherItemLength(item), item.data});
  }
  // Flash large enough for the factory image with room to grow, as far as a
  // 32-bit size goes.
  nvram.capacity = static_cast<uint32_t>(std::min<uint64_t>(
      UINT32_MAX, std::max<uint64_t>(nvram.capacity, AllocatedBytes(nvram) + (uint64_t{4} << 20))));
  nvram.max_entries =
      std::max<uint32_t>(nvram.max_entries, static_cast<uint32_t>(nvram.items.size()));
  return file;
}

uint64_t InitialNvramBytes(const AdapterDescription& adapter) {
  uint64_t total = uint64_t{adapter.package_log_length} + adapter.update_area_length;
  if (adapter.vpd) total += VpdItemLength(BuildVpdItem(*adapter.vpd));
  for (const NvramItemDescription& item : adapter.nvram_items) total += FurtherItemLength(item);
  return total;
}

}  // namespace skyfw::sim
