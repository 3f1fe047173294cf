// The NVM operations (velonvm*): an adapter's NVRAM directory, its items,
// options and registers, package installation through the update area, and
// the driver's last NVM error.
//
// Every operation takes the adapter's WMI instance name (its title, UTF-8)
// first and returns an NvmStatus, or where said a non-negative result (a
// directory index, a data length, an installed-item count). Each opens its
// own driver connection and keeps nothing between calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/nvm_status.h"
#include "base/byte_reader.h"

namespace skyfw {

// One NVRAM directory entry: the first 24 bytes of a raw directory entry,
// little-endian, fields in this order.
struct NvmDirEntry {
  uint16_t dir_type = 0;  // 0 marks an empty entry
  uint16_t dir_ordinal = 0;
  uint16_t dir_ext = 0;
  uint16_t dir_attr = 0;  // 0x10: the item ends in a trailer
  uint32_t dir_offset = 0;
  uint32_t dir_item_length = 0;  // allocated size
  uint32_t dir_data_length = 0;  // valid bytes from the start
  uint32_t dir_checksum = 0;
};

inline constexpr size_t kNvmDirEntryLength = 24;
inline constexpr uint16_t kDirAttrTrailer = 0x10;

// Item types the system uses, each with ordinal 0 and extension 0.
inline constexpr uint16_t kPackageLogItemType = 1;
inline constexpr uint16_t kUpdateAreaItemType = 2;

// Raw directory fetched at first; larger directories are fetched whole.
inline constexpr size_t kRawDirectoryBytes = 4096;
// Entries velonvmFindDirEntry searches.
inline constexpr size_t kFindDirEntryCapacity = 100;
// Most bytes one Modify call carries.
inline constexpr size_t kModifyChunkBytes = 65536;
// Larger package logs (and directories of the direct transport) are driver
// faults: refused rather than allocated.
inline constexpr uint32_t kMaxDriverTransferBytes = 1024 * 1024;
// Update areas are created in multiples of this.
inline constexpr uint32_t kUpdateAreaGranule = 4096;

// Decodes the entry at `offset` of a raw directory; false when 24 bytes are
// not there.
bool DecodeNvmDirEntry(ByteView raw_directory, size_t offset, NvmDirEntry& entry);

// An NVM option read: `length` is the value's size in bits; `value` receives
// the value, at most `length` bytes of it.
struct NvmOptionRequest {
  uint16_t option_num = 0;
  uint16_t length = 0;
  uint16_t dimensions = 0;
  uint16_t index_0 = 0;
  uint16_t index_1 = 0;
  uint16_t index_2 = 0;
  uint16_t index_3 = 0;
  std::span<uint8_t> value;
};

// Count and entry length of the directory, and the raw directory copied into
// `buffer` (at most its size).
NvmStatus velonvmGetDirectory(std::string_view adapter, uint32_t& count, uint32_t& entry_length,
                              std::span<uint8_t> buffer);

// The directory as entries. `entries` with a null data pointer asks only for
// the count; a directory with more entries than `entries` holds gives
// NVCRETVAL_INSUFFICIENT_SPACE with `count` still set.
NvmStatus velonvmListDirectory(std::string_view adapter, uint32_t& count,
                               std::span<NvmDirEntry> entries);

// Index of the first entry with these three fields (empty entries take
// part), or a status. `entry` (may be null) receives a copy.
int32_t velonvmFindDirEntry(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                            NvmDirEntry* entry);

// Reads buffer.size() bytes at `offset` of item `index` in one call; a
// shorter answer still succeeds and leaves the rest of `buffer` untouched.
NvmStatus velonvmGetItem(std::string_view adapter, uint32_t index, uint32_t offset,
                         std::span<uint8_t> buffer);

// Reads an item's valid data whole: its data length, or a status.
int32_t velonvmReadItem(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                        std::span<uint8_t> buffer, NvmDirEntry* entry);

// Creates an item: its directory index, or a status.
int32_t velonvmCreateItem(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                          uint16_t attributes, uint32_t item_length);

// Writes `data` at offset 0 of item `index`, in calls of at most
// kModifyChunkBytes; a failed call leaves the calls before it written.
NvmStatus velonvmModifyItem(std::string_view adapter, uint16_t index, ByteView data);

// Writes an item, creating it (item length = data length) when missing.
NvmStatus velonvmWriteItem(std::string_view adapter, uint16_t type, uint16_t ordinal, uint16_t ext,
                           uint16_t attributes, ByteView data);

// Makes sure the update area can hold the package, then installs it. The
// installed-item count, or a status. `problem_item` (may be null) is -1 or
// the failing packaged item; `reset_required` (may be null) is set to 1 when
// the firmware asks for a reset and otherwise left alone.
int32_t velonvmInstallPackage(std::string_view adapter, ByteView package, int32_t* problem_item,
                              uint8_t* reset_required, uint32_t install_type);

// Writes the package into the update area, sets the firmware clock and has
// the firmware install it. Results as velonvmInstallPackage.
int32_t velonvmInstallUpdate(std::string_view adapter, ByteView package, int32_t* problem_item,
                             uint8_t* reset_required, uint32_t install_type);

// What the firmware's answer to an installation means: the installed-item
// count for result 0, otherwise a failure status. Any non-zero result byte is
// a refusal: 0x80 to 0xFF carry a status as a signed byte (0xEB is -21); 1 to
// 127 name none, and must not pass for an item count, so they give
// NVCRETVAL_FAILURE.
int32_t InstallResultOf(uint8_t result, uint32_t installed_items_0, uint32_t installed_items_1);

NvmStatus velonvmGetOption(std::string_view adapter, NvmOptionRequest& request);

// A 32-bit device register, its low four bits cleared.
NvmStatus velonvmReadRegister(std::string_view adapter, uint32_t offset, uint32_t& value);

// The driver's last NVM error, negated (0 when there is none); -41 when it
// cannot be asked.
NvmStatus velonvmGetLastError(std::string_view adapter);

// Whether an operation goes to the driver directly instead of over WMI.
// This system always uses WMI.
bool velonvmUseDirectAccess(std::string_view adapter, int32_t mode);

}  // namespace skyfw
