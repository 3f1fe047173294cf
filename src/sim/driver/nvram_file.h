// The file that holds one physical adapter's NVRAM in a simulated machine.
//
// Besides the NVRAM image it carries the little the driver must remember
// between calls, which on a real machine lives in kernel memory: the last
// NVM error, the firmware clock and how often each method has been called
// (for faults that strike at the n-th call). Several processes share one
// machine, so this state has to live where they all see it.
//
// Layout (little-endian), version 1:
//
//   0   8  magic "SKYNVRAM"
//   8   4  format version, 1
//   12  4  directory entry length served to callers
//   16  4  flash capacity in bytes
//   20  4  directory slots
//   24  4  item count N
//   28     N items: type, ordinal, ext, attr (2 bytes each), allocated size
//          (4), data length L (4), then L data bytes
//          driver memory: last error (2); firmware clock: time zone, year (2
//          each), month, day, hour, minute, second (1 each), millisecond (2);
//          count K of call counters (4), then K times: name length (1), name,
//          count (4)
//   end-4 4 CRC-32 of every byte before it
//
// A file that is short, has trailing bytes, a wrong CRC or an item whose data
// exceeds its allocated size is refused whole.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
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

std::vector<uint8_t> EncodeNvramFile(const NvramFile& file);

// On failure returns false and says why in `error`; `out` is then not to be used.
bool DecodeNvramFile(ByteView bytes, NvramFile& out, std::string& error);

}  // namespace skyfw::sim
