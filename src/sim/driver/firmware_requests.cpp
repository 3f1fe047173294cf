#include "sim/driver/firmware_requests.h"

#include <algorithm>
#include <vector>

#include "nvm/driver_requests.h"
#include "platform/win32_types.h"

namespace skyfw::sim {
namespace {

using platform::ERROR_INSUFFICIENT_BUFFER;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_SUCCESS;

// The response under construction: status and body, sized as the request
// type's layout says.
class Response {
 public:
  explicit Response(size_t size) : bytes_(size, 0) {}
  ByteWriter writer() { return ByteWriter(bytes_); }
  void SetStatus(const DriverOutcome& outcome) {
    // A failing call whose error number is 0 still has to read as a failure.
    uint16_t status =
        outcome.ok ? 0 : (outcome.error != 0 ? outcome.error : uint16_t{kDriverFailure});
    ByteWriter(bytes_).SetU16At(driver_requests::kStatus.offset, status);
  }
  void SetStatus(DriverError error) { SetStatus(DriverOutcome{error == kDriverOk, error}); }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

uint32_t Deliver(Response& response, std::span<uint8_t> output, uint32_t& bytes_returned) {
  const std::vector<uint8_t>& bytes = response.bytes();
  if (output.size() < bytes.size()) return ERROR_INSUFFICIENT_BUFFER;
  std::copy(bytes.begin(), bytes.end(), output.begin());
  bytes_returned = static_cast<uint32_t>(bytes.size());
  return ERROR_SUCCESS;
}

uint32_t DirInfo(AdapterDriver& driver, std::span<uint8_t> output, uint32_t& returned) {
  namespace layout = driver_requests::dir_info;
  Response response(layout::kResponseBytes);
  uint32_t count = 0;
  uint32_t entry_length = 0;
  DriverOutcome outcome = driver.GetDirectoryInfo("NVM_GET_DIR_INFO", count, entry_length);
  response.SetStatus(outcome);
  response.writer().SetU32At(layout::kCount.offset, count);
  response.writer().SetU32At(layout::kEntryLength.offset, entry_length);
  return Deliver(response, output, returned);
}

uint32_t DirEntries(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                    uint32_t& returned) {
  uint32_t data_offset = 0;
  if (!request.U32At(driver_requests::kDataOffset.offset, data_offset)) {
    return ERROR_INVALID_PARAMETER;
  }
  if (data_offset < driver_requests::kResponseHeaderBytes || data_offset > output.size()) {
    return ERROR_INVALID_PARAMETER;
  }
  // The response spans the caller's whole buffer; the directory fills what
  // lies behind the data offset.
  Response response(output.size());
  std::vector<uint8_t> directory;
  uint32_t capacity = static_cast<uint32_t>(output.size() - data_offset);
  DriverOutcome outcome = driver.GetDirectoryEntries("NVM_GET_DIR_ENTRIES", capacity, directory);
  response.SetStatus(outcome);
  response.writer().SetBytesAt(data_offset, directory);
  return Deliver(response, output, returned);
}

uint32_t FindDirEntry(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                      uint32_t& returned) {
  namespace layout = driver_requests::find_dir_entry;
  uint16_t type = 0, ordinal = 0, ext = 0;
  if (!request.U16At(layout::kItemType.offset, type) ||
      !request.U16At(layout::kOrdinal.offset, ordinal) ||
      !request.U16At(layout::kExt.offset, ext) || request.size() < layout::kRequestBytes) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(layout::kResponseBytes);
  uint32_t index = 0;
  uint32_t item_length = 0;
  DriverOutcome outcome =
      driver.FindDirEntry("FWCMD_NVM_FIND_DIR_ENTRY", type, ordinal, ext, index, item_length);
  response.SetStatus(outcome);
  if (outcome.ok) {
    response.writer().SetU32At(layout::kItemLength.offset, item_length);
    response.writer().SetU16At(layout::kIndex.offset, static_cast<uint16_t>(index));
  }
  return Deliver(response, output, returned);
}

uint32_t NvmWrite(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                  uint32_t& returned) {
  namespace layout = driver_requests::nvm_write;
  uint16_t type = 0, ordinal = 0, ext = 0, attr = 0;
  uint32_t item_length = 0;
  if (!request.U16At(layout::kItemType.offset, type) ||
      !request.U16At(layout::kOrdinal.offset, ordinal) ||
      !request.U16At(layout::kExt.offset, ext) ||
      !request.U16At(layout::kAttributes.offset, attr) ||
      !request.U32At(layout::kItemLength.offset, item_length) ||
      request.size() < layout::kRequestBytes) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(layout::kResponseBytes);
  uint32_t index = 0;
  DriverOutcome outcome =
      driver.Create("FWCMD_NVM_WRITE", type, ordinal, ext, attr, item_length, index);
  response.SetStatus(outcome);
  if (outcome.ok) response.writer().SetU16At(layout::kIndex.offset, static_cast<uint16_t>(index));
  return Deliver(response, output, returned);
}

uint32_t NvmRead(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                 uint32_t& returned) {
  namespace layout = driver_requests::nvm_read;
  uint32_t data_offset = 0, offset = 0, length = 0;
  uint16_t index = 0;
  if (!request.U32At(driver_requests::kDataOffset.offset, data_offset) ||
      !request.U16At(layout::kIndex.offset, index) ||
      !request.U32At(layout::kItemOffset.offset, offset) ||
      !request.U32At(layout::kLength.offset, length) || request.size() < layout::kRequestBytes) {
    return ERROR_INVALID_PARAMETER;
  }
  if (data_offset < driver_requests::kResponseHeaderBytes || data_offset > output.size()) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(std::max<size_t>(output.size(), driver_requests::kStatusResponseBytes));
  if (length > kDirectChunkBytes || length > output.size() - data_offset) {
    response.SetStatus(kDriverInvalidLengthParameter);
    return Deliver(response, output, returned);
  }
  std::vector<uint8_t> data;
  DriverOutcome outcome = driver.Read("FWCMD_NVM_READ", index, offset, length, data);
  response.SetStatus(outcome);
  if (outcome.ok) response.writer().SetBytesAt(data_offset, data);
  return Deliver(response, output, returned);
}

uint32_t NvmModify(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                   uint32_t& returned) {
  namespace layout = driver_requests::nvm_modify;
  uint32_t data_offset = 0, offset = 0, length = 0;
  uint16_t index = 0;
  if (!request.U32At(driver_requests::kDataOffset.offset, data_offset) ||
      !request.U16At(layout::kIndex.offset, index) ||
      !request.U32At(layout::kItemOffset.offset, offset) ||
      !request.U32At(layout::kLength.offset, length)) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(layout::kResponseBytes);
  ByteView data;
  if (length > kDirectChunkBytes || !request.ViewAt(data_offset, length, data)) {
    response.SetStatus(kDriverInvalidLengthParameter);
    return Deliver(response, output, returned);
  }
  response.SetStatus(driver.Modify("FWCMD_NVM_MODIFY", index, offset, length, data));
  return Deliver(response, output, returned);
}

uint32_t GetVariable(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                     uint32_t& returned) {
  namespace layout = driver_requests::get_variable;
  uint32_t data_offset = 0;
  NvmOptionQuery query;
  if (!request.U32At(driver_requests::kDataOffset.offset, data_offset) ||
      !request.U16At(layout::kLength.offset, query.length) ||
      !request.U16At(layout::kOptionNum.offset, query.option_num) ||
      !request.U16At(layout::kDimensions.offset, query.dimensions) ||
      !request.U16At(layout::kIndex0.offset, query.index[0]) ||
      !request.U16At(layout::kIndex1.offset, query.index[1]) ||
      !request.U16At(layout::kIndex2.offset, query.index[2]) ||
      !request.U16At(layout::kIndex3.offset, query.index[3]) ||
      request.size() < layout::kRequestBytes) {
    return ERROR_INVALID_PARAMETER;
  }
  size_t value_bytes = (static_cast<size_t>(query.length) + 7) / 8;
  if (data_offset < driver_requests::kResponseHeaderBytes || data_offset > output.size()) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(data_offset + value_bytes);
  std::vector<uint8_t> value;
  DriverOutcome outcome = driver.GetNvmOpt("FWCMD_NVM_GET_VARIABLE", query, value);
  response.SetStatus(outcome);
  if (outcome.ok) {
    response.writer().SetU16At(layout::kReturnedLength.offset,
                               static_cast<uint16_t>(value.size() * 8));
    response.writer().SetBytesAt(data_offset, value);
  }
  return Deliver(response, output, returned);
}

uint32_t InstallUpdate(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                       uint32_t& returned) {
  namespace layout = driver_requests::install_update;
  uint32_t install_type = 0;
  if (!request.U32At(layout::kInstallType.offset, install_type) ||
      request.size() < layout::kRequestBytes) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(layout::kResponseBytes);
  InstallOutcome outcome;
  DriverOutcome call = driver.InstallUpdate("FWCMD_NVM_INSTALL_UPDATE", install_type, outcome);
  response.SetStatus(call);
  if (call.ok) {
    ByteWriter writer = response.writer();
    writer.SetU32At(layout::kInstalledItems0.offset,
                    static_cast<uint32_t>(outcome.installed_items));
    writer.SetU32At(layout::kInstalledItems1.offset,
                    static_cast<uint32_t>(outcome.installed_items >> 32));
    writer.SetU8At(layout::kResult.offset, outcome.result);
    writer.SetU8At(layout::kProblemItem.offset, outcome.problem_item);
    writer.SetU8At(layout::kResetRequired.offset, outcome.reset_required);
  }
  return Deliver(response, output, returned);
}

uint32_t SetTime(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                 uint32_t& returned) {
  namespace layout = driver_requests::set_time;
  FirmwareTime time;
  if (!request.U16At(layout::kYear.offset, time.year) ||
      !request.U8At(layout::kMonth.offset, time.month) ||
      !request.U8At(layout::kDay.offset, time.day) ||
      !request.U8At(layout::kHour.offset, time.hour) ||
      !request.U8At(layout::kMinute.offset, time.minute) ||
      !request.U8At(layout::kSecond.offset, time.second) ||
      !request.U16At(layout::kMillisecond.offset, time.millisecond) ||
      request.size() < layout::kRequestBytes) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(layout::kResponseBytes);
  response.SetStatus(driver.SetFwTime("FWCMD_FW_SET_TIME", time));
  return Deliver(response, output, returned);
}

}  // namespace

uint32_t HandleFirmwareRequest(AdapterDriver& driver, ByteView input, std::span<uint8_t> output,
                               uint32_t& bytes_returned) {
  bytes_returned = 0;
  ByteReader request(input);
  uint16_t type = 0;
  if (input.size() < driver_requests::kRequestHeaderBytes ||
      !request.U16At(driver_requests::kType.offset, type)) {
    return ERROR_INVALID_PARAMETER;
  }
  switch (type) {
    case kNvmGetDirInfo:
      return DirInfo(driver, output, bytes_returned);
    case kNvmGetDirEntries:
      return DirEntries(driver, request, output, bytes_returned);
    case kFwcmdNvmFindDirEntry:
      return FindDirEntry(driver, request, output, bytes_returned);
    case kFwcmdNvmWrite:
      return NvmWrite(driver, request, output, bytes_returned);
    case kFwcmdNvmRead:
      return NvmRead(driver, request, output, bytes_returned);
    case kFwcmdNvmModify:
      return NvmModify(driver, request, output, bytes_returned);
    case kFwcmdNvmGetVariable:
      return GetVariable(driver, request, output, bytes_returned);
    case kFwcmdNvmInstallUpdate:
      return InstallUpdate(driver, request, output, bytes_returned);
    case kFwcmdFwSetTime:
      return SetTime(driver, request, output, bytes_returned);
    default: {
      Response response(driver_requests::kStatusResponseBytes);
      response.SetStatus(kDriverUnsupportedCommand);
      return Deliver(response, output, bytes_returned);
    }
  }
}

}  // namespace skyfw::sim
