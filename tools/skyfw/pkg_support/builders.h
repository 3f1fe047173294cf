// Builders of real firmware images, packages and VPD, for `skyfw pkg`, the
// tests, the fuzz seed corpora and the demo machine. Images are signed with
// ImageSigner (libcrypto); packages are written with WritePackage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image_signer.h"
#include "base/nvm_status.h"
#include "package/package_format.h"

namespace skyfw::tool {

using Bytes = std::vector<uint8_t>;

// Deterministic filler bytes (a simple LCG over the seed).
Bytes FillerBytes(size_t length, uint32_t seed);

// "NVC" 0x1A, image code, format 0x13, a 32-byte header, the payload, the
// signature over all of that, then the CRC-32 of everything before it.
Bytes BuildHeaderSignedImage(const ImageSigner& signer, uint8_t image_code, ByteView payload);

// The payload, the signature over it, and the 32-byte trailer (version text
// in bytes 0..19, item type, trailer area length 288, "Trlr", CRC-32).
Bytes BuildTrailerSignedImage(const ImageSigner& signer, uint16_t item_type, ByteView payload,
                              const std::string& version = {});

// The header image code that declares `item_type`, if one does.
std::optional<uint8_t> ImageCodeForType(uint16_t item_type);

// A marked block (types 61..63): the two marker words in place.
Bytes BuildMarkedBlock(uint16_t item_type, size_t length);

struct VpdKeyword {
  std::string name;
  std::string value;
};

// VPD proper: identifier string, VPD-R (keywords, then RV with `rv_reserve`
// bytes and a correct checksum), optional VPD-W (keywords, then RW with
// `rw_free` bytes), end tag.
Bytes BuildVpd(const std::string& identifier, const std::vector<VpdKeyword>& read_only,
               size_t rv_reserve = 8, const std::vector<VpdKeyword>* read_write = nullptr,
               size_t rw_free = 16);

struct PackageItemPlan {
  uint16_t type = 0;
  uint16_t ordinal = 0;
  uint16_t ext = 0;
  uint16_t attr = 0;
  uint8_t directive = 0;
  uint32_t item_length = 0;  // 0: the data length
  Bytes data = {};
};

struct PackagePlan {
  std::string description;
  std::string version;
  std::string prerequisite;
  std::vector<uint16_t> device_ids;
  std::optional<uint16_t> subsystem_vendor;
  std::optional<uint16_t> subsystem_id;
  std::optional<uint8_t> lowest_revision;
  std::optional<uint8_t> highest_revision;
  std::vector<PackageItemPlan> items;
};

// The property area of a package plan, exactly as long as its properties.
NvmStatus BuildPropertyArea(const PackagePlan& plan, Bytes& area);

// Writes the package with WritePackage (verify on) into memory; on failure
// `failing_index` names the item.
NvmStatus BuildPackage(const PackagePlan& plan, Bytes& package, int32_t* failing_index = nullptr);

// Puts a package into the optional outer wrapper (GUID, version 1, CRC).
Bytes WrapPackage(ByteView package);

}  // namespace skyfw::tool
