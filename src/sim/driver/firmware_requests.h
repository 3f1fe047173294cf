// The driver's direct firmware-command interface: request blocks sent with
// the I/O control code IOCTL_NRVN_FWCMD (0xC301FC07) to the adapter's device interface.
//
// Request block: bytes 0-1 the request type, 2-15 zero, the body from 16.
// Response block: bytes 0-1 the status (0 or the firmware's error number),
// the body from 8. Where data moves, the request's 8-byte field at 16 gives
// its offset inside the request block (data sent) or the response (data
// returned). All values little-endian.
#pragma once

#include <cstdint>
#include <span>

#include "base/byte_reader.h"
#include "sim/driver/adapter_driver.h"

namespace skyfw::sim {

// Request types.
inline constexpr uint16_t kRequestGetDirInfo = 0xFFFB;
inline constexpr uint16_t kRequestGetDirEntries = 0xFFFA;
inline constexpr uint16_t kRequestFindDirEntry = 0xFFF9;
inline constexpr uint16_t kRequestNvmWrite = 0xFFFE;
inline constexpr uint16_t kRequestNvmRead = 0xFFFD;
inline constexpr uint16_t kRequestNvmModify = 0xFFF4;
inline constexpr uint16_t kRequestGetVariable = 0xFFF1;
inline constexpr uint16_t kRequestInstallUpdate = 0xFFF3;
inline constexpr uint16_t kRequestSetTime = 0x00C8;

// Most data a read or modify request moves at once.
inline constexpr uint32_t kMaxRequestData = 61440;

// Carries out one request. Returns a Win32 error: ERROR_INVALID_PARAMETER
// for a request block too short for its type, ERROR_INSUFFICIENT_BUFFER for
// a response buffer too small; otherwise ERROR_SUCCESS with the firmware's
// verdict in the response status. `bytes_returned` is the response length.
uint32_t HandleFirmwareRequest(AdapterDriver& driver, ByteView input, std::span<uint8_t> output,
                               uint32_t& bytes_returned);

}  // namespace skyfw::sim
