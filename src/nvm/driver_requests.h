// The driver's firmware request blocks, sent with IOCTL_NRVN_FWCMD to the
// adapter's firmware-command interface: each block's size and each field's
// place, named once for the direct transport that builds the requests and
// reads the responses and for the simulated driver that does the reverse.
// All values little-endian, read and written through base/byte_reader.h.
//
// Request block: bytes 0-1 the request type, 2-15 zero, the body from 16.
// Response block: bytes 0-1 the status (0 = success, else the firmware's
// error number), the body from 8. Where data moves, the request's field at
// 16 gives the data's offset in the request (data sent) or in the response
// (data returned).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace skyfw {

// Request types.
inline constexpr uint16_t kNvmGetDirInfo = 0xFFFB;
inline constexpr uint16_t kNvmGetDirEntries = 0xFFFA;
inline constexpr uint16_t kFwcmdNvmFindDirEntry = 0xFFF9;
inline constexpr uint16_t kFwcmdNvmWrite = 0xFFFE;
inline constexpr uint16_t kFwcmdNvmRead = 0xFFFD;
inline constexpr uint16_t kFwcmdNvmModify = 0xFFF4;
inline constexpr uint16_t kFwcmdNvmGetVariable = 0xFFF1;
inline constexpr uint16_t kFwcmdNvmInstallUpdate = 0xFFF3;
inline constexpr uint16_t kFwcmdFwSetTime = 0x00C8;

// Most data bytes one read or modify request carries, and the size of the
// read response and of the modify request block.
inline constexpr uint32_t kDirectChunkBytes = 61440;
inline constexpr size_t kDirectTransferBlockBytes = 65536;

