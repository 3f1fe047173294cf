// The installed package version of an adapter: what the driver's
// NRVN_NVRAMPackage instance says, else field 2 of the last record of the
// package log item in NVRAM.
//
// Each operation takes the adapter's WMI instance name and a text buffer
// (callers use 256 bytes) and returns an NvmStatus; on success the buffer
// holds the NUL-terminated version.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "base/nvm_status.h"
#include "base/byte_reader.h"

namespace skyfw {

// Only the last 288 bytes of a package log that ends in a trailer are read.
inline constexpr size_t kPackageLogTrailerBytes = 288;
// A log shorter than this holds no record.
inline constexpr size_t kPackageLogMinimumBytes = 8;
// A version field is cut to this many bytes, and delivered with at most
// kPackageVersionBytes of them.
inline constexpr size_t kPackageLogFieldBytes = 255;
inline constexpr size_t kPackageVersionBytes = 127;

// The driver's answer first, the package log when it has none.
NvmStatus velonvmGetPackageVersion(std::string_view adapter, std::span<char> buffer);

// The driver's Version property in UTF-8. NVCRETVAL_FAILURE when it is not
// valid UTF-16 or does not fit with its terminator; an empty version counts
// as none (NVCRETVAL_VERSION_INFO_NOT_FOUND), so the log is asked instead.
NvmStatus velonvmQueryPackageVersion(std::string_view adapter, std::span<char> buffer);

// The version from the package log item, as its bytes.
NvmStatus velonvmReadPackageLogVersion(std::string_view adapter, std::span<char> buffer);

// Field 2 of the last record of package log bytes (records end in a line
// feed, fields are separated by tabs, zero bytes at the end are filler), cut
// to kPackageLogFieldBytes. False when the last record has no field 2.
bool PackageLogVersion(ByteView log, std::string& version);

}  // namespace skyfw
