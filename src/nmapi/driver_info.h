// Driver information of one adapter: NDIS statistics queries on the
// adapter's device, its base addresses and the driver settings of its
// network-class key.
#pragma once

#include <cstdint>
#include <span>

#include "nmapi/adapter_node.h"
#include "base/nmapi_result.h"

namespace skyfw {

inline constexpr uint32_t OID_802_3_PERMANENT_ADDRESS = 0x01010101;
inline constexpr uint32_t OID_802_3_CURRENT_ADDRESS = 0x01010102;
inline constexpr uint32_t OID_GEN_MAXIMUM_FRAME_SIZE = 0x00010106;
inline constexpr uint32_t OID_GEN_LINK_SPEED = 0x00010107;
inline constexpr uint32_t OID_GEN_DRIVER_VERSION = 0x00010110;
inline constexpr uint32_t OID_GEN_MEDIA_CONNECT_STATUS = 0x00010114;
inline constexpr uint32_t OID_GEN_LINK_STATE = 0x00010207;
inline constexpr uint32_t OID_GEN_PCI_DEVICE_CUSTOM_PROPERTIES = 0x00010211;
inline constexpr uint32_t OID_GEN_PHYSICAL_MEDIUM_EX = 0x00010213;

// Link speed in Mbit/s for the driver's value in units of 100 bit/s; 0 for
// a value not in the table.
uint32_t LinkSpeedMbps(uint32_t reported);

// The NDIS queries, base addresses and driver settings: 0, 13 or 14.
NmapiResult ReadDriverGenInfo(AdapterNode& node);

// One driver request, through the node's diagnostic-session device when one
// is open, else through a device opened for this request: 0, 13 or 14.
// `outputSize` holds the capacity used (at most output.size()) and receives
// the byte count returned.
NmapiResult DoNicIOCTL(AdapterNode& node, uint32_t controlCode, std::span<const uint8_t> input,
                       std::span<uint8_t> output, uint32_t& outputSize, uint32_t& error);

}  // namespace skyfw
