#include "sim/driver/firmware_package.h"

#include <array>

#include "sim/driver/firmware_crc32.h"

namespace skyfw::sim {
namespace {

constexpr std::array<uint8_t, 16> kWrapperId = {0xF0, 0x18, 0x87, 0x8C, 0xCB, 0x7D, 0x49, 0x43,
                                                0x98, 0x00, 0xA0, 0x2F, 0x05, 0x9A, 0xCA, 0x02};
constexpr size_t kWrapperMinimum = 36;
constexpr size_t kWrapperFixedPart = 23;  // identifier, version, length and CRC
constexpr uint32_t kManifestHeaderSize = 20;
constexpr uint32_t kDescriptorSize = 64;
constexpr uint32_t kIdentitySize = 24;
constexpr uint16_t kAttrNoChecksum = 0x01;
constexpr uint8_t kTagDescription = 1;
constexpr uint8_t kTagVersion = 9;

bool HasMagic(const ByteReader& reader, size_t offset, const char (&magic)[5]) {
  ByteView view;
  if (!reader.ViewAt(offset, 4, view)) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (view[i] != static_cast<uint8_t>(magic[i])) return false;
  }
  return true;
}

bool IsWrapped(ByteView bytes) {
  if (bytes.size() < kWrapperMinimum) return false;
  for (size_t i = 0; i < kWrapperId.size(); ++i) {
    if (bytes[i] != kWrapperId[i]) return false;
  }
  return bytes[16] == 1;
}

// Strips the wrapper after checking its length and CRC.
PackageProblem Unwrap(ByteView& bytes) {
  if (!IsWrapped(bytes)) return {};
  ByteReader reader(bytes);
  uint16_t wrapper_length = 0;
  uint32_t stored = 0;
  reader.U16At(17, wrapper_length);
  if (wrapper_length < kWrapperFixedPart || wrapper_length > bytes.size()) {
    return {kDriverInvalidFileHeader};
  }
  reader.U32At(wrapper_length - 4u, stored);
  if (FirmwareCrc32(bytes.first(wrapper_length - 4u)) != stored) return {kDriverInvalidChecksum};
  bytes = bytes.subspan(wrapper_length);
  return {};
}

std::string TextOf(ByteView value) {
  size_t used = 0;
  while (used < value.size() && value[used] != 0) ++used;
  return std::string(reinterpret_cast<const char*>(value.data()), used);
}

PackageProblem ReadProperties(ByteView area, FirmwarePackage& out) {
  ByteReader reader(area);
  bool have_version = false;
  bool have_description = false;
  while (reader.remaining() > 0) {
    uint8_t tag = 0;
    uint16_t length = 0;
    ByteView value;
    reader.ReadU8(tag);
    if (tag == 0) break;
    if (!reader.ReadU16(length) || !reader.ReadView(length, value)) {
      return {kDriverInvalidPropStream};
    }
    if (tag == kTagVersion && !have_version) {
      out.version = TextOf(value);
      have_version = true;
    } else if (tag == kTagDescription && !have_description) {
      out.description = TextOf(value);
      have_description = true;
    }
  }
  // The version becomes a field of the package log; a tab or line feed in it
  // would split the record.
  for (char c : out.version) {
    if (c == '\t' || c == '\n') return {kDriverInvalidString};
  }
  return {};
}

PackageProblem ReadItems(const ByteReader& reader, size_t entries_start, uint32_t count,
                         uint32_t entry_size, size_t data_end, FirmwarePackage& out) {
  for (uint32_t k = 0; k < count; ++k) {
    uint8_t problem_item = static_cast<uint8_t>(k);
    size_t at = entries_start + static_cast<size_t>(k) * entry_size;
    FirmwarePackageItem item;
    uint32_t data_offset = 0;
    uint32_t data_length = 0;
    uint32_t checksum = 0;
    size_t identity = at + kDescriptorSize;
    if (!reader.U8At(at, item.directive) || !reader.U16At(identity, item.type) ||
        !reader.U16At(identity + 2, item.ordinal) || !reader.U16At(identity + 4, item.ext) ||
        !reader.U16At(identity + 6, item.attr) || !reader.U32At(identity + 8, data_offset) ||
        !reader.U32At(identity + 12, item.item_length) ||
        !reader.U32At(identity + 16, data_length) || !reader.U32At(identity + 20, checksum)) {
      return {kDriverInvalidManifest, problem_item};
    }
    if (item.type == 0) return {kDriverInvalidTypeParameter, problem_item};
    if (data_length > item.item_length) return {kDriverInvalidDataLength, problem_item};
    if (data_length > 0) {
      // Item data lies after the manifest and before the package CRC.
      size_t manifest_end = entries_start + static_cast<size_t>(count) * entry_size;
      if (data_offset < manifest_end || !RangeFits(data_end, data_offset, data_length)) {
        return {kDriverInvalidDataOffset, problem_item};
      }
      reader.ViewAt(data_offset, data_length, item.data);
    }
    if ((item.attr & kAttrNoChecksum) == 0 && FirmwareCrc32(item.data) != checksum) {
      return {kDriverInvalidItemChecksum, problem_item};
    }
    for (const FirmwarePackageItem& earlier : out.items) {
      if (earlier.type == item.type && earlier.ordinal == item.ordinal && earlier.ext == item.ext) {
        return {kDriverDuplicateItem, problem_item};
      }
    }
    out.items.push_back(item);
  }
  return {};
}

}  // namespace

