// The VPD item (NVM directory type 5): PCI Vital Product Data behind a 4-byte
// prefix. Every function here takes the VPD proper (the bytes after the
// prefix) and stays within it: each resource, keyword and value is bounded by
// the VPD length and by its section's length.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "base/nvm_status.h"
#include "base/byte_reader.h"

namespace skyfw {

// Resource names.
inline constexpr uint8_t kVpdIdentifierString = 2;  // large tag 0x82
inline constexpr uint8_t kVpdReadOnly = 16;         // VPD-R, large tag 0x90
inline constexpr uint8_t kVpdReadWrite = 17;        // VPD-W, large tag 0x91
inline constexpr uint8_t kVpdEndTag = 15;           // small tag 0x78

inline constexpr size_t kVpdIdentifierCapacity = 1023;
inline constexpr size_t kVpdKeywordCapacity = 127;

// The product identity the installer keeps across an update.
struct VpdIdentity {
  std::string identifier;          // up to 1023 characters
  std::string va, pn, mn, sn, ec;  // up to 127 characters each; empty when absent
};

// 0 for well-formed VPD, or the first problem: bad identifier characters,
// VPD-R without RV or with a wrong checksum, empty or duplicate keywords,
// bytes after the end tag, no end tag. The reserved RV bytes are not checked.
NvmStatus ValidateVpd(ByteView vpd);

// The value length of the first resource `name` and the offset of its value,
// or NVCRETVAL_RESOURCE_NOT_FOUND (the walk stops after the end tag);
// NVCRETVAL_INVALID_LENGTH when the resource's value runs past the end.
NvmStatus FindVpdResource(ByteView vpd, uint8_t name, size_t& value_offset);

// Reads the identifier string and the VA, PN, MN, SN, EC keywords (names
// compared ignoring case; a later section wins). Never fails; a keyword whose
// value runs past its section is skipped and reported to `diagnostic` as
// "Invalid length: %u\n".
void ReadVpdIdentity(ByteView vpd, VpdIdentity& identity,
                     const std::function<void(const std::string&)>& diagnostic = {});

// Sets `keyword` (two characters) in section `section` (VPD-R or VPD-W),
// rewriting the section in place with its closing RV/RW keyword taking the
// rest. Nothing changes on failure: NVCRETVAL_RESOURCE_NOT_FOUND without the
// section, NVCRETVAL_INSUFFICIENT_SPACE when the keywords do not fit.
// The RV checksum byte is cleared; call UpdateVpdChecksum afterwards.
NvmStatus SetVpdKeyword(std::span<uint8_t> vpd, uint8_t section, std::string_view keyword,
                        ByteView value);

// Sets the RV checksum byte so that the bytes up to it sum to zero.
NvmStatus UpdateVpdChecksum(std::span<uint8_t> vpd);

}  // namespace skyfw
