// The firmware's own reader of an NVM package ("PKG0", optionally inside the
// outer wrapper), as it finds it in the update area.
//
// Deliberately written apart from the library's package reader: the
// firmware is the second opinion on every package the library sends. It
// checks everything before anything is installed: framing, manifest, the
// package CRC, each item's bounds and CRC (unless the item's attributes
// waive it), duplicate items and the property stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "sim/driver/driver_error.h"

namespace skyfw::sim {

// The installed-items mask has one bit per packaged item.
inline constexpr uint32_t kMaxPackageItems = 64;
inline constexpr uint8_t kNoProblemItem = 0xFF;

struct FirmwarePackageItem {
  uint8_t directive = 0;
  uint16_t type = 0;
  uint16_t ordinal = 0;
  uint16_t ext = 0;
  uint16_t attr = 0;
  uint32_t item_length = 0;
  ByteView data;  // inside the bytes given to the reader
};

struct FirmwarePackage {
  std::string version;      // property 9, empty when absent
  std::string description;  // property 1
  std::vector<FirmwarePackageItem> items;
};

struct PackageProblem {
  DriverError error = kDriverOk;
  uint8_t item = kNoProblemItem;  // packaged item at fault, from 0
};

// Reads and checks a whole package. `bytes` must outlive `out`.
PackageProblem ReadFirmwarePackage(ByteView bytes, FirmwarePackage& out);

}  // namespace skyfw::sim
