#include "nvm/nvm_operations.h"

#include <algorithm>
#include <bit>
#include <ctime>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "base/text_conversion.h"
#include "nvm/direct_transport.h"
#include "nvm/wmi_helper.h"
#include "package/package_format.h"
#include "nvm/zeroed_buffer.h"
#include "platform/platform.h"

namespace skyfw {

using platform::WmiObjectPtr;

namespace {

constexpr std::u16string_view kNvramAccess = u"NRVN_NVRAMAccess";
constexpr std::u16string_view kFwTime = u"NRVN_FWTime";
constexpr std::u16string_view kHwDeviceAccess = u"NRVN_HwDeviceAccess";

// A raw directory beyond this is not an NVRAM directory but a driver fault.
constexpr size_t kMaxRawDirectoryBytes = 1024 * 1024;

using Inputs = std::function<bool(const WmiObjectPtr& input)>;
using Outputs = std::function<bool(const WmiObjectPtr& result)>;

bool InstanceName(std::string_view adapter, std::u16string& instance) {
  return Utf8ToUtf16(adapter, instance);
}

bool FitsU32(size_t value) { return value <= std::numeric_limits<uint32_t>::max(); }

// GetByteArray refuses a null buffer; a caller asking for no bytes needs none.
std::span<uint8_t> NonNull(std::span<uint8_t> buffer) {
  static uint8_t none = 0;
  return buffer.data() != nullptr ? buffer : std::span<uint8_t>(&none, 0);
}

// What a method failure turns into when the driver names no error: the call
// failed all the same, so it must not read as success.
NvmStatus FailedMethodStatus(std::string_view adapter) {
  NvmStatus status = velonvmGetLastError(adapter);
  return status == NVCRETVAL_SUCCESS ? NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE : status;
}

// One driver method on the adapter's instance, with its own connection.
// `inputs` null: the method takes no input object. Transport trouble, a
// refused input and a missing or mistyped output give -41; a failed method
// gives the driver's last error.
NvmStatus CallMethod(std::string_view adapter, std::u16string_view class_name,
                     std::u16string_view method, const Inputs& inputs, const Outputs& outputs) {
  std::u16string instance;
  if (!InstanceName(adapter, instance)) return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  bool method_failed = false;
  {
    WmiHelper wmi(kWmiNamespace);
    if (!wmi.IsConnected()) return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
    WmiObjectPtr input;
    if (inputs) {
      if (!wmi.PrepareMethod(class_name, method, input) || !inputs(input)) {
        return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
      }
    }
    WmiObjectPtr result;
    if (!wmi.ExecuteMethod(class_name, instance, method, input, result)) {
      method_failed = true;
    } else if (outputs && !outputs(result)) {
      return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
    }
  }
  // The last-error query opens its own connection, after this one is closed.
  return method_failed ? FailedMethodStatus(adapter) : NVCRETVAL_SUCCESS;
}

}  // namespace

bool DecodeNvmDirEntry(ByteView raw_directory, size_t offset, NvmDirEntry& entry) {
  ByteView bytes;
  if (!ByteReader(raw_directory).ViewAt(offset, kNvmDirEntryLength, bytes)) return false;
  ByteReader reader(bytes);
  return reader.ReadU16(entry.dir_type) && reader.ReadU16(entry.dir_ordinal) &&
         reader.ReadU16(entry.dir_ext) && reader.ReadU16(entry.dir_attr) &&
         reader.ReadU32(entry.dir_offset) && reader.ReadU32(entry.dir_item_length) &&
         reader.ReadU32(entry.dir_data_length) && reader.ReadU32(entry.dir_checksum);
}

bool velonvmUseDirectAccess(std::string_view, int32_t) { return false; }

NvmStatus velonvmGetLastError(std::string_view adapter) {
  std::u16string instance;
  if (!InstanceName(adapter, instance)) return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  WmiHelper wmi(kWmiNamespace);
  if (!wmi.IsConnected()) return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  WmiObjectPtr result;
  uint16_t code = 0;
  if (!wmi.ExecuteMethod(kNvramAccess, instance, u"GetNvmLastError", nullptr, result) ||
      !GetUInt16(result, u"ErrorCode", code)) {
    return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  }
  return -static_cast<NvmStatus>(code);
}

NvmStatus velonvmGetDirectory(std::string_view adapter, uint32_t& count, uint32_t& entry_length,
                              std::span<uint8_t> buffer) {
  if (velonvmUseDirectAccess(adapter, 1)) {
    return DirectGetDirectory(adapter, count, entry_length, buffer);
  }
  if (!FitsU32(buffer.size())) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  uint32_t entries = 0;
  uint32_t length = 0;
  NvmStatus status =
      CallMethod(adapter, kNvramAccess, u"GetDirectoryInfo", nullptr, [&](const WmiObjectPtr& r) {
        return GetUInt32(r, u"num_dir_entries", entries) &&
               GetUInt32(r, u"dir_entry_length", length);
      });
  if (status != NVCRETVAL_SUCCESS) return status;
  entry_length = length;
  if (length < kNvmDirEntryLength) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  count = entries;
  if (entries == 0) return NVCRETVAL_SUCCESS;

  return CallMethod(
      adapter, kNvramAccess, u"GetDirectoryEntries",
      [&](const WmiObjectPtr& in) {
        return PutInt32(in, u"length", static_cast<uint32_t>(buffer.size()));
      },
      [&](const WmiObjectPtr& r) {
        size_t copied = 0;
        return GetByteArray(r, u"buffer", NonNull(buffer), copied);
      });
}

NvmStatus velonvmListDirectory(std::string_view adapter, uint32_t& count,
                               std::span<NvmDirEntry> entries) {
  count = 0;
  std::vector<uint8_t> raw;
  if (!AllocateZeroed(raw, kRawDirectoryBytes)) return NVCRETVAL_MALLOC_FAILURE;
  uint32_t entry_length = 0;
  NvmStatus status = velonvmGetDirectory(adapter, count, entry_length, raw);
  if (status != NVCRETVAL_SUCCESS) return status;
  if (entries.data() == nullptr) return NVCRETVAL_SUCCESS;
  if (count > entries.size()) return NVCRETVAL_INSUFFICIENT_SPACE;

  // The first fetch holds 4096 bytes; a directory needing more is fetched
  // again whole rather than read past the bytes actually fetched.
  uint64_t needed = uint64_t{count} * entry_length;
  if (needed > raw.size()) {
    if (needed > kMaxRawDirectoryBytes) return NVCRETVAL_INSUFFICIENT_SPACE;
    if (!AllocateZeroed(raw, static_cast<size_t>(needed))) return NVCRETVAL_MALLOC_FAILURE;
    status = velonvmGetDirectory(adapter, count, entry_length, raw);
    if (status != NVCRETVAL_SUCCESS) return status;
    // The directory may have grown in between.
    if (count > entries.size() || uint64_t{count} * entry_length > raw.size()) {
      return NVCRETVAL_INSUFFICIENT_SPACE;
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (!DecodeNvmDirEntry(raw, size_t{i} * entry_length, entries[i])) {
      return NVCRETVAL_INSUFFICIENT_SPACE;
    }
  }
  return NVCRETVAL_SUCCESS;
}

int32_t velonvmFindDirEntry(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                            NvmDirEntry* entry) {
  if (entry != nullptr) *entry = NvmDirEntry{};
  std::vector<NvmDirEntry> directory;
  try {
    directory.resize(kFindDirEntryCapacity);
  } catch (const std::bad_alloc&) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  uint32_t count = 0;
  NvmStatus status = velonvmListDirectory(adapter, count, directory);
  if (status != NVCRETVAL_SUCCESS) return status;
  for (uint32_t i = 0; i < count; ++i) {
    const NvmDirEntry& candidate = directory[i];
    if (candidate.dir_type == type && candidate.dir_ext == ext &&
        candidate.dir_ordinal == ordinal) {
      if (entry != nullptr) *entry = candidate;
      return static_cast<int32_t>(i);
    }
  }
  return NVCRETVAL_ITEM_NOT_FOUND;
}

NvmStatus velonvmGetItem(std::string_view adapter, uint32_t index, uint32_t offset,
                         std::span<uint8_t> buffer) {
  if (velonvmUseDirectAccess(adapter, 1)) return DirectGetItem(adapter, index, offset, buffer);
  if (!FitsU32(buffer.size())) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  return CallMethod(
      adapter, kNvramAccess, u"Read",
      [&](const WmiObjectPtr& in) {
        return PutInt32(in, u"dir_index", index) &&
               PutInt32(in, u"length", static_cast<uint32_t>(buffer.size())) &&
               PutInt32(in, u"offset", offset);
      },
      [&](const WmiObjectPtr& r) {
        size_t copied = 0;
        return GetByteArray(r, u"buffer", NonNull(buffer), copied);
      });
}

int32_t velonvmReadItem(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                        std::span<uint8_t> buffer, NvmDirEntry* entry) {
  NvmDirEntry found;
  int32_t index = velonvmFindDirEntry(adapter, type, ordinal, ext, &found);
  if (entry != nullptr) *entry = found;
  if (index < 0) return index;
  if (found.dir_data_length > buffer.size()) return NVCRETVAL_INSUFFICIENT_SPACE;
  // The data length goes back as a non-negative result.
  if (found.dir_data_length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    return NVCRETVAL_INVALID_DATA_LENGTH;
  }
  NvmStatus status =
      velonvmGetItem(adapter, static_cast<uint32_t>(index), 0, buffer.first(found.dir_data_length));
  if (status != NVCRETVAL_SUCCESS) return status;
  return static_cast<int32_t>(found.dir_data_length);
}

int32_t velonvmCreateItem(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                          uint16_t attributes, uint32_t item_length) {
  if (velonvmUseDirectAccess(adapter, 1)) {
    return DirectCreateItem(adapter, type, ordinal, ext, attributes, item_length);
  }
  uint32_t index = 0;
  NvmStatus status = CallMethod(
      adapter, kNvramAccess, u"Create",
      [&](const WmiObjectPtr& in) {
        return PutInt32(in, u"dir_type", type) && PutInt32(in, u"dir_ordinal", ordinal) &&
               PutInt32(in, u"dir_ext", ext) && PutInt32(in, u"dir_attr", attributes) &&
               PutInt32(in, u"dir_item_length", item_length);
      },
      [&](const WmiObjectPtr& r) { return GetUInt32(r, u"dir_index", index); });
  if (status != NVCRETVAL_SUCCESS) return status;
  // Write operations address items by a 16-bit index; anything larger
  // cannot be a directory position and would read as a status.
  if (index > 0xFFFF) return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  return static_cast<int32_t>(index);
}

NvmStatus velonvmModifyItem(std::string_view adapter, uint16_t index, ByteView data) {
  if (velonvmUseDirectAccess(adapter, 1)) return DirectModifyItem(adapter, index, data);
  if (!FitsU32(data.size())) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  for (size_t position = 0; position < data.size();) {
    ByteView chunk = data.subspan(position, std::min(data.size() - position, kModifyChunkBytes));
    NvmStatus status = CallMethod(
        adapter, kNvramAccess, u"Modify",
        [&](const WmiObjectPtr& in) {
          return PutInt32(in, u"dir_index", index) &&
                 PutInt32(in, u"offset", static_cast<uint32_t>(position)) &&
                 PutInt32(in, u"length", static_cast<uint32_t>(chunk.size())) &&
                 PutByteArray(in, u"buffer", chunk);
        },
        nullptr);
    if (status != NVCRETVAL_SUCCESS) return status;
    position += chunk.size();
  }
  return NVCRETVAL_SUCCESS;
}

NvmStatus velonvmWriteItem(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                           uint16_t attributes, ByteView data) {
  if (!FitsU32(data.size())) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  int32_t index = velonvmFindDirEntry(adapter, type, ordinal, ext, nullptr);
  if (index == NVCRETVAL_ITEM_NOT_FOUND) {
    index = velonvmCreateItem(adapter, type, ordinal, ext, attributes,
                              static_cast<uint32_t>(data.size()));
  }
  if (index < 0) return index;
  return velonvmModifyItem(adapter, static_cast<uint16_t>(index), data);
}

namespace {

// The update-area size a package asks for in its own manifest; 0 when it
// names none.
uint32_t DeclaredUpdateAreaLength(ByteView package) {
  PackageItemEntry entry;
  if (FindPackageItem(package, kUpdateAreaItemType, 0, 0, entry) < 0) return 0;
  return entry.dir_item_length();
}

}  // namespace

int32_t InstallResultOf(uint8_t result, uint32_t installed_items_0, uint32_t installed_items_1) {
  if (result == 0) return std::popcount(installed_items_0) + std::popcount(installed_items_1);
  const int32_t status = static_cast<int8_t>(result);
  return status < 0 ? status : NVCRETVAL_FAILURE;
}

int32_t velonvmInstallPackage(std::string_view adapter, ByteView package, int32_t* problem_item,
                              uint8_t* reset_required, uint32_t install_type) {
  if (problem_item != nullptr) *problem_item = -1;
  if (!FitsU32(package.size())) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  NvmDirEntry area;
  int32_t found = velonvmFindDirEntry(adapter, kUpdateAreaItemType, 0, 0, &area);
  if (found < 0 && found != NVCRETVAL_ITEM_NOT_FOUND) return found;
  if (found < 0 || area.dir_item_length < package.size()) {
    uint64_t rounded = (uint64_t{package.size()} + kUpdateAreaGranule - 1) / kUpdateAreaGranule *
                       kUpdateAreaGranule;
    uint64_t length = std::max<uint64_t>(rounded, DeclaredUpdateAreaLength(package));
    if (length >= 0xFFFFFFFFu) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
    int32_t created =
        velonvmCreateItem(adapter, kUpdateAreaItemType, 0, 0, 1, static_cast<uint32_t>(length));
    if (created < 0) return created;
  }
  return velonvmInstallUpdate(adapter, package, problem_item, reset_required, install_type);
}

int32_t velonvmInstallUpdate(std::string_view adapter, ByteView package, int32_t* problem_item,
                             uint8_t* reset_required, uint32_t install_type) {
  if (velonvmUseDirectAccess(adapter, 1)) {
    return DirectInstallUpdate(adapter, package, problem_item, reset_required, install_type);
  }
  NvmStatus status = velonvmWriteItem(adapter, kUpdateAreaItemType, 0, 0, 0, package);
  if (status != NVCRETVAL_SUCCESS) return status;

  std::time_t now = platform::Current().system().CurrentTime();
  const std::tm* broken = std::gmtime(&now);
  if (broken == nullptr) return NVCRETVAL_INVALID_PARAMETER_VALUE;
  const std::tm utc = *broken;
  status = CallMethod(
      adapter, kFwTime, u"SetFwTime",
      [&](const WmiObjectPtr& in) {
        return PutUInt16(in, u"time_zone", 0) &&
               PutUInt16(in, u"year", static_cast<uint16_t>(utc.tm_year + 1900)) &&
               PutUInt8(in, u"month", static_cast<uint8_t>(utc.tm_mon + 1)) &&
               PutUInt8(in, u"day", static_cast<uint8_t>(utc.tm_mday)) &&
               PutUInt8(in, u"hour", static_cast<uint8_t>(utc.tm_hour)) &&
               PutUInt8(in, u"minute", static_cast<uint8_t>(utc.tm_min)) &&
               PutUInt8(in, u"second", static_cast<uint8_t>(utc.tm_sec)) &&
               PutUInt8(in, u"millisecond", 0);
      },
      nullptr);
  if (status != NVCRETVAL_SUCCESS) return status;

  uint8_t result = 0;
  uint8_t problem = 0;
  uint8_t reset = 0;
  uint32_t installed_0 = 0;
  uint32_t installed_1 = 0;
  status = CallMethod(
      adapter, kNvramAccess, u"InstallUpdate",
      [&](const WmiObjectPtr& in) { return PutInt32(in, u"install_type", install_type); },
      [&](const WmiObjectPtr& r) {
        return GetUInt8(r, u"result", result) && GetUInt8(r, u"problem_item", problem) &&
               GetUInt8(r, u"reset_required", reset) &&
               GetUInt32(r, u"installed_items_0", installed_0) &&
               GetUInt32(r, u"installed_items_1", installed_1);
      });
  if (status != NVCRETVAL_SUCCESS) return status;

  if (problem_item != nullptr) *problem_item = static_cast<int8_t>(problem);
  if (reset_required != nullptr && reset != 0) *reset_required = 1;
  return InstallResultOf(result, installed_0, installed_1);
}

NvmStatus velonvmGetOption(std::string_view adapter, NvmOptionRequest& request) {
  if (velonvmUseDirectAccess(adapter, 1)) return DirectGetOption(adapter, request);
  std::span<uint8_t> destination =
      NonNull(request.value.first(std::min<size_t>(request.value.size(), request.length)));
  return CallMethod(
      adapter, kNvramAccess, u"GetNvmOpt",
      [&](const WmiObjectPtr& in) {
        return PutUInt16(in, u"length", request.length) &&
               PutUInt16(in, u"option_num", request.option_num) &&
               PutUInt16(in, u"dimensions", request.dimensions) &&
               PutUInt16(in, u"index_0", request.index_0) &&
               PutUInt16(in, u"index_1", request.index_1) &&
               PutUInt16(in, u"index_2", request.index_2) &&
               PutUInt16(in, u"index_3", request.index_3);
      },
      [&](const WmiObjectPtr& r) {
        size_t copied = 0;
        return GetByteArray(r, u"out_buff", destination, copied);
      });
}

NvmStatus velonvmReadRegister(std::string_view adapter, uint32_t offset, uint32_t& value) {
  value = 0;
  uint32_t read = 0;
  NvmStatus status = CallMethod(
      adapter, kHwDeviceAccess, u"ReadReg32",
      [&](const WmiObjectPtr& in) { return PutInt32(in, u"offset", offset); },
      [&](const WmiObjectPtr& r) { return GetUInt32(r, u"value", read); });
  if (status != NVCRETVAL_SUCCESS) return status;
  value = read & ~0xFu;
  return NVCRETVAL_SUCCESS;
}

}  // namespace skyfw
