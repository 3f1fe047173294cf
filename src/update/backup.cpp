#include "update/backup.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <new>
#include <vector>

#include "nvm/nvm_operations.h"
#include "update/adapter_update_lock.h"
#include "base/narrow_text.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "os/calendar.h"
#include "os/file_writer.h"
#include "platform/platform.h"
#include "update/package_version.h"

namespace skyfw {
namespace {

constexpr size_t kMaxBackupItems = 100;
constexpr size_t kPropertyAreaBytes = 512;
constexpr size_t kDescriptionBytes = 256;
constexpr size_t kTimeTextBytes = 64;
constexpr size_t kInstalledVersionBytes = 256;
constexpr size_t kNameBytes = 1024;

void SetTextProperty(std::span<uint8_t> area, uint8_t tag, const std::string& text) {
  SetStringProperty(area, tag, text, text.size());
}

void SetIdProperty(std::span<uint8_t> area, uint8_t tag, uint32_t id) {
  const uint8_t value[2] = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
  SetProperty(area, tag, value);
}

std::string CreationTime() {
  std::time_t now = platform::Current().system().CurrentTime();
  std::tm utc{};
  if (now == static_cast<std::time_t>(-1) || !platform::UtcCalendarTime(now, utc)) return {};
  std::array<char, kTimeTextBytes> text{};
  std::snprintf(text.data(), text.size(), "%04u-%02u-%02u %02u:%02u:%02uZ",
                static_cast<unsigned>(utc.tm_year + 1900), static_cast<unsigned>(utc.tm_mon + 1),
                static_cast<unsigned>(utc.tm_mday), static_cast<unsigned>(utc.tm_hour),
                static_cast<unsigned>(utc.tm_min), static_cast<unsigned>(utc.tm_sec));
  return text.data();
}

// The properties that tie the backup to its device, in the order written.
std::vector<uint8_t> BackupProperties(const DeviceRecord& device, const std::string& adapter) {
  std::vector<uint8_t> area(kPropertyAreaBytes, 0);
  std::string mac = NarrowText(device.macText, kNameBytes);
  std::vector<char> description(kDescriptionBytes, '\0');
  std::snprintf(description.data(), description.size(), "Backup of %s [%s]", adapter.c_str(),
                mac.c_str());
  SetTextProperty(area, kPropertyDescription, description.data());
  SetIdProperty(area, kPropertyDeviceIds, device.deviceId);
  SetIdProperty(area, kPropertySubsystemVendor, device.subVendorId);
  SetIdProperty(area, kPropertySubsystemId, device.subDeviceId);
  SetTextProperty(area, kPropertyCreator, "root");
  SetTextProperty(area, kPropertyCreationTime, CreationTime());
  std::array<char, kInstalledVersionBytes> version{};
  velonvmGetPackageVersion(adapter, version);
  version.back() = '\0';
  if (version[0] != '\0') SetTextProperty(area, kPropertyVersion, version.data());
  return area;
}

void EncodeIdentity(const NvmDirEntry& entry, PackageItemEntry& record) {
  record.set_dir_type(entry.dir_type);
  record.set_dir_ordinal(entry.dir_ordinal);
  record.set_dir_ext(entry.dir_ext);
  record.set_dir_attr(entry.dir_attr);
  record.set_data_offset(entry.dir_offset);
  record.set_dir_item_length(entry.dir_item_length);
  record.set_data_length(entry.dir_data_length);
  record.set_checksum(entry.dir_checksum);
}

// Every non-empty directory entry as a record with its data read from the
// adapter.
NvmStatus ReadItems(const std::string& adapter, std::vector<PackageItemEntry>& records,
                    std::vector<std::vector<uint8_t>>& data) {
  std::vector<NvmDirEntry> directory(kMaxBackupItems);
  uint32_t count = 0;
  NvmStatus status = velonvmListDirectory(adapter, count, directory);
  if (status < 0) return status;
  if (count > directory.size()) return NVCRETVAL_INSUFFICIENT_SPACE;
  for (uint32_t i = 0; i < count; ++i) {
    const NvmDirEntry& entry = directory[i];
    if (entry.dir_type == 0) continue;
    std::vector<uint8_t> bytes;
    if (entry.dir_data_length != 0) {
      try {
        bytes.resize(entry.dir_data_length);
      } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "!MALLOC FAILURE of %u bytes for item %u\n", entry.dir_data_length, i);
        return NVCRETVAL_MALLOC_FAILURE;
      }
      status = velonvmGetItem(adapter, i, 0, bytes);
      if (status < 0) {
        std::fprintf(stderr, "velonvmGetItem(%u, %p, %u) returned %d\n", i,
                     static_cast<void*>(bytes.data()), entry.dir_data_length, status);
        return status;
      }
    }
    PackageItemEntry record;
    EncodeIdentity(entry, record);
    records.push_back(record);
    data.push_back(std::move(bytes));
  }
  return NVCRETVAL_SUCCESS;
}

NvmStatus WriteBackupFile(const std::string& path, ByteView properties,
                          std::span<PackageItemEntry> records, std::span<const ByteView> data) {
  platform::FileWriter file;
  if (int error = file.Open(path); error != 0) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), platform::FileErrorText(error).c_str());
    return NVCRETVAL_FILE_OPEN_FAILURE;
  }
  int32_t failing_record = -1;
  NvmStatus status = WritePackage(file.stream(), properties, properties.size(), records, data,
                                  &failing_record, false);
  if (status < 0) {
    if (failing_record >= 0) {
      std::fprintf(stderr, "Package creation error (%d) with item #%d\n", status,
                   failing_record + 1);
    }
    return status;
  }
  if (int error = file.Commit(); error != 0) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), platform::FileErrorText(error).c_str());
    return NVCRETVAL_FILE_WRITE_FAILURE;
  }
  return NVCRETVAL_SUCCESS;
}

}  // namespace

NvmStatus CreateBackupPackage(const DeviceRecord& device, const std::string& path) {
  const std::string adapter = NarrowText(device.adapterName, kNameBytes);
  std::vector<PackageItemEntry> records;
  std::vector<std::vector<uint8_t>> data;
  std::vector<uint8_t> properties;
  {
    // The copy shows the adapter as one update left it, never half-way
    // through another host's.
    AdapterUpdateLock update_lock(adapter);
    if (update_lock.busy()) {
      std::fprintf(stderr, "%s is busy with another update\n", adapter.c_str());
      return NVCRETVAL_FAILURE;
    }
    NvmStatus status = ReadItems(adapter, records, data);
    if (status < 0) return status;
    properties = BackupProperties(device, adapter);
  }

  std::vector<ByteView> views(data.begin(), data.end());
  return WriteBackupFile(path, properties, records, views);
}

}  // namespace skyfw
