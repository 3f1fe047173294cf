// The device inventory: one record per supported adapter (function 0 under
// the current driver), with the firmware item chosen for it and duplicate
// ports removed by the identity key in NVM option 1.
#pragma once

#include <optional>
#include <string>

#include "update/device_record.h"

namespace skyfw {

// Rebuilds the library's inventory from the started adapter library. With a
// firmware directory (when no catalogue was loaded in this call) its files
// are the package candidates. When the adapter list cannot be read, the
// inventory keeps what it held. True when it holds at least one record.
bool BuildInventory(const std::optional<std::string>& firmware_directory);

// "%04x:%02x:%02x:%x" of the four numbers.
std::string FormatPciLocation(uint32_t segment, uint32_t bus, uint32_t device, uint32_t function);

// The eight option bytes, each "%x", first byte first.
std::string FormatNvmOptionKey(const uint8_t (&bytes)[8]);

}  // namespace skyfw
