// The NVRAM of one physical adapter as its firmware organises it: a directory
// of items, each identified by type, ordinal and extension, with an allocated
// size and the bytes of valid data from its start.
//
// The operations here are the firmware's NVM commands (directory, read,
// create, modify); the driver's WMI methods and direct requests both end up
// in them. Each returns a DriverError; nothing is changed when one fails.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "sim/driver/driver_error.h"

namespace skyfw::sim {

// Size of the directory entry layout every consumer relies on.
inline constexpr uint32_t kDirEntrySize = 24;

// Item types the firmware itself gives meaning to.
inline constexpr uint16_t kItemTypePackageLog = 1;
inline constexpr uint16_t kItemTypeUpdateArea = 2;
inline constexpr uint16_t kItemTypeVpd = 5;

// Bytes past an item's valid data read as erased flash.
inline constexpr uint8_t kErasedByte = 0xFF;

struct NvramItem {
  uint16_t type = 0;  // 0 marks an empty directory entry
  uint16_t ordinal = 0;
  uint16_t ext = 0;
  uint16_t attr = 0;
  uint32_t item_length = 0;   // allocated size
  std::vector<uint8_t> data;  // valid data; its size is dir_data_length
};

struct NvramImage {
  // Length of one entry in the raw directory the driver hands out; entries
  // longer than 24 bytes are zero-padded. A description may set another
  // value to imitate a driver of a different generation.
  uint32_t entry_length = kDirEntrySize;
  uint32_t capacity = 16u * 1024 * 1024;  // flash size: bound on the sum of item lengths
  uint32_t max_entries = 128;             // directory slots; bounds Create only
  std::vector<NvramItem> items;
};

struct FirmwareTime {
  uint16_t time_zone = 0;
  uint16_t year = 0;
  uint8_t month = 0;
  uint8_t day = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint16_t millisecond = 0;
};

// "2026-12-10 03:07:43Z"; all zeros when the clock was never set.
std::string FormatFirmwareTime(const FirmwareTime& time);
DriverError ValidateFirmwareTime(const FirmwareTime& time);

// The 24-byte directory entry of item `index` (dir_offset is its place in the
// flash layout, dir_checksum the CRC-32 of its data).
std::vector<uint8_t> EncodeDirEntry(const NvramImage& image, size_t index);

// The raw directory: whole entries of entry_length bytes, as many as fit in
// `capacity` bytes. `checksum_of` gives an item's dir_checksum when the
// caller remembers them; without it each item's data is checksummed.
using ItemChecksumSource = std::function<uint32_t(size_t index)>;
std::vector<uint8_t> DirectoryBytes(const NvramImage& image, uint32_t capacity,
                                    const ItemChecksumSource& checksum_of = nullptr);

std::optional<size_t> FindItem(const NvramImage& image, uint16_t type, uint16_t ordinal,
                               uint16_t ext);

// Bytes of item `index` from `offset`: at most `length`, clipped to the
// allocated size (bytes past the valid data read as kErasedByte).
DriverError ReadItem(const NvramImage& image, uint32_t index, uint32_t offset, uint32_t length,
                     std::vector<uint8_t>& out);

// Allocates an item. An item of the same type, ordinal and extension is
// reallocated in place (new attributes and size, data erased) rather than
// duplicated, so `index` is then its existing index.
DriverError CreateItem(NvramImage& image, uint16_t type, uint16_t ordinal, uint16_t ext,
                       uint16_t attr, uint32_t item_length, uint32_t& index);

// Writes `bytes` at `offset` of item `index`; the whole write must lie inside
// the allocated size. The valid data grows to cover it.
DriverError ModifyItem(NvramImage& image, uint32_t index, uint32_t offset, ByteView bytes);

// Sum of the allocated sizes of all items.
uint64_t AllocatedBytes(const NvramImage& image);

}  // namespace skyfw::sim
