// The firmware's package log: the NVRAM item of type 1 that records every
// installed package as one text record.
//
// Records end with a line feed; their fields are separated by tabs:
//   0 firmware time of the install ("2026-12-10 03:07:43Z")
//   1 what happened ("install")
//   2 the package version (property 9 of the package)
//   3 the installed-items mask, 16 hexadecimal digits
//   4 the package description (property 1)
// Zero bytes after the last record are filler. The installed version is
// field 2 of the last record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_reader.h"
#include "sim/driver/nvram_image.h"

namespace skyfw::sim {

struct PackageLogRecord {
  FirmwareTime time;
  std::string event = "install";
  std::string version;
  uint64_t installed_mask = 0;
  std::string description;
};

// One record with its line feed. Tabs, line feeds and other control bytes
// inside the texts become blanks, so a text can never split a record.
std::string FormatPackageLogRecord(const PackageLogRecord& record);

// Appends `record` to the log data, dropping the oldest records while the
// log would exceed `capacity` bytes. False when the record alone does not fit.
bool AppendPackageLogRecord(std::vector<uint8_t>& log, std::string_view record, uint32_t capacity);

// Field 2 of the last record, or nothing when the last record has fewer than
// three fields (or the log is empty).
std::optional<std::string> LastPackageLogVersion(ByteView log);

}  // namespace skyfw::sim
