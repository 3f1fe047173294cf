// Builds the VPD item of an adapter from its description: a 4-byte prefix,
// then PCI Vital Product Data — identifier string (0x82), read-only section
// (0x90) closed by "RV" with the checksum, read-write section (0x91) closed
// by "RW" with the free area, end tag (0x78).
#pragma once

#include <cstdint>
#include <vector>

#include "sim/machine/machine_description.h"

namespace skyfw::sim {

// Reserved bytes behind the RV checksum byte, room for longer keywords.
inline constexpr uint8_t kVpdRvReserved = 32;

// Keyword values longer than 255 bytes are cut to 255.
std::vector<uint8_t> BuildVpdItem(const VpdDescription& vpd);

}  // namespace skyfw::sim
