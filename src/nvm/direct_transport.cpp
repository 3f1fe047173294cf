#include "nvm/direct_transport.h"

#include <algorithm>
#include <bit>
#include <ctime>
#include <new>
#include <vector>

#include "base/text.h"
#include "base/text_conversion.h"
#include "diag/trace_log.h"
#include "base/byte_reader.h"
#include "nvm/zeroed_buffer.h"
#include "platform/platform.h"

namespace skyfw {

const platform::Guid kFirmwareCommandInterface = {
    0xEBE08DCF, 0x7D4D, 0x427B, {0x98, 0x97, 0x7B, 0x29, 0x94, 0x91, 0x7A, 0x86}};

namespace {

// Buffers the configuration manager fills, as large as the calls are given.
constexpr size_t kInstanceIdBytes = 400;
constexpr size_t kDescriptionBytes = 4096;
constexpr size_t kDescriptionTextBytes = 255;

// A DEVPROP_TYPE_STRING value (UTF-16LE, terminated) as UTF-8.
std::string DecodeDeviceString(ByteView value) {
  ByteReader reader(value);
  std::u16string wide;
  uint16_t unit = 0;
  while (reader.ReadU16(unit) && unit != 0) wide.push_back(static_cast<char16_t>(unit));
  std::string text;
  Utf16ToUtf8(wide, text);
  return text;
}

// A request block of `size` zero bytes with its type in place.
bool NewRequest(std::vector<uint8_t>& block, size_t size, uint16_t type) {
  if (!AllocateZeroed(block, size)) return false;
  ByteWriter(block).SetU16At(driver_requests::kType.offset, type);
  return true;
}

// Sends one request block and leaves the response in `response`.
int32_t SendRequest(const RequestTarget& target, const char* name, ByteView request,
                    std::span<uint8_t> response) {
  std::unique_ptr<platform::DeviceHandle> opened;
  platform::DeviceHandle* device = target.device;
  if (device == nullptr) {
    opened = OpenAdapterDevice(target.adapter);
    if (!opened) return kRequestDeviceNotOpened;
    device = opened.get();
  }
  uint32_t returned = 0;
  uint32_t error = device->DeviceIoControl(platform::IOCTL_NRVN_FWCMD, request, response, returned);
  if (error != platform::ERROR_SUCCESS) {
    ReportRequestError(name, error);
    return static_cast<int32_t>(error);
  }
  uint16_t status = 0;
  ByteReader(response).U16At(driver_requests::kStatus.offset, status);
  return status;
}

int32_t SendFixedRequest(const RequestTarget& target, const char* name,
                         std::vector<uint8_t>& request, std::vector<uint8_t>& response,
                         size_t response_size) {
  if (!AllocateZeroed(response, response_size)) return NVCRETVAL_MALLOC_FAILURE;
  return SendRequest(target, name, request, response);
}

// A failed request of an operation: its result is a request result, not an
// NvmStatus, and must not be taken for a count or an index.
NvmStatus OperationStatus(int32_t request_result) {
  if (request_result == 0) return NVCRETVAL_SUCCESS;
  if (request_result == NVCRETVAL_MALLOC_FAILURE) return NVCRETVAL_MALLOC_FAILURE;
  return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
}

// Reads `destination` from `offset` of an item in chunks of at most
// kDirectChunkBytes through one response buffer.
int32_t ReadChunks(const RequestTarget& target, uint16_t index, uint32_t offset,
                   std::span<uint8_t> destination) {
  if (destination.empty()) return 0;
  std::vector<uint8_t> response;
  if (!AllocateZeroed(response, driver_requests::nvm_read::kResponseBytes)) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  size_t done = 0;
  while (done < destination.size()) {
    size_t chunk = std::min<size_t>(destination.size() - done, kDirectChunkBytes);
    int32_t result = RequestNvmRead(target, index, offset + static_cast<uint32_t>(done),
                                    destination.subspan(done, chunk), response);
    if (result != 0) return result;
    done += chunk;
  }
  return 0;
}

// Writes `data` from offset 0 of an item in chunks of at most
// kDirectChunkBytes through one request block, zeroed once. Nothing to
// write still sends one request.
int32_t ModifyChunks(const RequestTarget& target, uint16_t index, ByteView data) {
  std::vector<uint8_t> request;
  if (!AllocateZeroed(request, driver_requests::nvm_modify::kRequestBytes)) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  size_t done = 0;
  do {
    size_t chunk = std::min<size_t>(data.size() - done, kDirectChunkBytes);
    int32_t result = RequestNvmModify(target, index, static_cast<uint32_t>(done),
                                      data.subspan(done, chunk), request);
    if (result != 0) return result;
    done += chunk;
  } while (done < data.size());
  return 0;
}

bool UtcNow(std::tm& utc) {
  std::time_t now = platform::Current().system().CurrentTime();
  const std::tm* broken = std::gmtime(&now);
  if (broken == nullptr) return false;
  utc = *broken;
  return true;
}

}  // namespace

// ---- finding and opening the device -----------------------------------------

uint32_t FindAdapterInterface(std::string_view adapter, std::optional<std::u16string>& path) {
  path.reset();
  platform::Devices& devices = platform::Current().devices();
  platform::System& system = platform::Current().system();
  std::vector<std::u16string> interfaces;
  uint32_t cr = devices.GetDeviceInterfaceList(
      kFirmwareCommandInterface, platform::CM_GET_DEVICE_INTERFACE_LIST_PRESENT, interfaces);
  if (cr != platform::CR_SUCCESS) return cr;
  // An empty list is just its terminator.
  if (interfaces.empty()) return platform::ERROR_BAD_LENGTH;

  for (const std::u16string& candidate : interfaces) {
    uint32_t type = 0;
    std::vector<uint8_t> value;
    cr = devices.GetDeviceInterfaceProperty(candidate, platform::DEVPKEY_Device_InstanceId, type,
                                            value);
    if (cr == platform::CR_SUCCESS && value.size() > kInstanceIdBytes)
      cr = platform::CR_BUFFER_SMALL;
    if (cr != platform::CR_SUCCESS) {
      ConsolePrint("CM_Get_Device_Interface_Property failed with status %d\n",
                   static_cast<int>(cr));
      return cr;
    }
    if (type != platform::DEVPROP_TYPE_STRING) {
      uint32_t error = system.GetLastError();
      ConsolePrint("Device Interface PropertyType is not a string. Failed with status %d\n",
                   static_cast<int>(error));
      return error;
    }
    uint32_t dev_inst = 0;
    cr = devices.LocateDevNode(DecodeDeviceString(value), platform::CM_LOCATE_DEVNODE_PHANTOM,
                               dev_inst);
    if (cr != platform::CR_SUCCESS) {
      ConsolePrint("CM_Locate_DevNode failed with %d\n", static_cast<int>(cr));
      return cr;
    }
    cr = devices.GetDevNodeProperty(dev_inst, platform::DEVPKEY_Device_DeviceDesc, type, value);
    if (cr == platform::CR_SUCCESS && value.size() > kDescriptionBytes)
      cr = platform::CR_BUFFER_SMALL;
    if (cr != platform::CR_SUCCESS) {
      ConsolePrint("CM_Get_DevNode_Property API failed.\n");
      return cr;
    }
    if (type != platform::DEVPROP_TYPE_STRING) {
      uint32_t error = system.GetLastError();
      ConsolePrint("Failed to get %s PropertyType.\n", "Description");
      return error;
    }
    std::string description = DecodeDeviceString(value);
    if (description.size() > kDescriptionTextBytes) description.resize(kDescriptionTextBytes);
    if (EqualsNoCase(description, adapter)) {
      path = candidate;
      return 0;
    }
  }
  return 0;
}

std::unique_ptr<platform::DeviceHandle> OpenAdapterDevice(std::string_view adapter) {
  std::optional<std::u16string> path;
  if (FindAdapterInterface(adapter, path) != 0 || !path) return nullptr;
  std::string name;
  Utf16ToUtf8(*path, name);
  std::unique_ptr<platform::DeviceHandle> device;
  if (platform::Current().deviceIo().CreateFile(name,
                                                platform::GENERIC_READ | platform::GENERIC_WRITE, 0,
                                                device) != platform::ERROR_SUCCESS) {
    return nullptr;
  }
  return device;
}

void ReportRequestError(const char* request_name, uint32_t code) {
  std::string text;
  if (platform::Current().system().FormatMessage(code, text)) {
    ConsolePrint("%s : returned 0x%08x :", request_name, code);
    ConsolePrint("%s", text.c_str());
  } else {
    ConsolePrint("%s : returned 0x%08x.\n", request_name, code);
  }
}

// ---- the requests ------------------------------------------------------------

int32_t RequestGetDirInfo(const RequestTarget& target, uint32_t& count, uint32_t& entry_length) {
  namespace layout = driver_requests::dir_info;
  std::vector<uint8_t> request;
  std::vector<uint8_t> response;
  if (!NewRequest(request, layout::kRequestBytes, kNvmGetDirInfo)) return NVCRETVAL_MALLOC_FAILURE;
  int32_t result =
      SendFixedRequest(target, "NVM_GET_DIR_INFO", request, response, layout::kResponseBytes);
  ByteReader reader(response);
  reader.U32At(layout::kCount.offset, count);
  reader.U32At(layout::kEntryLength.offset, entry_length);
  return result;
}

int32_t RequestGetDirEntries(const RequestTarget& target, std::span<uint8_t> buffer) {
  namespace layout = driver_requests::dir_entries;
  std::vector<uint8_t> request;
  std::vector<uint8_t> response;
  if (!NewRequest(request, layout::kRequestBytes, kNvmGetDirEntries)) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  ByteWriter(request).SetU32At(driver_requests::kDataOffset.offset, layout::kDataAt);
  size_t response_size = (buffer.size() + layout::kDataAt + 7) / 8 * 8;
  int32_t result =
      SendFixedRequest(target, "NVM_GET_DIR_ENTRIES", request, response, response_size);
  ByteView raw;
  if (result == 0 && ByteReader(response).ViewAt(layout::kDataAt, buffer.size(), raw)) {
    std::copy(raw.begin(), raw.end(), buffer.begin());
  }
  return result;
}

int32_t RequestFindDirEntry(const RequestTarget& target, uint16_t type, uint16_t ordinal,
                            uint16_t ext, uint32_t& item_length, uint16_t& index) {
  namespace layout = driver_requests::find_dir_entry;
  std::vector<uint8_t> request;
  std::vector<uint8_t> response;
  if (!NewRequest(request, layout::kRequestBytes, kFwcmdNvmFindDirEntry)) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  ByteWriter writer(request);
  writer.SetU16At(layout::kItemType.offset, type);
  writer.SetU16At(layout::kOrdinal.offset, ordinal);
  writer.SetU16At(layout::kExt.offset, ext);
  int32_t result = SendFixedRequest(target, "FWCMD_NVM_FIND_DIR_ENTRY", request, response,
                                    layout::kResponseBytes);
  ByteReader reader(response);
  reader.U32At(layout::kItemLength.offset, item_length);
  reader.U16At(layout::kIndex.offset, index);
  return result;
}

int32_t RequestNvmWrite(const RequestTarget& target, uint16_t type, uint16_t ordinal, uint16_t ext,
                        uint16_t attributes, uint32_t item_length, uint16_t& index) {
  namespace layout = driver_requests::nvm_write;
  std::vector<uint8_t> request;
  std::vector<uint8_t> response;
  if (!NewRequest(request, layout::kRequestBytes, kFwcmdNvmWrite)) return NVCRETVAL_MALLOC_FAILURE;
  ByteWriter writer(request);
  writer.SetU32At(driver_requests::kDataOffset.offset, layout::kRequestBytes);
  writer.SetU16At(layout::kItemType.offset, type);
  writer.SetU16At(layout::kOrdinal.offset, ordinal);
  writer.SetU16At(layout::kExt.offset, ext);
  writer.SetU16At(layout::kAttributes.offset, attributes);
  writer.SetU32At(layout::kItemLength.offset, item_length);
  int32_t result =
      SendFixedRequest(target, "FWCMD_NVM_WRITE", request, response, layout::kResponseBytes);
  ByteReader(response).U16At(layout::kIndex.offset, index);
  return result;
}

int32_t RequestNvmRead(const RequestTarget& target, uint16_t index, uint32_t offset,
                       std::span<uint8_t> destination, std::span<uint8_t> response) {
  namespace layout = driver_requests::nvm_read;
  if (destination.size() > kDirectChunkBytes || response.size() < layout::kResponseBytes) {
    return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  }
  std::vector<uint8_t> request;
  if (!NewRequest(request, layout::kRequestBytes, kFwcmdNvmRead)) return NVCRETVAL_MALLOC_FAILURE;
  ByteWriter writer(request);
  writer.SetU32At(driver_requests::kDataOffset.offset, layout::kDataAt);
  writer.SetU16At(layout::kIndex.offset, index);
  writer.SetU32At(layout::kItemOffset.offset, offset);
  writer.SetU32At(layout::kLength.offset, static_cast<uint32_t>(destination.size()));
  int32_t result =
      SendRequest(target, "FWCMD_NVM_READ", request, response.first(layout::kResponseBytes));
  ByteView data;
  if (result == 0 && ByteReader(response).ViewAt(layout::kDataAt, destination.size(), data)) {
    std::copy(data.begin(), data.end(), destination.begin());
  }
  return result;
}

int32_t RequestNvmModify(const RequestTarget& target, uint16_t index, uint32_t offset,
                         ByteView data, std::span<uint8_t> request) {
  namespace layout = driver_requests::nvm_modify;
  if (data.size() > kDirectChunkBytes || request.size() < layout::kRequestBytes) {
    return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  }
  std::span<uint8_t> block = request.first(layout::kRequestBytes);
  // Only the fields are set: bytes of a longer earlier chunk stay behind the
  // data, as the block is zeroed once for the whole write.
  StoreU32(block, driver_requests::kType.offset, kFwcmdNvmModify);  // bytes 2-3 zero
  StoreU32(block, driver_requests::kDataOffset.offset, static_cast<uint32_t>(layout::kDataAt));
  StoreU32(block, layout::kIndex.offset, index);
  StoreU32(block, layout::kItemOffset.offset, offset);
  StoreU32(block, layout::kLength.offset, static_cast<uint32_t>(data.size()));
  std::copy(data.begin(), data.end(), block.begin() + layout::kDataAt);
  std::vector<uint8_t> response;
  if (!AllocateZeroed(response, layout::kResponseBytes)) return NVCRETVAL_MALLOC_FAILURE;
  return SendRequest(target, "FWCMD_NVM_MODIFY", block, response);
}

int32_t RequestGetVariable(const RequestTarget& target, NvmOptionRequest& option) {
  namespace layout = driver_requests::get_variable;
  std::vector<uint8_t> request;
  std::vector<uint8_t> response;
  if (!NewRequest(request, layout::kRequestBytes, kFwcmdNvmGetVariable)) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  ByteWriter writer(request);
  writer.SetU32At(driver_requests::kDataOffset.offset, layout::kDataAt);
  writer.SetU16At(layout::kLength.offset, option.length);
  writer.SetU16At(layout::kOptionNum.offset, option.option_num);
  writer.SetU16At(layout::kDimensions.offset, option.dimensions);
  writer.SetU16At(layout::kIndex0.offset, option.index_0);
  writer.SetU16At(layout::kIndex1.offset, option.index_1);
  writer.SetU16At(layout::kIndex2.offset, option.index_2);
  writer.SetU16At(layout::kIndex3.offset, option.index_3);
  size_t value_bytes = (size_t{option.length} + 7) / 8;
  int32_t result = SendFixedRequest(target, "FWCMD_NVM_GET_VARIABLE", request, response,
                                    layout::kDataAt + value_bytes);
  ByteReader reader(response);
  uint16_t returned_length = 0;
  reader.U16At(layout::kReturnedLength.offset, returned_length);
  ByteView value;
  if (result == 0 && returned_length != 0 &&
      reader.ViewAt(layout::kDataAt, std::min(value_bytes, option.value.size()), value)) {
    std::copy(value.begin(), value.end(), option.value.begin());
  }
  return result;
}

int32_t RequestInstallUpdate(const RequestTarget& target, uint32_t install_type,
                             DirectInstallOutcome& outcome) {
  namespace layout = driver_requests::install_update;
  std::vector<uint8_t> request;
  std::vector<uint8_t> response;
  if (!NewRequest(request, layout::kRequestBytes, kFwcmdNvmInstallUpdate)) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  ByteWriter(request).SetU32At(layout::kInstallType.offset, install_type);
  int32_t result = SendFixedRequest(target, "FWCMD_NVM_INSTALL_UPDATE", request, response,
                                    layout::kResponseBytes);
  ByteReader reader(response);
  reader.U32At(layout::kInstalledItems0.offset, outcome.installed_items_0);
  reader.U32At(layout::kInstalledItems1.offset, outcome.installed_items_1);
  reader.U8At(layout::kResult.offset, outcome.result);
  reader.U8At(layout::kProblemItem.offset, outcome.problem_item);
  reader.U8At(layout::kResetRequired.offset, outcome.reset_required);
  return result;
}

int32_t RequestSetTime(const RequestTarget& target, uint16_t year, uint8_t month, uint8_t day,
                       uint8_t hour, uint8_t minute, uint8_t second) {
  namespace layout = driver_requests::set_time;
  std::vector<uint8_t> request;
  std::vector<uint8_t> response;
  if (!NewRequest(request, layout::kRequestBytes, kFwcmdFwSetTime)) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  ByteWriter writer(request);
  writer.SetU16At(layout::kYear.offset, year);
  writer.SetU8At(layout::kMonth.offset, month);
  writer.SetU8At(layout::kDay.offset, day);
  writer.SetU8At(layout::kHour.offset, hour);
  writer.SetU8At(layout::kMinute.offset, minute);
  writer.SetU8At(layout::kSecond.offset, second);
  writer.SetU16At(layout::kMillisecond.offset, 0);
  return SendFixedRequest(target, "FWCMD_FW_SET_TIME", request, response, layout::kResponseBytes);
}

// ---- the NVM operations over direct requests -----------------------------------

NvmStatus DirectGetDirectory(std::string_view adapter, uint32_t& count, uint32_t& entry_length,
                             std::span<uint8_t> buffer) {
  if (buffer.size() > kMaxDriverTransferBytes) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  RequestTarget target{adapter};
  int32_t result = RequestGetDirInfo(target, count, entry_length);
  ConsolePrint("*count = %d and *entry_size = %d\n", static_cast<int>(count),
               static_cast<int>(entry_length));
  if (count != 0) result |= RequestGetDirEntries(target, buffer);
  return OperationStatus(result);
}

NvmStatus DirectGetItem(std::string_view adapter, uint32_t index, uint32_t offset,
                        std::span<uint8_t> buffer) {
  // The request carries a 16-bit index; a larger one would read another item.
  if (index > 0xFFFF) return NVCRETVAL_INVALID_INDEX_PARAMETER;
  return OperationStatus(
      ReadChunks(RequestTarget{adapter}, static_cast<uint16_t>(index), offset, buffer));
}

int32_t DirectCreateItem(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                         uint16_t attributes, uint32_t item_length) {
  uint16_t index = 0;
  int32_t result =
      RequestNvmWrite(RequestTarget{adapter}, type, ordinal, ext, attributes, item_length, index);
  if (result != 0) return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  return index;
}

NvmStatus DirectModifyItem(std::string_view adapter, uint16_t index, ByteView data) {
  if (data.size() > 0xFFFFFFFFu) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  return OperationStatus(ModifyChunks(RequestTarget{adapter}, index, data));
}

NvmStatus DirectGetOption(std::string_view adapter, NvmOptionRequest& request) {
  return OperationStatus(RequestGetVariable(RequestTarget{adapter}, request));
}

int32_t DirectInstallUpdate(std::string_view adapter, ByteView package, int32_t* problem_item,
                            uint8_t* reset_required, uint32_t install_type) {
  if (package.size() > 0xFFFFFFFFu) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  // One handle for the whole sequence: the device is opened unshared.
  std::unique_ptr<platform::DeviceHandle> device = OpenAdapterDevice(adapter);
  if (!device) return OperationStatus(kRequestDeviceNotOpened);
  RequestTarget target{adapter, device.get()};

  uint32_t area_length = 0;
  uint16_t area_index = 0;
  int32_t result = RequestFindDirEntry(target, kUpdateAreaItemType, 0, 0, area_length, area_index);
  if (result != 0) return OperationStatus(result);
  if (area_length < package.size()) {
    ConsolePrint("Insufficient update area in nvram: %lu",
                 static_cast<unsigned long>(package.size()));
    return NVCRETVAL_INSUFFICIENT_SPACE;
  }

  std::tm utc{};
  if (!UtcNow(utc)) return NVCRETVAL_INVALID_PARAMETER_VALUE;
  result = RequestSetTime(target, static_cast<uint16_t>(utc.tm_year + 1900),
                          static_cast<uint8_t>(utc.tm_mon + 1), static_cast<uint8_t>(utc.tm_mday),
                          static_cast<uint8_t>(utc.tm_hour), static_cast<uint8_t>(utc.tm_min),
                          static_cast<uint8_t>(utc.tm_sec));
  if (result != 0) return OperationStatus(result);

  result = ModifyChunks(target, area_index, package);
  if (result != 0) return OperationStatus(result);

  DirectInstallOutcome outcome;
  result = RequestInstallUpdate(target, install_type, outcome);
  if (result != 0) return OperationStatus(result);
  ConsolePrint("resp.problem_item = %d resp.reset_required = %d resp.result = %d\n",
               outcome.problem_item, outcome.reset_required, outcome.result);
  if (problem_item != nullptr) *problem_item = static_cast<int8_t>(outcome.problem_item);
  if (reset_required != nullptr && outcome.reset_required != 0) *reset_required = 1;
  return InstallResultOf(outcome.result, outcome.installed_items_0, outcome.installed_items_1);
}

NvmStatus DirectReadPackageLog(std::string_view adapter, NvmDirEntry& entry,
                               std::vector<uint8_t>& data) {
  entry = NvmDirEntry{};
  data.clear();
  std::unique_ptr<platform::DeviceHandle> device = OpenAdapterDevice(adapter);
  if (!device) return OperationStatus(kRequestDeviceNotOpened);
  // Every request shares the find request's handle: a second, unshared open
  // of the device is refused while this one is held.
  RequestTarget target{adapter, device.get()};
  uint32_t item_length = 0;
  uint16_t index = 0;
  int32_t result = RequestFindDirEntry(target, kPackageLogItemType, 0, 0, item_length, index);
  if (result != 0) return OperationStatus(result);

  // The find answer has no data length; the directory entry has, and the
  // bytes past it are erased flash, not log.
  uint32_t count = 0;
  uint32_t entry_length = 0;
  result = RequestGetDirInfo(target, count, entry_length);
  if (result != 0) return OperationStatus(result);
  if (index >= count || entry_length < kNvmDirEntryLength) {
    return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  }
  uint64_t raw_length = (uint64_t{index} + 1) * entry_length;
  if (raw_length > kMaxDriverTransferBytes) return NVCRETVAL_INSUFFICIENT_SPACE;
  std::vector<uint8_t> raw;
  if (!AllocateZeroed(raw, static_cast<size_t>(raw_length))) return NVCRETVAL_MALLOC_FAILURE;
  result = RequestGetDirEntries(target, raw);
  if (result != 0) return OperationStatus(result);
  if (!DecodeNvmDirEntry(raw, size_t{index} * entry_length, entry)) {
    return NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE;
  }

  if (entry.dir_data_length > kMaxDriverTransferBytes) return NVCRETVAL_INSUFFICIENT_SPACE;
  if (!AllocateZeroed(data, entry.dir_data_length)) return NVCRETVAL_MALLOC_FAILURE;
  result = ReadChunks(target, index, 0, data);
  if (result != 0) {
    data.clear();
    return OperationStatus(result);
  }
  return NVCRETVAL_SUCCESS;
}

}  // namespace skyfw