namespace driver_requests {

// A field of a block: where it starts and how many bytes it spans.
struct Field {
  size_t offset;
  size_t size;
  constexpr size_t end() const { return offset + size; }
};

// True when `fields` follow one another in order without overlapping, the
// first at or after `start`, the last within `block` bytes. The layouts
// below check themselves with it.
constexpr bool Packed(size_t start, std::initializer_list<Field> fields, size_t block) {
  size_t at = start;
  for (const Field& field : fields) {
    if (field.offset < at) return false;
    at = field.end();
  }
  return at <= block;
}

// ---- common to every block ---------------------------------------------------

inline constexpr Field kType{0, 2};
inline constexpr size_t kRequestHeaderBytes = 16;
// The data offset: 8 bytes, of which the transport sets the low 4.
inline constexpr Field kDataOffset{16, 8};

inline constexpr Field kStatus{0, 2};
inline constexpr size_t kResponseHeaderBytes = 8;
// A response that carries no more than its status is still this long.
inline constexpr size_t kStatusResponseBytes = 16;

static_assert(Packed(0, {kType}, kRequestHeaderBytes));
static_assert(Packed(kRequestHeaderBytes, {kDataOffset}, 24));
static_assert(Packed(0, {kStatus}, kResponseHeaderBytes));
static_assert(kResponseHeaderBytes <= kStatusResponseBytes);

// ---- NVM_GET_DIR_INFO: the directory's entry count and entry length -----------

namespace dir_info {
inline constexpr size_t kRequestBytes = kRequestHeaderBytes;  // no body
inline constexpr size_t kResponseBytes = 24;
inline constexpr Field kCount{8, 4};
inline constexpr Field kEntryLength{12, 4};
static_assert(Packed(kResponseHeaderBytes, {kCount, kEntryLength}, kResponseBytes));
}  // namespace dir_info

// ---- NVM_GET_DIR_ENTRIES: the raw directory, at the data offset ---------------

namespace dir_entries {
inline constexpr size_t kRequestBytes = 24;
// Where the transport asks for the directory, just behind a 16-byte header.
inline constexpr size_t kDataAt = 16;
static_assert(Packed(kRequestHeaderBytes, {kDataOffset}, kRequestBytes));
static_assert(kDataAt >= kResponseHeaderBytes);
}  // namespace dir_entries

// ---- FWCMD_NVM_FIND_DIR_ENTRY: an item's index and length by its key ----------

namespace find_dir_entry {
inline constexpr size_t kRequestBytes = 32;
inline constexpr Field kItemType{22, 2};
inline constexpr Field kOrdinal{24, 2};
inline constexpr Field kExt{26, 2};
static_assert(Packed(kRequestHeaderBytes, {kItemType, kOrdinal, kExt}, kRequestBytes));

inline constexpr size_t kResponseBytes = 32;
inline constexpr Field kItemLength{8, 4};
inline constexpr Field kIndex{22, 2};
static_assert(Packed(kResponseHeaderBytes, {kItemLength, kIndex}, kResponseBytes));
}  // namespace find_dir_entry

// ---- FWCMD_NVM_WRITE: creates an item ----------------------------------------

namespace nvm_write {
// The data offset is the block's size: the request carries no data.
inline constexpr size_t kRequestBytes = 48;
inline constexpr Field kItemType{24, 2};
inline constexpr Field kOrdinal{26, 2};
inline constexpr Field kExt{28, 2};
inline constexpr Field kAttributes{30, 2};
inline constexpr Field kItemLength{40, 4};
static_assert(Packed(kRequestHeaderBytes,
                     {kDataOffset, kItemType, kOrdinal, kExt, kAttributes, kItemLength},
                     kRequestBytes));

inline constexpr size_t kResponseBytes = kStatusResponseBytes;
inline constexpr Field kIndex{12, 2};
static_assert(Packed(kResponseHeaderBytes, {kIndex}, kResponseBytes));
}  // namespace nvm_write

// ---- FWCMD_NVM_READ: one chunk of an item, at the data offset of the response --

namespace nvm_read {
inline constexpr size_t kRequestBytes = 40;
inline constexpr Field kIndex{24, 2};
inline constexpr Field kItemOffset{28, 4};
inline constexpr Field kLength{32, 4};
static_assert(Packed(kRequestHeaderBytes, {kDataOffset, kIndex, kItemOffset, kLength},
                     kRequestBytes));

inline constexpr size_t kResponseBytes = kDirectTransferBlockBytes;
// Where the transport asks for the data, just behind a 16-byte header.
inline constexpr size_t kDataAt = 16;
static_assert(kDataAt >= kResponseHeaderBytes);
static_assert(kDataAt + kDirectChunkBytes <= kResponseBytes);
}  // namespace nvm_read

// ---- FWCMD_NVM_MODIFY: one chunk of an item, carried in the request -----------

namespace nvm_modify {
inline constexpr size_t kRequestBytes = kDirectTransferBlockBytes;
// The index field spans 4 bytes, the upper 2 zero.
inline constexpr Field kIndex{24, 4};
inline constexpr Field kItemOffset{28, 4};
inline constexpr Field kLength{32, 4};
// Where the transport puts the data, behind the fields.
inline constexpr size_t kDataAt = 40;
static_assert(Packed(kRequestHeaderBytes, {kDataOffset, kIndex, kItemOffset, kLength}, kDataAt));
static_assert(kDataAt + kDirectChunkBytes <= kRequestBytes);

inline constexpr size_t kResponseBytes = kStatusResponseBytes;
}  // namespace nvm_modify

// ---- FWCMD_NVM_GET_VARIABLE: an NVM option's value, at the data offset ----------

namespace get_variable {
inline constexpr size_t kRequestBytes = 40;
inline constexpr Field kLength{24, 2};  // in bits
inline constexpr Field kOptionNum{26, 2};
inline constexpr Field kDimensions{28, 2};
inline constexpr Field kIndex0{30, 2};
inline constexpr Field kIndex1{32, 2};
inline constexpr Field kIndex2{34, 2};
inline constexpr Field kIndex3{36, 2};
static_assert(Packed(kRequestHeaderBytes,
                     {kDataOffset, kLength, kOptionNum, kDimensions, kIndex0, kIndex1, kIndex2,
                      kIndex3},
                     kRequestBytes));

// The response runs from its header to the value, (length + 7) / 8 bytes.
inline constexpr Field kReturnedLength{8, 2};  // in bits; 0 when there is no value
// Where the transport asks for the value, just behind a 16-byte header.
inline constexpr size_t kDataAt = 16;
static_assert(Packed(kResponseHeaderBytes, {kReturnedLength}, kDataAt));
}  // namespace get_variable

// ---- FWCMD_NVM_INSTALL_UPDATE: installs the package in the update area ---------

namespace install_update {
inline constexpr size_t kRequestBytes = 24;
inline constexpr Field kInstallType{16, 4};
static_assert(Packed(kRequestHeaderBytes, {kInstallType}, kRequestBytes));

inline constexpr size_t kResponseBytes = 24;
// The installed items, 64 bits, low half first.
inline constexpr Field kInstalledItems0{8, 4};
inline constexpr Field kInstalledItems1{12, 4};
inline constexpr Field kResult{16, 1};
inline constexpr Field kProblemItem{17, 1};
inline constexpr Field kResetRequired{18, 1};
static_assert(Packed(kResponseHeaderBytes,
                     {kInstalledItems0, kInstalledItems1, kResult, kProblemItem, kResetRequired},
                     kResponseBytes));
}  // namespace install_update

// ---- FWCMD_FW_SET_TIME: the firmware clock, UTC -----------------------------------

namespace set_time {
inline constexpr size_t kRequestBytes = 32;
inline constexpr Field kYear{16, 2};
inline constexpr Field kMonth{18, 1};
inline constexpr Field kDay{19, 1};
inline constexpr Field kHour{20, 1};
inline constexpr Field kMinute{21, 1};
inline constexpr Field kSecond{22, 1};
inline constexpr Field kMillisecond{24, 2};
static_assert(Packed(kRequestHeaderBytes,
                     {kYear, kMonth, kDay, kHour, kMinute, kSecond, kMillisecond}, kRequestBytes));

inline constexpr size_t kResponseBytes = kStatusResponseBytes;
}  // namespace set_time

}  // namespace driver_requests
}  // namespace skyfw
