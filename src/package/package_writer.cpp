#include "package/package_writer.h"

#include <cstring>
#include <limits>
#include <vector>

#include "integrity/crc32.h"
#include "integrity/signed_image.h"
#include "package/item_types.h"
#include "os/file_writer.h"

namespace skyfw {

namespace {

bool WriteAll(std::FILE* stream, ByteView bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

// The record's data, or an empty view when none was given.
ByteView DataOf(std::span<const ByteView> item_data, size_t i, const PackageItemEntry& record) {
  if (i >= item_data.size() || item_data[i].data() == nullptr ||
      item_data[i].size() < record.data_length()) {
    return {};
  }
  return item_data[i].first(record.data_length());
}

bool HasData(std::span<const ByteView> item_data, size_t i, const PackageItemEntry& record) {
  return record.data_length() == 0 || DataOf(item_data, i, record).size() == record.data_length();
}

// Pass 1: what can be known of an item before anything of it is written.
NvmStatus CheckItem(PackageItemEntry& record, ByteView data, bool verify) {
  const uint16_t type = record.dir_type();
  if (IsFirmwareImageType(type) && record.directive() == kDirectiveNoVerify) {
    return NVCRETVAL_INVALID_DIRECTIVE;
  }
  if (verify && IsHeaderSignedType(type)) {
    if (NvmStatus status = VerifyHeaderSignedImage(data); status != NVCRETVAL_SUCCESS) {
      return status;
    }
  }
  if (ParseImageTrailer(data, nullptr) == NVCRETVAL_SUCCESS) {
    if (verify) {
      if (NvmStatus status = VerifyTrailerSignedImage(data); status != NVCRETVAL_SUCCESS) {
        return status;
      }
    }
    record.set_dir_attr(record.dir_attr() | kAttrSignedTrailer);
  } else if (verify && IsTrailerSignedType(type)) {
    return NVCRETVAL_INVALID_TRAILER;
  } else if (record.dir_attr() & kAttrSignedTrailer) {
    return NVCRETVAL_TRAILER_NOT_FOUND;
  }
  return NVCRETVAL_SUCCESS;
}

}  // namespace

NvmStatus WritePackage(std::FILE* stream, ByteView property_area, size_t property_area_length,
                       std::span<PackageItemEntry> records, std::span<const ByteView> item_data,
                       int32_t* failing_index, bool verify) {
  int32_t unused_index = 0;
  int32_t& index = failing_index != nullptr ? *failing_index : unused_index;
  index = -1;
  if (stream == nullptr) return NVCRETVAL_INVALID_POINTER_PARAMETER;
  if (!property_area.empty()) property_area_length = property_area.size();
  if (property_area_length > std::numeric_limits<uint32_t>::max() - kPackageHeaderLength ||
      records.size() > std::numeric_limits<int32_t>::max()) {
    return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  }

  if (!property_area.empty()) {
    ByteView version;
    ByteView prerequisite;
    if (GetPropertyView(property_area, kPropertyVersion, version) &&
        GetPropertyView(property_area, kPropertyPrerequisite, prerequisite) &&
        (prerequisite.size() != version.size() ||
         std::memcmp(prerequisite.data(), version.data(), version.size()) >= 0)) {
      return NVCRETVAL_INVALID_PREREQUISITE;
    }
  }

  if (platform::EmptyStream(stream) != 0) return NVCRETVAL_FILE_TRUNCATE_FAILURE;

  uint32_t count = 0;
  for (const PackageItemEntry& record : records) count += record.dir_type() != 0 ? 1 : 0;

  std::vector<uint8_t> head;
  ByteWriter writer(head);
  writer.PutU32(kPackageMagic);
  writer.PutU32(kPackageTrailerLength);
  writer.PutU32(static_cast<uint32_t>(kPackageHeaderLength + property_area_length));
  if (!WriteAll(stream, head)) return NVCRETVAL_FILE_WRITE_FAILURE;
  if (!property_area.empty()) {
    if (!WriteAll(stream, property_area)) return NVCRETVAL_FILE_WRITE_FAILURE;
  } else if (std::fseek(stream, static_cast<long>(property_area_length), SEEK_CUR) != 0) {
    return NVCRETVAL_FILE_SEEK_FAILURE;
  }
  head.clear();
  writer.PutU32(kManifestMagic);
  writer.PutU32(kManifestHeaderLength);
  writer.PutU32(count);
  writer.PutU32(kDescriptorLength);
  writer.PutU32(kIdentityLength);
  if (!WriteAll(stream, head)) return NVCRETVAL_FILE_WRITE_FAILURE;

  const long position = std::ftell(stream);
  if (position < 0) return NVCRETVAL_FILE_SEEK_FAILURE;
  uint64_t data_end = static_cast<uint64_t>(position) + uint64_t{count} * kPackageItemEntryLength;

  // Pass 1: item checks.
  for (size_t i = 0; i < records.size(); ++i) {
    PackageItemEntry& record = records[i];
    const uint16_t type = record.dir_type();
    if (record.directive() == kDirectiveNoSpace || type == 0 || IsMarkedBlockType(type)) continue;
    index = static_cast<int32_t>(i);
    if (NvmStatus status = CheckItem(record, DataOf(item_data, i, record), verify);
        status != NVCRETVAL_SUCCESS) {
      return status;
    }
  }

  // Pass 2: manifest entries, with data offsets and checksums.
  for (size_t i = 0; i < records.size(); ++i) {
    PackageItemEntry& record = records[i];
    if (record.dir_type() == 0) continue;
    index = static_cast<int32_t>(i);
    if (record.directive() != kDirectiveNoSpace && record.dir_item_length() == 0) {
      return NVCRETVAL_ZERO_LENGTH_ITEM;
    }
    if (record.data_length() > record.dir_item_length()) return NVCRETVAL_INVALID_DATA_LENGTH;
    if (record.data_length() != 0) {
      if (!HasData(item_data, i, record)) return NVCRETVAL_INVALID_POINTER_PARAMETER;
      // Data offsets are 32-bit in the manifest.
      if (data_end > std::numeric_limits<uint32_t>::max()) return NVCRETVAL_INVALID_DATA_LENGTH;
      record.set_data_offset(static_cast<uint32_t>(data_end));
      record.set_checksum(Crc32(kCrc32Seed, DataOf(item_data, i, record)));
      data_end += (uint64_t{record.data_length()} + 3) & ~uint64_t{3};
    } else {
      record.set_data_offset(0);
    }
    if (std::fwrite(&record, 1, kPackageItemEntryLength, stream) != kPackageItemEntryLength) {
      return NVCRETVAL_FILE_WRITE_FAILURE;
    }
  }

  // Pass 3: item data, each padded to a multiple of 4 bytes.
  static constexpr uint8_t kPadding[4] = {};
  for (size_t i = 0; i < records.size(); ++i) {
    const PackageItemEntry& record = records[i];
    if (record.dir_type() == 0 || record.data_length() == 0) continue;
    index = static_cast<int32_t>(i);
    if (!HasData(item_data, i, record)) return NVCRETVAL_INVALID_POINTER_PARAMETER;
    if (!WriteAll(stream, DataOf(item_data, i, record))) return NVCRETVAL_FILE_WRITE_FAILURE;
    const size_t remainder = record.data_length() % 4;
    if (remainder != 0 && !WriteAll(stream, ByteView(kPadding, 4 - remainder))) {
      return NVCRETVAL_FILE_WRITE_FAILURE;
    }
  }

  index = -1;
  if (std::ftell(stream) != static_cast<long>(data_end)) return NVCRETVAL_FILE_WRITE_FAILURE;

  // The package CRC covers what actually landed in the file.
  if (std::fflush(stream) != 0) return NVCRETVAL_FILE_WRITE_FAILURE;
  std::rewind(stream);
  const uint32_t crc = Crc32File(stream, data_end);
  if (std::fseek(stream, static_cast<long>(data_end), SEEK_SET) != 0) {
    return NVCRETVAL_FILE_SEEK_FAILURE;
  }
  head.clear();
  writer.PutU32(crc);
  if (!WriteAll(stream, head) || std::fflush(stream) != 0) return NVCRETVAL_FILE_WRITE_FAILURE;
  return NVCRETVAL_SUCCESS;
}

}  // namespace skyfw
