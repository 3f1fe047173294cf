// The file that holds one physical adapter's NVRAM in a simulated machine.
//
// Besides the NVRAM image it carries the little the driver must remember
// between calls, which on a real machine lives in kernel memory: the last
// NVM error, the firmware clock and how often each method has been called
// (for faults that strike at the n-th call). Several processes share one
// machine, so this state has to live where they all see it.
//
// The layout (a sealed snapshot and the records of the calls that changed it
// since) is written down once, in src/sim/driver/README.md.
//
// A record is appended whole and synced by one call; a record cut short or
// failing its CRC is the trace of a writer killed in the middle of its call
// and ends the log (the next writer overwrites it).
//
// A snapshot that is short, has trailing bytes, a wrong CRC or an item whose
// data exceeds its allocated size is refused whole, and so is a whole record
// that does not fit the NVRAM.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "sim/driver/nvram_image.h"

namespace skyfw::sim {

struct DriverMemory {
  uint16_t last_error = 0;
  FirmwareTime clock;
  std::map<std::string, uint32_t> method_calls;
};

struct NvramFile {
  NvramImage nvram;
  DriverMemory driver;
};

// What one call changed, so that its record carries only that; the driver
// memory is always part of a record.
struct NvramChanges {
  enum class Kind : uint8_t { kBytes = 1, kItem = 2 };
  struct Change {
    Kind kind;
    uint32_t index;
    uint32_t offset;  // kBytes only
    uint32_t length;  // kBytes only
  };
  std::vector<Change> changes;
  bool everything = false;  // too much to list: the file is written whole

  // `length` bytes written at `offset` of item `index`, as ModifyItem does.
  void Wrote(uint32_t index, uint32_t offset, uint32_t length) {
    changes.push_back({Kind::kBytes, index, offset, length});
  }
  // Item `index` created, reallocated or replaced.
  void Replaced(uint32_t index) { changes.push_back({Kind::kItem, index, 0, 0}); }
  void All() { everything = true; }
};

// Where the parts of a decoded file end.
struct NvramFileLayout {
  size_t snapshot_end = 0;    // records start here
  uint32_t snapshot_crc = 0;  // tells this snapshot from a later one
  size_t log_end = 0;         // end of the last whole record: the next goes here
};

// A snapshot of `file`, without records.
std::vector<uint8_t> EncodeNvramFile(const NvramFile& file);

// The record of a call that made `changes` and left `file` as it is.
std::vector<uint8_t> EncodeNvramRecord(const NvramFile& file, const NvramChanges& changes);

// The snapshot and all its records. On failure returns false and says why in
// `error`; `out` is then not to be used.
bool DecodeNvramFile(ByteView bytes, NvramFile& out, std::string& error,
                     NvramFileLayout* layout = nullptr);

// Applies the whole records at the start of `records` (bytes of a file from a
// record boundary) to `file`; `used` is how many bytes they took. False when
// a whole record does not fit `file` (then `file` may be half changed).
bool ApplyNvramRecords(ByteView records, NvramFile& file, size_t& used, std::string& error);

}  // namespace skyfw::sim
