// Product data of the Skyline family that the adapter management library
// needs: which PCI device IDs are flagged in the adapter record, and which
// devices are known to have no SR-IOV settings worth asking the system for.
#pragma once

#include <array>
#include <cstdint>

namespace skyfw {

// Norvane's PCI vendor ID.
inline constexpr uint16_t kNorvaneVendorId = 0x1D6A;

// Device IDs of the Skyline family (flaggedDeviceId of AdapterInfo).
inline constexpr std::array<uint16_t, 11> kFlaggedDeviceIds = {
    0x0B00, 0x0B01, 0x0B02, 0x0B03, 0x0B04, 0x0B05, 0x0B08, 0x0B10, 0x0B11, 0x0B12, 0x0B18};

// Skyline devices without SR-IOV (sriovState 3): the first generation, whose
// ports never carry virtual functions, so the system is not asked.
inline constexpr uint16_t kSriovFixedVendorId = kNorvaneVendorId;
inline constexpr std::array<uint16_t, 8> kSriovFixedDeviceIds = {0x0B00, 0x0B01, 0x0B02, 0x0B03,
                                                                 0x0B04, 0x0B05, 0x0B06, 0x0B07};

bool IsFlaggedDeviceId(uint16_t deviceId);
bool IsInSriovFixedList(uint16_t vendorId, uint16_t deviceId);

}  // namespace skyfw
