// The statistics queries the adapter's NDIS device answers
// (IOCTL_NDIS_QUERY_GLOBAL_STATS on "\\\\.\\Global\\{interface-guid}"): the
// input is a 4-byte OID, the output its value in the standard NDIS layout.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/byte_reader.h"

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

inline constexpr uint32_t kNdisPhysicalMedium802_3 = 14;

// What one port's miniport reports.
struct NdisPortFacts {
  std::array<uint8_t, 6> current_mac{};
  std::array<uint8_t, 6> permanent_mac{};
  uint8_t ndis_major = 6;
  uint8_t ndis_minor = 50;
  bool link_up = true;
  uint64_t link_speed_bps = 10'000'000'000;  // OID_GEN_LINK_SPEED reports it in 100 bit/s
  uint32_t duplex = 2;                       // MediaDuplexStateFull
  uint32_t physical_medium = kNdisPhysicalMedium802_3;
  uint32_t max_frame_size = 1500;
  uint32_t pcie_link_speed = 3;  // current link speed (generation)
  uint32_t pcie_link_width = 8;  // current link width (lanes)
  uint32_t pcie_max_link_speed = 3;
  uint32_t pcie_max_link_width = 8;
};

// Win32 result: ERROR_INVALID_PARAMETER for an input that is not one OID,
// ERROR_NOT_SUPPORTED for an OID this miniport does not answer (the NDIS 6
// structures on an NDIS 5 miniport included), ERROR_INSUFFICIENT_BUFFER when
// the value does not fit the output.
uint32_t AnswerNdisQuery(const NdisPortFacts& port, ByteView input, std::span<uint8_t> output,
                         uint32_t& bytes_returned);

}  // namespace skyfw::sim
