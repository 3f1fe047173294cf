#include "sim/driver/firmware_install.h"

#include <utility>
#include <vector>

#include "sim/driver/package_log.h"

namespace skyfw::sim {
namespace {

constexpr uint32_t kInstallTypeNormal = 0;

InstallOutcome Refusal(DriverError error, uint8_t problem_item = kNoProblemItem) {
  InstallOutcome outcome;
  outcome.result = InstallResultByte(error);
  outcome.problem_item = problem_item;
  return outcome;
}

// Items the running firmware picks up at once; anything else is a firmware
// image or setting that takes effect only after a reset.
bool TakesEffectWithoutReset(uint16_t type) {
  return type == kItemTypePackageLog || type == kItemTypeVpd;
}

// The staged package is consumed by every attempt; returns its bytes.
bool TakeStagedPackage(NvramImage& nvram, std::vector<uint8_t>& package) {
  std::optional<size_t> staged = FindItem(nvram, kItemTypeUpdateArea, 0, 0);
  if (!staged) return false;
  package = std::move(nvram.items[*staged].data);
  nvram.items[*staged].data.clear();
  return true;
}

// A packaged update-area entry only declares how large the staging area
// must be; the firmware grows it, never shrinks it.
DriverError SizeUpdateArea(NvramImage& nvram, const FirmwarePackageItem& item) {
  std::optional<size_t> staged = FindItem(nvram, item.type, item.ordinal, item.ext);
  if (staged && nvram.items[*staged].item_length >= item.item_length) return kDriverOk;
  uint32_t index = 0;
  return CreateItem(nvram, item.type, item.ordinal, item.ext, item.attr, item.item_length, index);
}

DriverError AppendLogRecord(NvramImage& nvram, const PackageLogRecord& record) {
  std::optional<size_t> log = FindItem(nvram, kItemTypePackageLog, 0, 0);
  if (!log) {
    uint32_t index = 0;
    DriverError error =
        CreateItem(nvram, kItemTypePackageLog, 0, 0, 0, kDefaultPackageLogSize, index);
    if (error != kDriverOk) return error;
    log = index;
  }
  NvramItem& item = nvram.items[*log];
  if (!AppendPackageLogRecord(item.data, FormatPackageLogRecord(record), item.item_length)) {
    return kDriverInsufficientSpace;
  }
  return kDriverOk;
}

}  // namespace

InstallOutcome InstallStagedPackage(NvramImage& nvram, uint32_t install_type,
                                    const FirmwareTime& clock) {
  std::vector<uint8_t> bytes;
  if (!TakeStagedPackage(nvram, bytes)) return Refusal(kDriverItemNotFound);
  if (install_type != kInstallTypeNormal) return Refusal(kDriverInvalidParameterValue);

  FirmwarePackage package;
  PackageProblem problem = ReadFirmwarePackage(bytes, package);
  if (problem.error != kDriverOk) return Refusal(problem.error, problem.item);

  NvramImage next = nvram;
  InstallOutcome outcome;
  for (size_t k = 0; k < package.items.size(); ++k) {
    const FirmwarePackageItem& item = package.items[k];
    uint8_t problem_item = static_cast<uint8_t>(k);
    if (item.type == kItemTypeUpdateArea && item.ordinal == 0 && item.ext == 0) {
      if (DriverError error = SizeUpdateArea(next, item); error != kDriverOk) {
        return Refusal(error, problem_item);
      }
      continue;
    }
    uint32_t index = 0;
    DriverError error =
        CreateItem(next, item.type, item.ordinal, item.ext, item.attr, item.item_length, index);
    if (error == kDriverOk) error = ModifyItem(next, index, 0, item.data);
    if (error != kDriverOk) return Refusal(error, problem_item);
    outcome.installed_items |= uint64_t{1} << k;
    if (!TakesEffectWithoutReset(item.type)) outcome.reset_required = 1;
  }

  PackageLogRecord record;
  record.time = clock;
  record.version = package.version;
  record.installed_mask = outcome.installed_items;
  record.description = package.description;
  if (DriverError error = AppendLogRecord(next, record); error != kDriverOk) {
    return Refusal(error);
  }
  nvram = std::move(next);
  return outcome;
}

InstallOutcome RefuseStagedPackage(NvramImage& nvram, uint8_t result, uint8_t problem_item) {
  std::vector<uint8_t> ignored;
  TakeStagedPackage(nvram, ignored);
  InstallOutcome outcome;
  outcome.result = result;
  outcome.problem_item = problem_item;
  return outcome;
}

}  // namespace skyfw::sim
