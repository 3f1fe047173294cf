// The direct driver transport: firmware request blocks sent to the adapter's
// device interface with one I/O control code, as a second carrier of the NVM
// operations besides WMI.
//
// The blocks' layouts are in nvm/driver_requests.h.
//
// A request's result: 0, the response status when not 0, the system error of
// a failed I/O control call, 1 when the device cannot be opened, or
// NVCRETVAL_MALLOC_FAILURE. The operations built from the requests (Direct*)
// answer like the WMI-carried NVM operations instead: a failed request there
// becomes a negative status, so no failure can pass for a count or an index.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "nvm/driver_requests.h"
#include "nvm/nvm_operations.h"
#include "platform/device_io.h"
#include "platform/win32_types.h"

namespace skyfw {

// Interface class of the driver's firmware-command interface.
extern const platform::Guid kFirmwareCommandInterface;

// Result of a request whose device could not be opened.
inline constexpr int32_t kRequestDeviceNotOpened = 1;

// The path of the device interface whose device description equals the
// adapter name (ignoring case); the first one in the interface list wins.
// Returns 0 or a CfgMgr / system error; 0 with no path when none matches.
uint32_t FindAdapterInterface(std::string_view adapter, std::optional<std::u16string>& path);

// Opens the adapter's interface for reading and writing, unshared; null when
// it cannot be found or opened.
std::unique_ptr<platform::DeviceHandle> OpenAdapterDevice(std::string_view adapter);

// Prints "<name> : returned 0x<code> :" and the system's text for the code,
// or "<name> : returned 0x<code>.\n" when there is none.
void ReportRequestError(const char* request_name, uint32_t code);

// Where a request goes: an open device (the install sequence shares one), or
// the adapter, whose device the request opens and closes itself.
struct RequestTarget {
  std::string_view adapter;
  platform::DeviceHandle* device = nullptr;
};

// ---- the requests ----------------------------------------------------------

int32_t RequestGetDirInfo(const RequestTarget& target, uint32_t& count, uint32_t& entry_length);
// Copies buffer.size() bytes of raw directory into `buffer` on status 0.
int32_t RequestGetDirEntries(const RequestTarget& target, std::span<uint8_t> buffer);
int32_t RequestFindDirEntry(const RequestTarget& target, uint16_t type, uint16_t ordinal,
                            uint16_t ext, uint32_t& item_length, uint16_t& index);
// Creates an item.
int32_t RequestNvmWrite(const RequestTarget& target, uint16_t type, uint16_t ordinal, uint16_t ext,
                        uint16_t attributes, uint32_t item_length, uint16_t& index);
// One chunk (at most kDirectChunkBytes); `response` is the caller's
// kDirectTransferBlockBytes buffer, reused across chunks.
int32_t RequestNvmRead(const RequestTarget& target, uint16_t index, uint32_t offset,
                       std::span<uint8_t> destination, std::span<uint8_t> response);
// One chunk (at most kDirectChunkBytes) through the caller's
// kDirectTransferBlockBytes request block, zeroed once by the caller.
int32_t RequestNvmModify(const RequestTarget& target, uint16_t index, uint32_t offset,
                         ByteView data, std::span<uint8_t> request);
// `value` receives (length + 7) / 8 bytes when the firmware returned a value.
int32_t RequestGetVariable(const RequestTarget& target, NvmOptionRequest& option);

struct DirectInstallOutcome {
  uint32_t installed_items_0 = 0;
  uint32_t installed_items_1 = 0;
  uint8_t result = 0;
  uint8_t problem_item = 0;
  uint8_t reset_required = 0;
};
int32_t RequestInstallUpdate(const RequestTarget& target, uint32_t install_type,
                             DirectInstallOutcome& outcome);
// The firmware clock, UTC, millisecond 0.
int32_t RequestSetTime(const RequestTarget& target, uint16_t year, uint8_t month, uint8_t day,
                       uint8_t hour, uint8_t minute, uint8_t second);

// ---- the NVM operations over direct requests --------------------------------

NvmStatus DirectGetDirectory(std::string_view adapter, uint32_t& count, uint32_t& entry_length,
                             std::span<uint8_t> buffer);
NvmStatus DirectGetItem(std::string_view adapter, uint32_t index, uint32_t offset,
                        std::span<uint8_t> buffer);
int32_t DirectCreateItem(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                         uint16_t attributes, uint32_t item_length);
NvmStatus DirectModifyItem(std::string_view adapter, uint16_t index, ByteView data);
int32_t DirectInstallUpdate(std::string_view adapter, ByteView package, int32_t* problem_item,
                            uint8_t* reset_required, uint32_t install_type);
NvmStatus DirectGetOption(std::string_view adapter, NvmOptionRequest& request);
// The package log item (type 1): its directory entry and valid data, for
// the installed version query's direct form.
NvmStatus DirectReadPackageLog(std::string_view adapter, NvmDirEntry& entry,
                               std::vector<uint8_t>& data);

}  // namespace skyfw
