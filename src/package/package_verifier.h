// The checks made before a package may go to an adapter: prerequisite,
// applicability to the device, and verification of the package and of each
// item (checksums, signatures, declared image types, VPD).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "integrity/signed_image.h"
#include "base/nvm_status.h"
#include "package/package_format.h"
#include "base/byte_reader.h"

namespace skyfw {

// True when `current_version` is at least the package's prerequisite
// (property 20), compared with CompareVersions. A package without a
// readable header or without a prerequisite is always met. Given
// `prerequisite`, it receives the prerequisite text.
bool IsPrerequisiteMet(ByteView package, std::string_view current_version,
                       std::string* prerequisite = nullptr);

// 0 when the package names this device: device ID list (2), chip revision
// range (3, 4; a chip revision of -1 is not checked), subsystem vendor and
// subsystem ID (10, 11; 0xFFFF on either side matches anything). The vendor
// ID is not checked. A package without a readable header applies everywhere.
NvmStatus CheckPackageApplicability(ByteView package, uint16_t vendor_id, uint16_t device_id,
                                    uint16_t subsystem_vendor_id, uint16_t subsystem_id,
                                    int chip_revision);

// Verifies framing, property stream, version and prerequisite, manifest,
// every item and the package CRC, stopping at the first problem. Given
// `failing_index`, it receives the 0-based manifest index of the item at
// fault, or -1 when the problem is not about one item.
NvmStatus VerifyPackage(ByteView package, int32_t* failing_index = nullptr);

// One item: its CRC (unless dir_attr bit 0), then by type the marker words,
// the signature and declared type of an image, or the VPD. `data` is the
// item's data (the entry's data length). Given `computed_crc`, it receives
// the CRC-32 of the data when the check computed it; `signed_digest` may
// carry the digest of the image's signed range, computed ahead.
NvmStatus VerifyPackageItem(const PackageItemEntry& entry, ByteView data,
                            std::optional<uint32_t>* computed_crc = nullptr,
                            const SignedRangeDigest* signed_digest = nullptr);

// An image declaring no type, the packaged type, or type 4 packaged as 4 or
// 18 passes; anything else is NVCRETVAL_INVALID_TYPE_PARAMETER.
NvmStatus CheckImageType(ByteView image, uint16_t dir_type);

}  // namespace skyfw
