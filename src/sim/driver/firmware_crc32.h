// CRC-32 (IEEE 802.3, reflected 0xEDB88320) as the adapter firmware computes it.
//
// The simulated firmware keeps its own copy on purpose: it checks packages
// independently of the library's integrity layer, so a fault in either one
// shows up as a disagreement between them.
#pragma once

#include <cstdint>

#include "base/byte_reader.h"

namespace skyfw::sim {

uint32_t FirmwareCrc32(ByteView bytes);

}  // namespace skyfw::sim