PackageProblem ReadFirmwarePackage(ByteView bytes, FirmwarePackage& out) {
  out = FirmwarePackage{};
  if (PackageProblem problem = Unwrap(bytes); problem.error != kDriverOk) return problem;

  ByteReader reader(bytes);
  uint32_t trailer_length = 0;
  uint32_t header_length = 0;
  if (!reader.U32At(4, trailer_length) || !reader.U32At(8, header_length)) {
    return {kDriverInvalidLength};
  }
  if (!HasMagic(reader, 0, "PKG0")) return {kDriverInvalidSignature};
  // The package CRC sits in the last 4 bytes of the trailer; a package
  // without one cannot be trusted by the firmware.
  if (header_length < 12 || header_length > bytes.size() || trailer_length < 4 ||
      trailer_length > bytes.size() - header_length) {
    return {kDriverInvalidFileHeader};
  }
  size_t data_end = bytes.size() - trailer_length;
  uint32_t stored_crc = 0;
  reader.U32At(bytes.size() - 4, stored_crc);
  if (FirmwareCrc32(bytes.first(data_end)) != stored_crc) return {kDriverInvalidChecksum};

  size_t manifest = header_length;
  uint32_t manifest_length = 0;
  uint32_t count = 0;
  uint32_t descriptor_length = 0;
  uint32_t identity_length = 0;
  if (data_end - manifest < kManifestHeaderSize) return {kDriverInvalidManifest};
  if (!HasMagic(reader, manifest, "Man0")) return {kDriverInvalidSignature};
  reader.U32At(manifest + 4, manifest_length);
  reader.U32At(manifest + 8, count);
  reader.U32At(manifest + 12, descriptor_length);
  reader.U32At(manifest + 16, identity_length);
  // The firmware knows one entry layout only; anything else is not a
  // manifest it can follow.
  if (manifest_length < kManifestHeaderSize || manifest_length > data_end - manifest ||
      descriptor_length != kDescriptorSize || identity_length != kIdentitySize ||
      count > kMaxPackageItems) {
    return {kDriverInvalidManifest};
  }
  size_t entries_start = manifest + manifest_length;
  uint32_t entry_size = kDescriptorSize + kIdentitySize;
  if (!RangeFits(data_end, entries_start, static_cast<size_t>(count) * entry_size)) {
    return {kDriverInvalidManifest};
  }
  if (PackageProblem problem = ReadProperties(bytes.subspan(12, header_length - 12), out);
      problem.error != kDriverOk) {
    return problem;
  }
  return ReadItems(reader, entries_start, count, entry_size, data_end, out);
}

}  // namespace skyfw::sim
