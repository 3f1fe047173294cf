// Writing a package file from a property area and item records.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "base/nvm_status.h"
#include "package/package_format.h"
#include "base/byte_reader.h"

namespace skyfw {

// Writes a package into `stream` (open for writing and reading; emptied
// first): header, property area, manifest, the data of every record with a
// non-zero dir_type padded to 4 bytes, then the package CRC computed by
// reading the written bytes back.
//
// `property_area` holds the area's bytes; when it is empty, the writer skips
// `property_area_length` bytes instead (they read back as zeros). Records are
// updated in place: data offset, checksum, and dir_attr bit 4 for data that
// ends with a valid signed trailer. `item_data[i]` holds at least the data
// length of record i. With `verify`, signed images are verified too.
// Given `failing_index`, it receives the index of the record a failure
// concerns, or -1.
NvmStatus WritePackage(std::FILE* stream, ByteView property_area, size_t property_area_length,
                       std::span<PackageItemEntry> records, std::span<const ByteView> item_data,
                       int32_t* failing_index, bool verify);

}  // namespace skyfw
