// The statistics queries the adapter's NDIS device answers
// (IOCTL_NDIS_QUERY_GLOBAL_STATS on "\\\\.\\Global\\{interface-guid}"): the
// input is a 4-byte OID, the output its value in the standard NDIS layout.
#pragma once

#include <cstdint>
#include <span>

#include "base/byte_reader.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

inline constexpr uint32_t OID_802_3_PERMANENT_ADDRESS = 0x01010101;
inline constexpr uint32_t OID_802_3_CURRENT_ADDRESS = 0x01010102;
inline constexpr uint32_t OID_GEN_MAXIMUM_FRAME_SIZE = 0x00010106;
inline constexpr uint32_t OID_GEN_LINK_SPEED = 0x00010107;
inline constexpr uint32_t OID_GEN_DRIVER_VERSION = 0x00010110;
inline constexpr uint32_t OID_GEN_MEDIA_CONNECT_STATUS = 0x00010114;
inline constexpr uint32_t OID_GEN_LINK_STATE = 0x00010207;
inline constexpr uint32_t OID_GEN_PCI_DEVICE_CUSTOM_PROPERTIES = 0x00010211;
inline constexpr uint32_t OID_GEN_PHYSICAL_MEDIUM_EX = 0x00010213;

// Win32 result: ERROR_INVALID_PARAMETER for an input that is not one OID,
// ERROR_NOT_SUPPORTED for an OID this miniport does not answer (the NDIS 6
// structures on an NDIS 5 miniport included), ERROR_INSUFFICIENT_BUFFER when
// the value does not fit the output.
uint32_t AnswerNdisQuery(const PortDescription& port, ByteView input, std::span<uint8_t> output,
                         uint32_t& bytes_returned);

}  // namespace skyfw::sim
