#include "package/package_verifier.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "integrity/crc32.h"
#include "integrity/sha256.h"
#include "integrity/signed_image.h"
#include "package/item_types.h"
#include "package/version_compare.h"
#include "package/vpd.h"

namespace skyfw {

namespace {

inline constexpr uint32_t kMarkerStart = 0xA5A5A5A5;
inline constexpr uint32_t kMarkerEnd = 0x45F2D99A;
inline constexpr size_t kMarkerEndOffset = 60;
inline constexpr size_t kMarkedBlockOffsetType61 = 256;
inline constexpr size_t kVpdPrefixLength = 4;

// The format's own rule between version and prerequisite: equal lengths and
// the prerequisite byte-wise below the version. Stored packages rely on it.
bool PrerequisiteBelowVersion(ByteView prerequisite, ByteView version) {
  return prerequisite.size() == version.size() &&
         std::memcmp(prerequisite.data(), version.data(), version.size()) < 0;
}

std::string_view AsText(ByteView bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

NvmStatus CheckMarkedBlock(const PackageItemEntry& entry, ByteView data) {
  const size_t start = entry.dir_type() == 61 ? kMarkedBlockOffsetType61 : 0;
  ByteReader reader(data);
  uint32_t first = 0;
  uint32_t last = 0;
  if (start > data.size() || !reader.U32At(start, first) ||
      !reader.U32At(start + kMarkerEndOffset, last) || first != kMarkerStart ||
      last != kMarkerEnd) {
    return NVCRETVAL_INVALID_SIGNATURE;
  }
  return NVCRETVAL_SUCCESS;
}

// The property stream of a verified package: every property inside the
// header, none past the package trailer, the stream ending exactly at H.
NvmStatus WalkPropertyStream(ByteView package, const PackageHeader& header, uint64_t trailer_start,
                             ByteView& version, bool& has_version, ByteView& prerequisite,
                             bool& has_prerequisite) {
  ByteReader reader(package);
  uint64_t position = kPackageHeaderLength;
  while (position < header.header_length) {
    uint8_t tag = 0;
    uint16_t length = 0;
    if (!reader.U8At(position, tag) || !reader.U16At(position + 1, length)) {
      return NVCRETVAL_INVALID_PROP_STREAM;
    }
    if (tag == 0) {
      if (position + 3 > header.header_length) return NVCRETVAL_INVALID_PROP_STREAM;
      break;
    }
    const uint64_t value_offset = position + 3;
    const uint64_t end = value_offset + length;
    if (end > trailer_start) return NVCRETVAL_INVALID_PROP_STREAM;
    if (tag == kPropertyVersion || tag == kPropertyPrerequisite) {
      ByteView value = package.subspan(value_offset, length);
      if (tag == kPropertyVersion) {
        version = value;
        has_version = true;
      } else {
        prerequisite = value;
        has_prerequisite = true;
      }
    }
    position = end;
    if (position >= header.header_length && position != header.header_length) {
      return NVCRETVAL_INVALID_PROP_STREAM;
    }
  }
  return NVCRETVAL_SUCCESS;
}

// A range of the package whose CRC-32 is already known.
struct KnownCrc {
  uint64_t offset;
  uint64_t length;
  uint32_t crc;
};

// CRC-32 of bytes [0, end): the known ranges are combined in, only the bytes
// between them are read. Ranges that overlap an earlier one are read again.
uint32_t PackageCrc(ByteView package, uint64_t end, std::vector<KnownCrc>& known) {
  std::sort(known.begin(), known.end(),
            [](const KnownCrc& a, const KnownCrc& b) { return a.offset < b.offset; });
  uint32_t crc = Crc32(kCrc32Seed, {});
  uint64_t position = 0;
  for (const KnownCrc& range : known) {
    if (range.offset < position || range.offset + range.length > end) continue;
    const uint64_t gap = range.offset - position;
    crc = Crc32Combine(crc, Crc32(kCrc32Seed, package.subspan(position, gap)), gap);
    crc = Crc32Combine(crc, range.crc, range.length);
    position = range.offset + range.length;
  }
  return Crc32Combine(crc, Crc32(kCrc32Seed, package.subspan(position, end - position)),
                      end - position);
}

// The signed range of item k: where its image's signature check will digest.
struct SignedRange {
  uint64_t item;
  ByteView bytes;
};

// Digests the signed ranges of the package's images ahead, two at a time
// (see Sha256Pair), in manifest order. Only ranges the item checks will
// digest are taken; an entry that does not fit ends the look-ahead (the
// verification loop reports it).
std::vector<std::pair<uint64_t, SignedRangeDigest>> DigestSignedRanges(ByteView package,
                                                                       uint64_t first_entry,
                                                                       uint64_t entry_length,
                                                                       uint64_t item_count,
                                                                       uint64_t trailer_start) {
  std::vector<SignedRange> ranges;
  PackageItemEntry entry;
  for (uint64_t k = 0; k < item_count; ++k) {
    const uint64_t offset = first_entry + k * entry_length;
    if (offset > trailer_start || trailer_start - offset < entry_length ||
        ReadPackageItem(package, static_cast<uint32_t>(k), entry) != 1) {
      break;
    }
    // The verification loop stops at an entry without item length; nothing
    // after it needs a digest. (Entries of length 0 all read alike, so
    // without this stop a manifest could keep the look-ahead going for 2^32
    // of them.)
    if (entry.directive() != kDirectiveNoSpace && entry.dir_item_length() == 0) break;
    const uint16_t type = entry.dir_type();
    const uint64_t data_offset = entry.data_offset();
    const uint64_t length = entry.data_length();
    if (entry.directive() == kDirectiveNoVerify || length < kSignedTrailerAreaLength ||
        data_offset > trailer_start || trailer_start - data_offset < length) {
      continue;
    }
    if (IsHeaderSignedType(type)) {
      ranges.push_back({k, package.subspan(data_offset, HeaderSignedRangeLength(length))});
    } else if (IsTrailerSignedType(type)) {
      ranges.push_back({k, package.subspan(data_offset, TrailerSignedRangeLength(length))});
    }
  }
  std::vector<std::pair<uint64_t, SignedRangeDigest>> digests(ranges.size());
  for (size_t i = 0; i < ranges.size(); i += 2) {
    digests[i] = {ranges[i].item, {ranges[i].bytes.size(), {}}};
    if (i + 1 < ranges.size()) {
      digests[i + 1] = {ranges[i + 1].item, {ranges[i + 1].bytes.size(), {}}};
      Sha256Pair(ranges[i].bytes, ranges[i + 1].bytes, digests[i].second.digest,
                 digests[i + 1].second.digest);
    } else {
      digests[i].second.digest = Sha256(ranges[i].bytes);
    }
  }
  return digests;
}

}  // namespace

bool IsPrerequisiteMet(ByteView package, std::string_view current_version,
                       std::string* prerequisite) {
  PackageHeader header;
  ByteView value;
  if (CheckPackageHeader(package, header) != NVCRETVAL_SUCCESS ||
      !GetPropertyView(package, kPropertyPrerequisite, value) || value.empty()) {
    return true;
  }
  const std::string_view required = TextUpToZero(AsText(value));
  if (prerequisite != nullptr) prerequisite->assign(required);
  // Numeric runs by value: 9.0.0 does not meet 10.0.0. The whole current text
  // is compared; cutting it at the prerequisite's length would cut a number
  // (20.1.15 would read as 20.1.1 against 20.1.2).
  return CompareVersions(TextUpToZero(current_version), required) >= 0;
}

NvmStatus CheckPackageApplicability(ByteView package, uint16_t /*vendor_id*/, uint16_t device_id,
                                    uint16_t subsystem_vendor_id, uint16_t subsystem_id,
                                    int chip_revision) {
  PackageHeader header;
  if (CheckPackageHeader(package, header) != NVCRETVAL_SUCCESS) return NVCRETVAL_SUCCESS;

  size_t offset = 0;
  NvmStatus length = FindProperty(package, kPropertyDeviceIds, offset);
  if (length >= 2) {
    ByteView ids;
    // A list that claims more than the package holds names nothing reliably.
    if (!ByteReader(package).ViewAt(offset, static_cast<size_t>(length), ids)) {
      return NVCRETVAL_INVALID_PROP_LENGTH;
    }
    ByteReader reader(ids);
    bool listed = false;
    for (size_t i = 0; i + 2 <= ids.size(); i += 2) {
      uint16_t id = 0;
      reader.U16At(i, id);
      listed = listed || id == device_id;
    }
    if (!listed) return NVCRETVAL_UNSUPPORTED_DEVICE_ID;
  }

  uint8_t lowest[1] = {0};
  uint8_t highest[1] = {255};
  for (auto [tag, destination] :
       {std::pair{kPropertyLowestRevision, lowest}, std::pair{kPropertyHighestRevision, highest}}) {
    NvmStatus status = GetProperty(package, tag, std::span<uint8_t>(destination, 1));
    if (status == NVCRETVAL_INVALID_PROP_LENGTH) return status;
  }
  if (chip_revision != -1 && (chip_revision < lowest[0] || chip_revision > highest[0])) {
    return NVCRETVAL_UNSUPPORTED_CHIP_REV;
  }

  struct SubsystemRule {
    uint8_t tag;
    uint16_t device_value;
    NvmStatus mismatch;
  };
  for (const SubsystemRule& rule :
       {SubsystemRule{kPropertySubsystemVendor, subsystem_vendor_id,
                      NVCRETVAL_UNSUPPORTED_SUBSYS_VENDOR},
        SubsystemRule{kPropertySubsystemId, subsystem_id, NVCRETVAL_UNSUPPORTED_SUBSYS_ID}}) {
    uint8_t raw[2] = {0xFF, 0xFF};
    NvmStatus status = GetProperty(package, rule.tag, raw);
    if (status == NVCRETVAL_INVALID_PROP_LENGTH) return status;
    const uint16_t wanted = static_cast<uint16_t>(raw[0] | (raw[1] << 8));
    if (wanted != 0xFFFF && rule.device_value != 0xFFFF && wanted != rule.device_value) {
      return rule.mismatch;
    }
  }
  return NVCRETVAL_SUCCESS;
}

NvmStatus CheckImageType(ByteView image, uint16_t dir_type) {
  const uint16_t declared = GetImageType(image);
  if (declared == 0 || declared == dir_type ||
      (declared == 4 && (dir_type == 4 || dir_type == 18))) {
    return NVCRETVAL_SUCCESS;
  }
  return NVCRETVAL_INVALID_TYPE_PARAMETER;
}

NvmStatus VerifyPackageItem(const PackageItemEntry& entry, ByteView data,
                            std::optional<uint32_t>* computed_crc,
                            const SignedRangeDigest* signed_digest) {
  const uint16_t type = entry.dir_type();
  std::optional<uint32_t> crc;
  if ((entry.dir_attr() & kAttrNoChecksum) == 0) {
    crc = Crc32(kCrc32Seed, data);
    if (computed_crc != nullptr) *computed_crc = crc;
    if (*crc != entry.checksum()) return NVCRETVAL_INVALID_CHECKSUM;
  }
  if (IsMarkedBlockType(type)) return CheckMarkedBlock(entry, data);

  // An image's own CRC covers the same bytes as the item CRC; reuse it.
  const uint32_t* whole_image_crc = crc ? &*crc : nullptr;
  NvmStatus status = NVCRETVAL_SUCCESS;
  if (IsHeaderSignedType(type)) {
    status = VerifyHeaderSignedImage(data, whole_image_crc, signed_digest);
  } else if (IsTrailerSignedType(type)) {
    status = (entry.dir_attr() & kAttrSignedTrailer) == 0
                 ? NVCRETVAL_TRAILER_NOT_FOUND
                 : VerifyTrailerSignedImage(data, whole_image_crc, signed_digest);
  } else if (type == kVpdItemType) {
    if (data.size() <= kVpdPrefixLength) return NVCRETVAL_INVALID_DATA_LENGTH;
    return ValidateVpd(data.subspan(kVpdPrefixLength));
  } else {
    return NVCRETVAL_SUCCESS;
  }
  if (status != NVCRETVAL_SUCCESS) return status;
  return CheckImageType(data, type);
}

NvmStatus VerifyPackage(ByteView package, int32_t* failing_index) {
  int32_t unused_index = 0;
  int32_t& index = failing_index != nullptr ? *failing_index : unused_index;
  index = -1;

  PackageHeader header;
  if (CheckPackageHeader(package, header) != NVCRETVAL_SUCCESS) {
    return NVCRETVAL_INVALID_FILE_HEADER;
  }
  const uint64_t trailer_start = package.size() - header.trailer_length;

  ByteView version;
  ByteView prerequisite;
  bool has_version = false;
  bool has_prerequisite = false;
  NvmStatus status = WalkPropertyStream(package, header, trailer_start, version, has_version,
                                        prerequisite, has_prerequisite);
  if (status != NVCRETVAL_SUCCESS) return status;
  if (has_version && has_prerequisite && !PrerequisiteBelowVersion(prerequisite, version)) {
    return NVCRETVAL_INVALID_PREREQUISITE;
  }

  ManifestHeader manifest;
  if (ReadManifestHeader(package, manifest) != NVCRETVAL_SUCCESS ||
      manifest.descriptor_length > package.size() || manifest.identity_length > package.size()) {
    return NVCRETVAL_INVALID_MANIFEST;
  }
  const uint64_t first_entry = uint64_t{header.header_length} + manifest.header_length;
  const uint64_t entry_length = uint64_t{manifest.descriptor_length} + manifest.identity_length;
  if (first_entry > trailer_start) return NVCRETVAL_INVALID_MANIFEST;

  // The first entry of each (type, ordinal, extension), as FindPackageItem
  // would find it, kept as we go so that a long manifest stays linear.
  std::unordered_map<uint64_t, PackageItemEntry> first_of_key;
  // Item CRCs already computed, so the package CRC need not read them again.
  std::vector<KnownCrc> known_crcs;
  const auto digests =
      DigestSignedRanges(package, first_entry, entry_length, manifest.item_count, trailer_start);
  size_t next_digest = 0;
  PackageItemEntry entry;
  index = 0;
  for (uint64_t k = 0; k < manifest.item_count; ++k) {
    // Entries lie in order, so once one would pass the trailer all later do.
    const uint64_t offset = first_entry + k * entry_length;
    if (offset > trailer_start || trailer_start - offset < entry_length) {
      return NVCRETVAL_INVALID_MANIFEST;
    }
    if (ReadPackageItem(package, static_cast<uint32_t>(k), entry) != 1) {
      return NVCRETVAL_INVALID_MANIFEST;
    }
    const uint16_t type = entry.dir_type();
    if (IsFirmwareImageType(type) && entry.directive() == kDirectiveNoVerify) {
      return NVCRETVAL_INVALID_DIRECTIVE;
    }
    if (entry.directive() != kDirectiveNoSpace && entry.dir_item_length() == 0) {
      return NVCRETVAL_ZERO_LENGTH_ITEM;
    }
    if (entry.data_length() > entry.dir_item_length()) return NVCRETVAL_INVALID_DATA_LENGTH;
    if (entry.data_length() != 0) {
      const uint64_t data_offset = entry.data_offset();
      if (data_offset > trailer_start || trailer_start - data_offset < entry.data_length()) {
        return NVCRETVAL_INVALID_MANIFEST;
      }
      if (entry.directive() != kDirectiveNoVerify) {
        const SignedRangeDigest* digest = nullptr;
        if (next_digest < digests.size() && digests[next_digest].first == k) {
          digest = &digests[next_digest++].second;
        }
        std::optional<uint32_t> crc;
        status = VerifyPackageItem(entry, package.subspan(data_offset, entry.data_length()), &crc,
                                   digest);
        if (status != NVCRETVAL_SUCCESS) return status;
        if (crc) known_crcs.push_back({data_offset, entry.data_length(), *crc});
      }
    }
    const uint64_t key =
        (uint64_t{type} << 32) | (uint64_t{entry.dir_ordinal()} << 16) | entry.dir_ext();
    auto [first, inserted] = first_of_key.try_emplace(key, entry);
    if (!inserted && first->second.directive() == entry.directive() &&
        std::memcmp(first->second.identity, entry.identity, kIdentityLength) != 0) {
      return NVCRETVAL_DUPLICATE_ITEM;
    }
    ++index;
  }

  index = -1;
  if (header.trailer_length >= 4) {
    uint32_t stored = 0;
    ByteReader(package).U32At(package.size() - 4, stored);
    if (PackageCrc(package, trailer_start, known_crcs) != stored) {
      return NVCRETVAL_INVALID_CHECKSUM;
    }
  }
  return NVCRETVAL_SUCCESS;
}

}  // namespace skyfw
