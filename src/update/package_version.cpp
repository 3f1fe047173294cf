#include "update/package_version.h"

#include <algorithm>
#include <new>
#include <vector>

#include "base/text_conversion.h"
#include "nvm/direct_transport.h"
#include "nvm/nvm_operations.h"
#include "nvm/wmi_helper.h"

namespace skyfw {

namespace {

constexpr uint8_t kRecordSeparator = 0x0A;
constexpr uint8_t kFieldSeparator = 0x09;
constexpr size_t kVersionField = 2;

// Copies `text` and its terminator into `buffer`; false when they do not fit.
bool CopyWhole(std::string_view text, std::span<char> buffer) {
  if (text.size() >= buffer.size()) return false;
  std::copy(text.begin(), text.end(), buffer.begin());
  buffer[text.size()] = '\0';
  return true;
}

// The part of a package log of `data_length` bytes that holds the records:
// the final 288 bytes of a log ending in a trailer, else all of it.
NvmStatus LogRecordArea(uint16_t attr, uint32_t data_length, uint32_t& offset, uint32_t& length) {
  offset = 0;
  length = data_length;
  if ((attr & kDirAttrTrailer) != 0) {
    if (data_length < kPackageLogTrailerBytes) return NVCRETVAL_TRAILER_NOT_FOUND;
    offset = data_length - static_cast<uint32_t>(kPackageLogTrailerBytes);
    length = static_cast<uint32_t>(kPackageLogTrailerBytes);
  } else if (data_length < kPackageLogMinimumBytes) {
    return NVCRETVAL_INVALID_DATA_LENGTH;
  }
  return NVCRETVAL_SUCCESS;
}

// The version of the records read, cut to 127 bytes and to the buffer.
NvmStatus DeliverLogVersion(ByteView records, std::span<char> buffer) {
  std::string version;
  if (!PackageLogVersion(records, version)) return NVCRETVAL_VERSION_INFO_NOT_FOUND;
  if (version.size() > kPackageVersionBytes) version.resize(kPackageVersionBytes);
  size_t copied = std::min(version.size(), buffer.size() - 1);
  std::copy_n(version.begin(), copied, buffer.begin());
  buffer[copied] = '\0';
  return NVCRETVAL_SUCCESS;
}

// The direct form of the driver query: the driver's direct interface has no
// version of its own, so the version comes from the package log it reads.
NvmStatus QueryPackageLogDirect(std::string_view adapter, std::span<char> buffer) {
  std::fill(buffer.begin(), buffer.end(), '\0');
  if (buffer.empty()) return NVCRETVAL_INSUFFICIENT_SPACE;
  NvmDirEntry entry;
  std::vector<uint8_t> log;
  NvmStatus status = DirectReadPackageLog(adapter, entry, log);
  if (status != NVCRETVAL_SUCCESS) return status;
  uint32_t offset = 0;
  uint32_t length = 0;
  status = LogRecordArea(entry.dir_attr, static_cast<uint32_t>(log.size()), offset, length);
  if (status != NVCRETVAL_SUCCESS) return status;
  return DeliverLogVersion(ByteView(log).subspan(offset, length), buffer);
}

}  // namespace

bool PackageLogVersion(ByteView log, std::string& version) {
  version.clear();
  size_t end = log.size();
  while (end > 0 && log[end - 1] == 0) --end;
  if (end == 0) return false;
  // A line feed at the very end closes the last record; it starts none.
  if (log[end - 1] == kRecordSeparator) --end;
  ByteView data = log.first(end);

  auto record_start = std::find(data.rbegin(), data.rend(), kRecordSeparator).base();
  ByteView record = data.subspan(static_cast<size_t>(record_start - data.begin()));
  size_t field = 0;
  size_t field_start = 0;
  for (size_t i = 0; i <= record.size(); ++i) {
    if (i < record.size() && record[i] != kFieldSeparator) continue;
    if (field == kVersionField) {
      ByteView text = record.subspan(field_start, std::min(i - field_start, kPackageLogFieldBytes));
      version.assign(text.begin(), text.end());
      return true;
    }
    ++field;
    field_start = i + 1;
  }
  return false;
}

NvmStatus velonvmGetPackageVersion(std::string_view adapter, std::span<char> buffer) {
  if (velonvmQueryPackageVersion(adapter, buffer) == NVCRETVAL_SUCCESS) return NVCRETVAL_SUCCESS;
  return velonvmReadPackageLogVersion(adapter, buffer);
}

NvmStatus velonvmQueryPackageVersion(std::string_view adapter, std::span<char> buffer) {
  if (velonvmUseDirectAccess(adapter, 1)) return QueryPackageLogDirect(adapter, buffer);
  std::u16string instance;
  if (!Utf8ToUtf16(adapter, instance)) return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  std::u16string wide;
  {
    WmiHelper wmi(kWmiNamespace);
    if (!wmi.IsConnected()) return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
    platform::WmiObjectPtr package;
    if (!wmi.GetInstanceByName(u"NRVN_NVRAMPackage", instance, package) ||
        !GetText(package, u"Version", wide)) {
      return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
    }
  }
  if (wide.empty()) return NVCRETVAL_VERSION_INFO_NOT_FOUND;
  std::string text;
  if (!Utf16ToUtf8(wide, text)) return NVCRETVAL_FAILURE;
  return CopyWhole(text, buffer) ? NVCRETVAL_SUCCESS : NVCRETVAL_FAILURE;
}

NvmStatus velonvmReadPackageLogVersion(std::string_view adapter, std::span<char> buffer) {
  std::fill(buffer.begin(), buffer.end(), '\0');
  if (buffer.empty()) return NVCRETVAL_INSUFFICIENT_SPACE;

  NvmDirEntry entry;
  int32_t index = velonvmFindDirEntry(adapter, kPackageLogItemType, 0, 0, &entry);
  if (index < 0) return index;
  uint32_t offset = 0;
  uint32_t length = 0;
  NvmStatus status = LogRecordArea(entry.dir_attr, entry.dir_data_length, offset, length);
  if (status != NVCRETVAL_SUCCESS) return status;
  // The length is the driver's word; the direct transport caps it the same.
  if (length > kMaxDriverTransferBytes) return NVCRETVAL_INSUFFICIENT_SPACE;
  std::vector<uint8_t> records;
  try {
    records.assign(length, 0);
  } catch (const std::bad_alloc&) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  status = velonvmGetItem(adapter, static_cast<uint32_t>(index), offset, records);
  if (status != NVCRETVAL_SUCCESS) return status;
  return DeliverLogVersion(records, buffer);
}

}  // namespace skyfw
