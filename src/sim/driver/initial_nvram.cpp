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

}  // namespace

NvramFile BuildInitialNvram(const AdapterDescription& adapter) {
  NvramFile file;
  NvramImage& nvram = file.nvram;
  if (adapter.vpd) {
    std::vector<uint8_t> vpd = BuildVpdItem(*adapter.vpd);
    uint32_t length = std::max<uint32_t>(kVpdItemLength, static_cast<uint32_t>(vpd.size()));
    nvram.items.push_back({kItemTypeVpd, 0, 0, 0, length, std::move(vpd)});
  }
  nvram.items.push_back(PackageLogItem(adapter));
  if (adapter.update_area_length != 0) {
    nvram.items.push_back(
        {kItemTypeUpdateArea, 0, 0, kUpdateAreaAttributes, adapter.update_area_length, {}});
  }
  for (const NvramItemDescription& item : adapter.nvram_items) {
    uint32_t length = std::max<uint32_t>(item.item_length, static_cast<uint32_t>(item.data.size()));
    nvram.items.push_back(
        {item.type, item.ordinal, item.extension, item.attributes, length, item.data});
  }
  // Flash large enough for the factory image with room to grow, as far as a
  // 32-bit size goes.
  nvram.capacity = static_cast<uint32_t>(std::min<uint64_t>(
      UINT32_MAX, std::max<uint64_t>(nvram.capacity, AllocatedBytes(nvram) + (uint64_t{4} << 20))));
  nvram.max_entries =
      std::max<uint32_t>(nvram.max_entries, static_cast<uint32_t>(nvram.items.size()));
  return file;
}

}  // namespace skyfw::sim
