// The NVM package file ("PKG0") and its reader.
//
//   0   "PKG0"
//   4   trailer length   bytes at the end not covered by the package CRC (4)
//   8   header length H  12 + property area length; the manifest's offset
//   12  property area    tag (1, not 0), length (2), value; tag 0 ends it
//   H   manifest header  "Man0", M (20), item count N, D (64), I (24)
//   H+M N entries of D + I bytes (descriptor, identity), then the item data
//   end-4  CRC-32 of bytes [0, size - trailer length)
//
// A file may be wrapped in an outer header (GUID, version 1, wrapper length
// W, CRC of its first W - 4 bytes); the package then starts at W.
//
// Every accessor takes the package bytes (the header at the first byte) and
// reads them through ByteReader only: nothing outside them is ever touched,
// whatever the file claims.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/nvm_status.h"
#include "package/package_buffer.h"
#include "base/byte_reader.h"

namespace skyfw {

inline constexpr uint32_t kPackageMagic = 0x30474B50;   // "PKG0"
inline constexpr uint32_t kManifestMagic = 0x306E614D;  // "Man0"
inline constexpr uint32_t kPackageHeaderLength = 12;
inline constexpr uint32_t kPackageTrailerLength = 4;
inline constexpr uint32_t kManifestHeaderLength = 20;
inline constexpr uint32_t kDescriptorLength = 64;
inline constexpr uint32_t kIdentityLength = 24;
inline constexpr uint32_t kPackageItemEntryLength = kDescriptorLength + kIdentityLength;

inline constexpr uint8_t kWrapperIdentifier[16] = {0xF0, 0x18, 0x87, 0x8C, 0xCB, 0x7D, 0x49, 0x43,
                                                   0x98, 0x00, 0xA0, 0x2F, 0x05, 0x9A, 0xCA, 0x02};
inline constexpr uint8_t kWrapperVersion = 1;
inline constexpr size_t kWrapperMinimumFileLength = 36;
// Identifier, version, length and CRC: the smallest wrapper header.
inline constexpr size_t kWrapperMinimumLength = 23;

// Property tags.
enum PackageProperty : uint8_t {
  kPropertyDescription = 1,
  kPropertyDeviceIds = 2,
  kPropertyLowestRevision = 3,
  kPropertyHighestRevision = 4,
  kPropertyCreator = 5,
  kPropertyCreationTime = 6,
  kPropertyVersion = 9,
  kPropertySubsystemVendor = 10,
  kPropertySubsystemId = 11,
  kPropertyPrerequisite = 20,
};

// Directives of a manifest entry the library gives meaning to.
inline constexpr uint8_t kDirectiveNoSpace = 3;   // may occupy no NVRAM space
inline constexpr uint8_t kDirectiveNoVerify = 4;  // data not verified; not for firmware images

// dir_attr bits.
inline constexpr uint16_t kAttrNoChecksum = 0x0001;
inline constexpr uint16_t kAttrSignedTrailer = 0x0010;

// A package file as read: owns the whole file, and shows the package inside
// it (after the wrapper, when there is one) as a byte view.
class NvmPackage {
 public:
  NvmPackage() = default;
  NvmPackage(NvmPackage&&) = default;
  NvmPackage& operator=(NvmPackage&&) = default;

  bool empty() const { return size_ == 0; }
  ByteView file() const { return {bytes_.get(), size_}; }
  ByteView package() const { return file().subspan(package_offset_); }
  size_t wrapper_length() const { return package_offset_; }
  void Release() { *this = NvmPackage(); }

 private:
  friend NvmStatus ReadPackageFile(const std::string& path, NvmPackage& package);
  PackageBuffer bytes_;
  size_t size_ = 0;
  size_t package_offset_ = 0;
};

struct PackageHeader {
  uint32_t magic = 0;
  uint32_t trailer_length = 0;
  uint32_t header_length = 0;
};

struct ManifestHeader {
  uint32_t magic = 0;
  uint32_t header_length = 0;
  uint32_t item_count = 0;
  uint32_t descriptor_length = 0;
  uint32_t identity_length = 0;
};

// One manifest entry as an 88-byte record: descriptor (directive first) and
// identity (the NVRAM directory entry layout). Values own their bytes; the
// accessors decode the little-endian fields.
struct PackageItemEntry {
  uint8_t descriptor[kDescriptorLength] = {};
  uint8_t identity[kIdentityLength] = {};

