// The adapter registers the driver's ReadReg32 method is asked for, by offset:
// named once for the management library that reads them and the simulated
// adapter that answers.
#pragma once

#include <cstdint>

namespace skyfw {

// Base address i (0..3) is at kBaseAddressRegister + 4 i, as in PCI
// configuration space.
inline constexpr uint32_t kBaseAddressRegister = 16;
inline constexpr uint32_t kBaseAddressCount = 4;

// Chip identity.
inline constexpr uint32_t kChipNumberRegister = 0x260048;
inline constexpr uint32_t kChipRevisionRegister = 0x26004C;
inline constexpr uint32_t kChipMetalRegister = 0x260050;

}  // namespace skyfw
