// The driver's direct firmware-command interface: request blocks sent with
// the I/O control code IOCTL_NRVN_FWCMD (0xC301FC07) to the adapter's device interface.
//
// The request types and the blocks' layouts are in nvm/driver_requests.h,
// shared with the direct transport that sends them.
#pragma once

#include <cstdint>
#include <span>

#include "base/byte_reader.h"
#include "nvm/driver_requests.h"
#include "sim/driver/adapter_driver.h"

namespace skyfw::sim {

// Carries out one request. Returns a Win32 error: ERROR_INVALID_PARAMETER
// for a request block too short for its type, ERROR_INSUFFICIENT_BUFFER for
// a response buffer too small; otherwise ERROR_SUCCESS with the firmware's
// verdict in the response status. `bytes_returned` is the response length.
uint32_t HandleFirmwareRequest(AdapterDriver& driver, ByteView input, std::span<uint8_t> output,
                               uint32_t& bytes_returned);

}  // namespace skyfw::sim