  uint8_t directive() const { return descriptor[0]; }
  uint16_t dir_type() const { return Get16(0); }
  uint16_t dir_ordinal() const { return Get16(2); }
  uint16_t dir_ext() const { return Get16(4); }
  uint16_t dir_attr() const { return Get16(6); }
  uint32_t data_offset() const { return Get32(8); }
  uint32_t dir_item_length() const { return Get32(12); }
  uint32_t data_length() const { return Get32(16); }
  uint32_t checksum() const { return Get32(20); }

  void set_directive(uint8_t value) { descriptor[0] = value; }
  void set_dir_type(uint16_t value) { Set16(0, value); }
  void set_dir_ordinal(uint16_t value) { Set16(2, value); }
  void set_dir_ext(uint16_t value) { Set16(4, value); }
  void set_dir_attr(uint16_t value) { Set16(6, value); }
  void set_data_offset(uint32_t value) { Set32(8, value); }
  void set_dir_item_length(uint32_t value) { Set32(12, value); }
  void set_data_length(uint32_t value) { Set32(16, value); }
  void set_checksum(uint32_t value) { Set32(20, value); }

 private:
  uint16_t Get16(size_t at) const {
    return static_cast<uint16_t>(identity[at] | (identity[at + 1] << 8));
  }
  uint32_t Get32(size_t at) const {
    return uint32_t{identity[at]} | (uint32_t{identity[at + 1]} << 8) |
           (uint32_t{identity[at + 2]} << 16) | (uint32_t{identity[at + 3]} << 24);
  }
  void Set16(size_t at, uint16_t value) {
    identity[at] = static_cast<uint8_t>(value);
    identity[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  void Set32(size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) identity[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
};
static_assert(sizeof(PackageItemEntry) == kPackageItemEntryLength);

// Reads a file whole and checks its framing (wrapper, then package header).
// On success `package` owns the bytes; on failure it is empty.
NvmStatus ReadPackageFile(const std::string& path, NvmPackage& package);

// True when `file` starts with a wrapper header (a wrapped package file).
bool IsWrappedPackage(ByteView file);

NvmStatus CheckPackageHeader(ByteView package, PackageHeader& header);
// Checks the package header, then reads and checks the manifest header.
NvmStatus ReadManifestHeader(ByteView package, ManifestHeader& manifest);
NvmStatus GetPackageItemCount(ByteView package, uint32_t& count);

// Reads up to `entries.size()` entries from index `first` and returns how
// many it read (fewer when the manifest ends first), or a negative status.
NvmStatus ReadPackageItems(ByteView package, uint32_t first, std::span<PackageItemEntry> entries);
// 1 when entry `index` was read, 0 when the manifest has no such entry.
NvmStatus ReadPackageItem(ByteView package, uint32_t index, PackageItemEntry& entry);
// The first entry in manifest order with these three fields, and its index
// when `index` is given; NVCRETVAL_ITEM_NOT_FOUND when there is none.
NvmStatus FindPackageItem(ByteView package, uint16_t dir_type, uint16_t dir_ordinal,
                          uint16_t dir_ext, PackageItemEntry& entry, uint32_t* index = nullptr);

// H - 12 after a passing header check, or its failure.
NvmStatus GetPropertyAreaLength(ByteView package);

// The first property with `tag`: returns its value length (which may claim
// more bytes than there are) and the offset of its value in `bytes`, or
// NVCRETVAL_ITEM_NOT_FOUND. Searches the property area of a package that
// passes the header check, otherwise `bytes` as a bare property area.
NvmStatus FindProperty(ByteView bytes, uint8_t tag, size_t& value_offset);

// Zero-fills `destination`, copies as much of the value as fits and returns
// the value length; NVCRETVAL_INVALID_PROP_LENGTH when the value runs past
// the end of `bytes`.
NvmStatus GetProperty(ByteView bytes, uint8_t tag, std::span<uint8_t> destination);

// The value of a property as a view, when it is present and lies within
// `bytes` (convenience for readers that need the whole value).
bool GetPropertyView(ByteView bytes, uint8_t tag, ByteView& value);

// Edits a bare property area whose bytes after the last property are zero.
// Returns the stored value length or a negative status.
NvmStatus SetProperty(std::span<uint8_t> area, uint8_t tag, ByteView value);
// Stores exactly `length` bytes: the text up to its first zero byte, then
// zeros. No terminator is stored.
NvmStatus SetStringProperty(std::span<uint8_t> area, uint8_t tag, std::string_view text,
                            size_t length);

// Walks a property stream, calling `visit(tag, value_offset, declared_length)`
// for each property until tag 0, the end of the stream, or `visit` returns
// false. Offsets are relative to `stream`; a value may claim more bytes than
// the stream has.
void ForEachProperty(ByteView stream, const std::function<bool(uint8_t, size_t, uint16_t)>& visit);

}  // namespace skyfw
