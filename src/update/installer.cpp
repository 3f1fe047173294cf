#include "update/installer.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "diag/event_log.h"
#include "base/text_conversion.h"
#include "diag/trace_log.h"
#include "update/file_helpers.h"
#include "base/result_codes.h"
#include "nvm/nvm_operations.h"
#include "update/adapter_update_lock.h"
#include "update/firmware_action.h"
#include "package/item_types.h"
#include "base/narrow_text.h"
#include "base/nvm_status.h"
#include "update/package_check_cache.h"
#include "package/package_format.h"
#include "package/package_verifier.h"
#include "package/vpd.h"
#include "update/package_version.h"

namespace skyfw {
namespace {

// Limits of the working texts.
constexpr size_t kNameBytes = 1024;             // adapter name, product label
constexpr size_t kProductNameUnits = 1024;      // product name in the device record
constexpr size_t kInstalledVersionBytes = 256;  // installed package version
constexpr size_t kPrerequisiteBytes = 128;
constexpr size_t kPackageVersionBuffer = 128;  // read with room for its terminator
constexpr size_t kEventTextBytes = 1024;
constexpr size_t kVpdBufferBytes = 4096;
constexpr size_t kVpdPrefixBytes = 4;
constexpr uint32_t kInstallTypeNormal = 0;

constexpr AdapterNameRow kAdapterNames[] = {
    {"Norvane Skyline S1 10GbE SFP+ Adapter", "Norvane Skyline S1 10GbE SFP+ Adapter"},
    {"Norvane Skyline S1 Dual Port 10GbE SFP+ Adapter",
     "Norvane Skyline S1 Dual Port 10GbE SFP+ Adapter"},
    {"Norvane Skyline S1 Dual Port 10GBASE-T Adapter",
     "Norvane Skyline S1 Dual Port 10GBASE-T Adapter"},
    {"Norvane Skyline S2 25GbE SFP28 Adapter", "Norvane Skyline S2 25GbE SFP28 Adapter"},
    {"Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter",
     "Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter"},
    {"Norvane Skyline S4 Quad Port 25GbE SFP28 Adapter",
     "Norvane Skyline S4 Quad Port 25GbE SFP28 Adapter"},
};

// Cuts a text to a buffer of `capacity` bytes with its terminator.
std::string CutToBuffer(std::string text, size_t capacity) {
  if (text.size() >= capacity) text.resize(capacity - 1);
  return text;
}

// A printf-formatted text cut to a buffer of `capacity` bytes.
__attribute__((format(printf, 2, 3))) std::string FormatText(size_t capacity, const char* format,
                                                             ...) {
  std::vector<char> buffer(capacity, '\0');
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
  va_end(arguments);
  return std::string(buffer.data());
}

// The VPD item's identity, or an empty one when the adapter has no VPD item
// (then nothing is traced and the product name stays).
void ReadDeviceIdentity(const std::string& adapter, DeviceRecord& device, VpdIdentity& identity) {
  if (velonvmFindDirEntry(adapter, kVpdItemType, 0, 0, nullptr) < 0) return;
  std::vector<uint8_t> vpd(kVpdBufferBytes, 0);
  int32_t length = velonvmReadItem(adapter, kVpdItemType, 0, 0, vpd, nullptr);
  if (length >= static_cast<int32_t>(kVpdPrefixBytes)) {
    ByteView proper = ByteView(vpd).subspan(kVpdPrefixBytes, length - kVpdPrefixBytes);
    ReadVpdIdentity(proper, identity, [](const std::string& message) {
      TraceReport(TraceLevel::DEBUG, "%s", message.c_str());
    });
  }
  TraceInfo("VA VALUE:%s\n", identity.va.c_str());
  for (const AdapterNameRow& row : kAdapterNames) {
    if (identity.identifier == row.vpdIdentifier) {
      std::u16string name;
      Utf8ToUtf16(row.productName, name);
      if (name.size() > kProductNameUnits) name.resize(kProductNameUnits);
      device.productName = name;
      break;
    }
  }
}

std::string InstalledPackageVersion(const std::string& adapter) {
  std::array<char, kInstalledVersionBytes> version{};
  velonvmGetPackageVersion(adapter, version);
  version.back() = '\0';
  std::string text(version.data());
  TraceInfo("NVM VER VAL:%s LEN :%d\n", text.c_str(), static_cast<int>(text.size()));
  return text;
}

// The installed package version when it looks like one, else the VPD's VA.
std::string CurrentVersion(const std::string& installed, const VpdIdentity& identity) {
  if (installed.size() >= 4 && installed != "0.0.0" && installed != "0.0.0.0") return installed;
  return identity.va;
}

std::string PackageVersionProperty(ByteView package) {
  std::array<uint8_t, kPackageVersionBuffer> version{};
  GetProperty(package, kPropertyVersion,
              std::span<uint8_t>(version.data(), kPackageVersionBuffer - 1));
  return std::string(reinterpret_cast<const char*>(version.data()));
}

// The package's checks in their order; each refusal is one trace line.
bool CheckPackage(const DeviceRecord& device, const std::string& path, ByteView package,
                  const std::string& installed_version, uint32_t& item_count,
                  CheckedPackageFile* checked) {
  NvmStatus status = GetPackageItemCount(package, item_count);
  if (status < 0) {
    TraceReport(TraceLevel::DEBUG, "Package %s count error: %s\n", path.c_str(),
                NvmStatusText(status));
    return false;
  }
  std::string prerequisite;
  if (!IsPrerequisiteMet(package, installed_version, &prerequisite)) {
    prerequisite = CutToBuffer(prerequisite, kPrerequisiteBytes);
    TraceReport(TraceLevel::DEBUG, "Package %s skipped (prerequisite not met: %s)\n", path.c_str(),
                prerequisite.c_str());
    return false;
  }
  if (CheckPackageApplicability(
          package, static_cast<uint16_t>(device.vendorId), static_cast<uint16_t>(device.deviceId),
          static_cast<uint16_t>(device.subVendorId), static_cast<uint16_t>(device.subDeviceId),
          static_cast<int>(device.revision)) != 0) {
    TraceReport(TraceLevel::DEBUG, "Package %s skipped (not applicable to this device)\n",
                path.c_str());
    return false;
  }
  int32_t failing_item = -1;
  // Verification does not depend on the device: once per file and call.
  if (checked != nullptr && checked->verified) {
    status = checked->verifyStatus;
    failing_item = checked->failingItem;
  } else {
    status = VerifyPackage(package, &failing_item);
    if (checked != nullptr) {
      checked->verified = true;
      checked->verifyStatus = status;
      checked->failingItem = failing_item;
    }
  }
  if (status < 0) {
    if (failing_item >= 0) {
      TraceReport(TraceLevel::DEBUG, "\nPackage %s verification error: %s with packaged item #%d\n",
                  path.c_str(), NvmStatusText(status), failing_item + 1);
    } else {
      TraceReport(TraceLevel::DEBUG, "\nPackage %s verification error: %s\n", path.c_str(),
                  NvmStatusText(status));
    }
    return false;
  }
  return true;
}

void ReportAction(const std::string& label, const std::string& current_version,
                  const std::string& package_version, const std::string& action) {
  EventLogReport(FormatText(kEventTextBytes, "QVFWUPG : %s : Current Firmware version : %s\n",
                            label.c_str(), current_version.c_str()),
                 kEventCurrentVersion);
  std::string event;
  if (action == kActionDowngrade) {
    event = FormatText(kEventTextBytes, "QVFWUPG : %s : Downgrading to Firmware version : %s\n",
                       label.c_str(), package_version.c_str());
  } else if (action == kActionUpgrade) {
    event = FormatText(kEventTextBytes, "QVFWUPG : %s : Upgrading to Firmware version : %s\n",
                       label.c_str(), package_version.c_str());
  } else {
    event = FormatText(kEventTextBytes, "QVFWUPG : %s : Rewriting Firmware version : %s\n",
                       label.c_str(), package_version.c_str());
  }
  EventLogReport(event, kEventAction);
}

void ReportInstallFailure(const std::string& label, const std::string& path, int32_t result,
                          int32_t problem_item) {
  const std::string status_text = NvmStatusText(result);
  const char* status = status_text.c_str();
  std::string event;
  if (problem_item >= 0) {
    TraceReport(TraceLevel::DEBUG, "%s: Install error %s with packaged item #%d\n", path.c_str(),
                status, problem_item + 1);
    event = FormatText(kEventTextBytes,
                       "Error : QVFWUPG : %s : %s: Install error %s with packaged item #%d\n",
                       label.c_str(), path.c_str(), status, problem_item + 1);
  } else {
    TraceReport(TraceLevel::DEBUG, "%s: Install error %s\n", path.c_str(), status);
    event = FormatText(kEventTextBytes, "Error : QVFWUPG : %s : %s: Install error %s\n",
                       label.c_str(), path.c_str(), status);
  }
  EventLogReport(event, kEventInstallFailed);
}

void ReportInstallSuccess(const std::string& label, const std::string& path, uint32_t installed,
                          uint32_t item_count) {
  std::string file_name;
  BaseName(path, file_name);
  std::string event;
  if (installed == 0) {
    TraceReport(TraceLevel::DEBUG, "%s: Successfully installed package\n", path.c_str());
    event = FormatText(kEventTextBytes, "QVFWUPG : %s : %s: Successfully installed package\n",
                       label.c_str(), file_name.c_str());
  } else {
    TraceReport(TraceLevel::DEBUG, "%s: Successfully installed %u of %u packaged items.\n",
                path.c_str(), installed, item_count);
    event = FormatText(kEventTextBytes,
                       "QVFWUPG : %s :  %s: Successfully installed %u of %u packaged items.\n",
                       label.c_str(), file_name.c_str(), installed, item_count);
  }
  EventLogReport(event, kEventInstallSucceeded);
}

// Sets the identity keywords that were not empty before the install in a VPD
// item's data (prefix included) and its checksum. Every keyword is tried; the
// first failure is returned.
NvmStatus PutIdentityKeywords(std::span<uint8_t> item, const VpdIdentity& identity) {
  if (item.size() < kVpdPrefixBytes) return NVCRETVAL_INVALID_DATA_LENGTH;
  std::span<uint8_t> proper = item.subspan(kVpdPrefixBytes);
  const std::pair<const char*, const std::string*> keywords[] = {
      {"MN", &identity.mn}, {"PN", &identity.pn}, {"SN", &identity.sn}, {"EC", &identity.ec}};
  NvmStatus first_failure = NVCRETVAL_SUCCESS;
  for (const auto& [keyword, value] : keywords) {
    if (value->empty()) continue;
    NvmStatus status =
        SetVpdKeyword(proper, kVpdReadOnly, keyword,
                      ByteView(reinterpret_cast<const uint8_t*>(value->data()), value->size()));
    if (status < 0 && first_failure == NVCRETVAL_SUCCESS) first_failure = status;
  }
  NvmStatus status = UpdateVpdChecksum(proper);
  return first_failure != NVCRETVAL_SUCCESS ? first_failure : status;
}

bool HasIdentityKeywords(const VpdIdentity& identity) {
  return !identity.mn.empty() || !identity.pn.empty() || !identity.sn.empty() ||
         !identity.ec.empty();
}

// The firmware replaces the adapter's VPD item with the package's own, and
// the identity is written back into that afterwards. Tried on a copy before
// anything is sent: an identity that would not fit (or a VPD item too large
// to be read back) would be lost with the old VPD. `item_index` names the
// package's VPD item.
NvmStatus CheckIdentityFits(ByteView package, const VpdIdentity& identity, int32_t& item_index) {
  item_index = -1;
  if (!HasIdentityKeywords(identity)) return NVCRETVAL_SUCCESS;
  PackageItemEntry entry;
  uint32_t index = 0;
  NvmStatus found = FindPackageItem(package, kVpdItemType, 0, 0, entry, &index);
  if (found == NVCRETVAL_ITEM_NOT_FOUND) return NVCRETVAL_SUCCESS;  // the adapter keeps its VPD
  if (found < 0) return found;
  item_index = static_cast<int32_t>(index);
  ByteView data;
  if (!ByteReader(package).ViewAt(entry.data_offset(), entry.data_length(), data)) {
    return NVCRETVAL_INVALID_MANIFEST;
  }
  if (data.size() > kVpdBufferBytes) return NVCRETVAL_INSUFFICIENT_SPACE;
  std::vector<uint8_t> copy(data.begin(), data.end());
  return PutIdentityKeywords(copy, identity);
}

// The firmware writes the package's own VPD; the adapter keeps its identity.
// Values that were empty before the install are left as the package set them.
void RestoreIdentityKeywords(const std::string& adapter, const VpdIdentity& identity) {
  if (velonvmFindDirEntry(adapter, kVpdItemType, 0, 0, nullptr) < 0) return;
  std::vector<uint8_t> vpd(kVpdBufferBytes, 0);
  int32_t length = velonvmReadItem(adapter, kVpdItemType, 0, 0, vpd, nullptr);
  if (length < static_cast<int32_t>(kVpdPrefixBytes)) return;
  std::span<uint8_t> item = std::span<uint8_t>(vpd).first(static_cast<size_t>(length));
  PutIdentityKeywords(item, identity);
  velonvmWriteItem(adapter, kVpdItemType, 0, 0, 0, item);
}

}  // namespace

std::span<const AdapterNameRow> AdapterNameTable() { return kAdapterNames; }

bool ProcessPackage(DeviceRecord& device, const std::string& package_path,
                    std::string& package_version, std::string& current_version,
                    bool current_version_only, std::string& action, bool install) {
  const std::string adapter = NarrowText(device.adapterName, kNameBytes);
  // An installation owns the adapter from reading its identity until the
  // identity is written back, so that no other host's update interleaves.
  std::optional<AdapterUpdateLock> update_lock;
  if (install) {
    update_lock.emplace(adapter);
    if (update_lock->busy()) {
      TraceReport(TraceLevel::DEBUG, "Package %s not installed: %s is busy with another update\n",
                  package_path.c_str(), adapter.c_str());
      return false;
    }
  }
  VpdIdentity identity;
  ReadDeviceIdentity(adapter, device, identity);
  const std::string label = NarrowText(device.productName, kNameBytes);
  const std::string installed_version = InstalledPackageVersion(adapter);
  current_version = CurrentVersion(installed_version, identity);
  if (current_version_only) return true;

  // Checking reads the file once per entry-point call (when the call keeps a
  // PackageCheckScope); an installation always reads it afresh.
  NvmPackage own_file;
  CheckedPackageFile* checked = install ? nullptr : FindCheckedPackageFile(package_path);
  NvmStatus status =
      checked != nullptr ? checked->readStatus : ReadPackageFile(package_path, own_file);
  NvmPackage& file = checked != nullptr ? checked->file : own_file;
  if (status < 0) {
    TraceReport(TraceLevel::DEBUG, "Package %s read error: %s\n", package_path.c_str(),
                NvmStatusText(status));
    return false;
  }
  // Every check, and the firmware, see the package itself (inside its
  // wrapper when the file has one).
  const ByteView package = file.package();
  uint32_t item_count = 0;
  if (!CheckPackage(device, package_path, package, installed_version, item_count, checked)) {
    return false;
  }

  package_version = PackageVersionProperty(package);
  action = ChooseFirmwareAction(current_version, package_version);
  if (!install) return true;

  int32_t vpd_item = -1;
  status = CheckIdentityFits(package, identity, vpd_item);
  if (status < 0) {
    TraceReport(TraceLevel::DEBUG,
                "Package %s not installed: the adapter's identity (MN, PN, SN, EC) does not fit "
                "into the package's VPD item\n",
                package_path.c_str());
    ReportInstallFailure(label, package_path, status, vpd_item);
    return false;
  }

  ReportAction(label, current_version, package_version, action);
  int32_t problem_item = -1;
  uint8_t reset_required = 0;
  int32_t result =
      velonvmInstallPackage(adapter, package, &problem_item, &reset_required, kInstallTypeNormal);
  file.Release();
  if (result < 0) {
    ReportInstallFailure(label, package_path, result, problem_item);
    return false;
  }
  ReportInstallSuccess(label, package_path, static_cast<uint32_t>(result), item_count);
  RestoreIdentityKeywords(adapter, identity);
  return true;
}

int32_t InstallPackageFile(DeviceRecord& device, const std::string& package_path) {
  std::string package_version;
  std::string current_version;
  std::string action;
  return ProcessPackage(device, package_path, package_version, current_version, false, action, true)
             ? kHostSuccessRebootRequired
             : kHostFlashFailed;
}

}  // namespace skyfw
