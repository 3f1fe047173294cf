// Reading a package file and walking its header and manifest.
#include <cstdio>
#include <cstring>
#include <limits>

#include "integrity/crc32.h"
#include "package/package_format.h"
#include "os/file_reader.h"

namespace skyfw {

namespace {

// Entry k of the manifest: where it starts. False when that does not fit in
// 64 bits (it then lies beyond any real package).
bool EntryOffset(uint64_t first_entry, uint64_t entry_length, uint64_t k, uint64_t& offset) {
  if (entry_length != 0 &&
      k > (std::numeric_limits<uint64_t>::max() - first_entry) / entry_length) {
    return false;
  }
  offset = first_entry + k * entry_length;
  return true;
}

// Fills an 88-byte record from an entry of D + I file bytes: the first
// min(D, 64) bytes make the descriptor, min(I, 24) bytes from D the identity.
void DecodeEntry(ByteView entry_bytes, uint32_t descriptor_length, PackageItemEntry& entry) {
  entry = PackageItemEntry{};
  ByteReader reader(entry_bytes);
  reader.ReadBytes(entry.descriptor, std::min(descriptor_length, kDescriptorLength));
  reader.Seek(descriptor_length);
  reader.ReadBytes(entry.identity, std::min<size_t>(reader.remaining(), kIdentityLength));
}

}  // namespace

bool IsWrappedPackage(ByteView file) {
  ByteReader reader(file);
  ByteView identifier;
  uint8_t version = 0;
  return file.size() >= kWrapperMinimumFileLength && reader.ViewAt(0, 16, identifier) &&
         std::memcmp(identifier.data(), kWrapperIdentifier, 16) == 0 && reader.U8At(16, version) &&
         version == kWrapperVersion;
}

NvmStatus ReadPackageFile(const std::string& path, NvmPackage& package) {
  package.Release();
  // A folder, FIFO or device is no file to open: it fails as an open.
  int open_error = 0;
  uint64_t file_size = 0;
  platform::FileStream file = platform::OpenRegularFile(path, open_error, &file_size);
  if (!file) return NVCRETVAL_FILE_OPEN_FAILURE;

  // The format keeps sizes in signed 32 bits; anything larger is no package.
  if (file_size == 0 || file_size > uint64_t{std::numeric_limits<int32_t>::max()}) {
    return NVCRETVAL_INVALID_LENGTH;
  }
  const size_t size = static_cast<size_t>(file_size);

  // Not value-initialised: the read fills every byte.
  PackageBuffer bytes = AllocatePackageBuffer(size);
  if (!bytes) return NVCRETVAL_MALLOC_FAILURE;
  if (std::fread(bytes.get(), 1, size, file.get()) != size) return NVCRETVAL_FILE_READ_FAILURE;
  file.reset();

  const ByteView whole(bytes.get(), size);
  size_t package_offset = 0;
  if (IsWrappedPackage(whole)) {
    uint16_t wrapper_length = 0;
    ByteReader(whole).U16At(17, wrapper_length);
    // A wrapper shorter than its own fixed fields has no place for its CRC.
    if (wrapper_length > size || wrapper_length < kWrapperMinimumLength) {
      return NVCRETVAL_INVALID_FILE_HEADER;
    }
    uint32_t stored_crc = 0;
    ByteReader(whole).U32At(wrapper_length - 4u, stored_crc);
    if (Crc32(kCrc32Seed, whole.first(wrapper_length - 4u)) != stored_crc) {
      return NVCRETVAL_INVALID_CHECKSUM;
    }
    package_offset = wrapper_length;
  }

  PackageHeader header;
  NvmStatus status = CheckPackageHeader(whole.subspan(package_offset), header);
  if (status != NVCRETVAL_SUCCESS) return status;

  package.bytes_ = std::move(bytes);
  package.size_ = size;
  package.package_offset_ = package_offset;
  return NVCRETVAL_SUCCESS;
}

NvmStatus CheckPackageHeader(ByteView package, PackageHeader& header) {
  ByteReader reader(package);
  if (!reader.ReadU32(header.magic) || !reader.ReadU32(header.trailer_length) ||
      !reader.ReadU32(header.header_length)) {
    return NVCRETVAL_INVALID_LENGTH;
  }
  if (header.magic != kPackageMagic) return NVCRETVAL_INVALID_SIGNATURE;
  if (header.header_length < kPackageHeaderLength || header.header_length > package.size() ||
      package.size() - header.header_length < header.trailer_length) {
    return NVCRETVAL_INVALID_FILE_HEADER;
  }
  return NVCRETVAL_SUCCESS;
}

NvmStatus ReadManifestHeader(ByteView package, ManifestHeader& manifest) {
  PackageHeader header;
  NvmStatus status = CheckPackageHeader(package, header);
  if (status != NVCRETVAL_SUCCESS) return status;
  // What lies between the manifest's start and the package trailer.
  const uint64_t room = package.size() - header.trailer_length - header.header_length;
  if (room < kManifestHeaderLength) return NVCRETVAL_INVALID_MANIFEST;
  ByteReader reader(package);
  reader.Seek(header.header_length);
  reader.ReadU32(manifest.magic);
  reader.ReadU32(manifest.header_length);
  reader.ReadU32(manifest.item_count);
  reader.ReadU32(manifest.descriptor_length);
  reader.ReadU32(manifest.identity_length);
  if (manifest.magic != kManifestMagic) return NVCRETVAL_INVALID_SIGNATURE;
  if (room < manifest.header_length) return NVCRETVAL_INVALID_MANIFEST;
  return NVCRETVAL_SUCCESS;
}

NvmStatus GetPackageItemCount(ByteView package, uint32_t& count) {
  ManifestHeader manifest;
  NvmStatus status = ReadManifestHeader(package, manifest);
  if (status != NVCRETVAL_SUCCESS) return status;
  count = manifest.item_count;
  return NVCRETVAL_SUCCESS;
}

NvmStatus ReadPackageItems(ByteView package, uint32_t first, std::span<PackageItemEntry> entries) {
  ManifestHeader manifest;
  NvmStatus status = ReadManifestHeader(package, manifest);
  if (status != NVCRETVAL_SUCCESS) return status;
  if (manifest.descriptor_length > package.size() || manifest.identity_length > package.size()) {
    return NVCRETVAL_INVALID_MANIFEST;
  }
  PackageHeader header;
  CheckPackageHeader(package, header);
  const uint64_t trailer_start = package.size() - header.trailer_length;
  const uint64_t first_entry = uint64_t{header.header_length} + manifest.header_length;
  const uint64_t entry_length = uint64_t{manifest.descriptor_length} + manifest.identity_length;

  // Counts stay within int32: the package itself is below 2 GiB.
  const size_t wanted = std::min<size_t>(entries.size(), std::numeric_limits<int32_t>::max());
  size_t read = 0;
  for (uint64_t k = first; read < wanted && k < manifest.item_count; ++k) {
    uint64_t offset = 0;
    if (!EntryOffset(first_entry, entry_length, k, offset) || offset > trailer_start ||
        trailer_start - offset < entry_length) {
      return NVCRETVAL_INVALID_MANIFEST;
    }
    DecodeEntry(package.subspan(offset, entry_length), manifest.descriptor_length, entries[read]);
    ++read;
  }
  return static_cast<NvmStatus>(read);
}

NvmStatus ReadPackageItem(ByteView package, uint32_t index, PackageItemEntry& entry) {
  return ReadPackageItems(package, index, std::span<PackageItemEntry>(&entry, 1));
}

NvmStatus FindPackageItem(ByteView package, uint16_t dir_type, uint16_t dir_ordinal,
                          uint16_t dir_ext, PackageItemEntry& entry, uint32_t* index) {
  uint32_t count = 0;
  NvmStatus status = GetPackageItemCount(package, count);
  if (status != NVCRETVAL_SUCCESS) return status;
  PackageItemEntry candidate;
  for (uint32_t k = 0; k < count; ++k) {
    status = ReadPackageItem(package, k, candidate);
    if (status < 0) return status;
    if (candidate.dir_type() == dir_type && candidate.dir_ordinal() == dir_ordinal &&
        candidate.dir_ext() == dir_ext) {
      entry = candidate;
      if (index != nullptr) *index = k;
      return NVCRETVAL_SUCCESS;
    }
  }
  return NVCRETVAL_ITEM_NOT_FOUND;
}

}  // namespace skyfw
