#include "sim/driver/firmware_requests.h"

#include <algorithm>
#include <vector>

#include "platform/win32_types.h"

namespace skyfw::sim {
namespace {

using platform::ERROR_INSUFFICIENT_BUFFER;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_SUCCESS;

constexpr size_t kHeaderSize = 16;
constexpr size_t kResponseHeaderSize = 8;

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
    ByteWriter(bytes_).SetU16At(0, status);
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
  Response response(24);
  uint32_t count = 0;
  uint32_t entry_length = 0;
  DriverOutcome outcome = driver.GetDirectoryInfo("NVM_GET_DIR_INFO", count, entry_length);
  response.SetStatus(outcome);
  response.writer().SetU32At(8, count);
  response.writer().SetU32At(12, entry_length);
  return Deliver(response, output, returned);
}

uint32_t DirEntries(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                    uint32_t& returned) {
  uint32_t data_offset = 0;
  if (!request.U32At(16, data_offset)) return ERROR_INVALID_PARAMETER;
  if (data_offset < kResponseHeaderSize || data_offset > output.size()) {
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
  uint16_t type = 0, ordinal = 0, ext = 0;
  if (!request.U16At(22, type) || !request.U16At(24, ordinal) || !request.U16At(26, ext) ||
      request.size() < 32) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(32);
  uint32_t index = 0;
  uint32_t item_length = 0;
  DriverOutcome outcome =
      driver.FindDirEntry("FWCMD_NVM_FIND_DIR_ENTRY", type, ordinal, ext, index, item_length);
  response.SetStatus(outcome);
  if (outcome.ok) {
    response.writer().SetU32At(8, item_length);
    response.writer().SetU16At(22, static_cast<uint16_t>(index));
  }
  return Deliver(response, output, returned);
}

uint32_t NvmWrite(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                  uint32_t& returned) {
  uint16_t type = 0, ordinal = 0, ext = 0, attr = 0;
  uint32_t item_length = 0;
  if (!request.U16At(24, type) || !request.U16At(26, ordinal) || !request.U16At(28, ext) ||
      !request.U16At(30, attr) || !request.U32At(40, item_length) || request.size() < 48) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(16);
  uint32_t index = 0;
  DriverOutcome outcome =
      driver.Create("FWCMD_NVM_WRITE", type, ordinal, ext, attr, item_length, index);
  response.SetStatus(outcome);
  if (outcome.ok) response.writer().SetU16At(12, static_cast<uint16_t>(index));
  return Deliver(response, output, returned);
}

uint32_t NvmRead(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                 uint32_t& returned) {
  uint32_t data_offset = 0, offset = 0, length = 0;
  uint16_t index = 0;
  if (!request.U32At(16, data_offset) || !request.U16At(24, index) || !request.U32At(28, offset) ||
      !request.U32At(32, length) || request.size() < 40) {
    return ERROR_INVALID_PARAMETER;
  }
  if (data_offset < kResponseHeaderSize || data_offset > output.size()) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(std::max<size_t>(output.size(), kHeaderSize));
  if (length > kMaxRequestData || length > output.size() - data_offset) {
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
  uint32_t data_offset = 0, offset = 0, length = 0;
  uint16_t index = 0;
  if (!request.U32At(16, data_offset) || !request.U16At(24, index) || !request.U32At(28, offset) ||
      !request.U32At(32, length)) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(16);
  ByteView data;
  if (length > kMaxRequestData || !request.ViewAt(data_offset, length, data)) {
    response.SetStatus(kDriverInvalidLengthParameter);
    return Deliver(response, output, returned);
  }
  response.SetStatus(driver.Modify("FWCMD_NVM_MODIFY", index, offset, length, data));
  return Deliver(response, output, returned);
}

uint32_t GetVariable(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                     uint32_t& returned) {
  uint32_t data_offset = 0;
  NvmOptionQuery query;
  if (!request.U32At(16, data_offset) || !request.U16At(24, query.length) ||
      !request.U16At(26, query.option_num) || !request.U16At(28, query.dimensions) ||
      !request.U16At(30, query.index[0]) || !request.U16At(32, query.index[1]) ||
      !request.U16At(34, query.index[2]) || !request.U16At(36, query.index[3]) ||
      request.size() < 40) {
    return ERROR_INVALID_PARAMETER;
  }
  size_t value_bytes = (static_cast<size_t>(query.length) + 7) / 8;
  if (data_offset < kResponseHeaderSize || data_offset > output.size()) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(data_offset + value_bytes);
  std::vector<uint8_t> value;
  DriverOutcome outcome = driver.GetNvmOpt("FWCMD_NVM_GET_VARIABLE", query, value);
  response.SetStatus(outcome);
  if (outcome.ok) {
    response.writer().SetU16At(8, static_cast<uint16_t>(value.size() * 8));
    response.writer().SetBytesAt(data_offset, value);
  }
  return Deliver(response, output, returned);
}

uint32_t InstallUpdate(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                       uint32_t& returned) {
  uint32_t install_type = 0;
  if (!request.U32At(16, install_type) || request.size() < 24) return ERROR_INVALID_PARAMETER;
  Response response(24);
  InstallOutcome outcome;
  DriverOutcome call = driver.InstallUpdate("FWCMD_NVM_INSTALL_UPDATE", install_type, outcome);
  response.SetStatus(call);
  if (call.ok) {
    ByteWriter writer = response.writer();
    writer.SetU32At(8, static_cast<uint32_t>(outcome.installed_items));
    writer.SetU32At(12, static_cast<uint32_t>(outcome.installed_items >> 32));
    writer.SetU8At(16, outcome.result);
    writer.SetU8At(17, outcome.problem_item);
    writer.SetU8At(18, outcome.reset_required);
  }
  return Deliver(response, output, returned);
}

uint32_t SetTime(AdapterDriver& driver, const ByteReader& request, std::span<uint8_t> output,
                 uint32_t& returned) {
  FirmwareTime time;
  if (!request.U16At(16, time.year) || !request.U8At(18, time.month) ||
      !request.U8At(19, time.day) || !request.U8At(20, time.hour) ||
      !request.U8At(21, time.minute) || !request.U8At(22, time.second) ||
      !request.U16At(24, time.millisecond) || request.size() < 32) {
    return ERROR_INVALID_PARAMETER;
  }
  Response response(16);
  response.SetStatus(driver.SetFwTime("FWCMD_FW_SET_TIME", time));
  return Deliver(response, output, returned);
}

}  // namespace

uint32_t HandleFirmwareRequest(AdapterDriver& driver, ByteView input, std::span<uint8_t> output,
                               uint32_t& bytes_returned) {
  bytes_returned = 0;
  ByteReader request(input);
  uint16_t type = 0;
  if (input.size() < kHeaderSize || !request.U16At(0, type)) return ERROR_INVALID_PARAMETER;
  switch (type) {
    case kRequestGetDirInfo:
      return DirInfo(driver, output, bytes_returned);
    case kRequestGetDirEntries:
      return DirEntries(driver, request, output, bytes_returned);
    case kRequestFindDirEntry:
      return FindDirEntry(driver, request, output, bytes_returned);
    case kRequestNvmWrite:
      return NvmWrite(driver, request, output, bytes_returned);
    case kRequestNvmRead:
      return NvmRead(driver, request, output, bytes_returned);
    case kRequestNvmModify:
      return NvmModify(driver, request, output, bytes_returned);
    case kRequestGetVariable:
      return GetVariable(driver, request, output, bytes_returned);
    case kRequestInstallUpdate:
      return InstallUpdate(driver, request, output, bytes_returned);
    case kRequestSetTime:
      return SetTime(driver, request, output, bytes_returned);
    default: {
      Response response(kHeaderSize);
      response.SetStatus(kDriverUnsupportedCommand);
      return Deliver(response, output, bytes_returned);
    }
  }
}

}  // namespace skyfw::sim
