#include "sim/driver/ndis_queries.h"

#include <algorithm>
#include <vector>

#include "platform/win32_types.h"

namespace skyfw::sim {
namespace {

using platform::ERROR_INSUFFICIENT_BUFFER;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_NOT_SUPPORTED;
using platform::ERROR_SUCCESS;

constexpr uint8_t NDIS_OBJECT_TYPE_DEFAULT = 0x80;
constexpr uint32_t kMediaConnectStateConnected = 1;
constexpr uint32_t kMediaConnectStateDisconnected = 2;
constexpr uint32_t kNdisMediaStateConnected = 0;
constexpr uint32_t kNdisMediaStateDisconnected = 1;
constexpr uint32_t kPciExpressDevice = 1;

void PutObjectHeader(ByteWriter& writer, uint8_t revision, uint16_t size) {
  writer.PutU8(NDIS_OBJECT_TYPE_DEFAULT);
  writer.PutU8(revision);
  writer.PutU16(size);
}

void LinkState(const PortDescription& port, ByteWriter& writer) {
  constexpr uint64_t kSpeedUnknown = ~uint64_t{0};  // NDIS_LINK_SPEED_UNKNOWN, link down
  PutObjectHeader(writer, 1, 40);
  writer.PutU32(port.link_up ? kMediaConnectStateConnected : kMediaConnectStateDisconnected);
  writer.PutU32(port.link_up ? port.duplex : 0);
  writer.PutU32(0);  // alignment
  writer.PutU64(port.link_up ? port.xmit_link_speed : kSpeedUnknown);
  writer.PutU64(port.link_up ? port.rcv_link_speed : kSpeedUnknown);
  writer.PutU32(0);  // pause functions
  writer.PutU32(0);  // auto-negotiation flags
}

void PciProperties(const PortDescription& port, ByteWriter& writer) {
  PutObjectHeader(writer, 1, 52);
  writer.PutU32(kPciExpressDevice);
  writer.PutU32(0);    // current speed and mode (conventional PCI only)
  writer.PutU32(256);  // current payload size
  writer.PutU32(512);  // maximum payload size
  writer.PutU32(512);  // maximum read request size
  writer.PutU32(port.pcie_link_speed);
  writer.PutU32(port.pcie_link_width);
  writer.PutU32(port.pcie_link_speed);  // maximum link speed: the slot runs at its best
  writer.PutU32(port.pcie_link_width);
  writer.PutU32(2);   // PCI Express version
  writer.PutU32(3);   // interrupt type: MSI-X
  writer.PutU32(64);  // maximum interrupt messages
}

// The value of `oid`; false when the miniport does not answer it.
bool ValueOf(const PortDescription& port, uint32_t oid, std::vector<uint8_t>& value) {
  ByteWriter writer(value);
  bool ndis6 = port.ndis_major >= 6;
  switch (oid) {
    case OID_802_3_CURRENT_ADDRESS:
      writer.PutBytes(port.current_mac);
      return true;
    case OID_802_3_PERMANENT_ADDRESS:
      writer.PutBytes(port.permanent_mac);
      return true;
    case OID_GEN_DRIVER_VERSION:
      writer.PutU16(static_cast<uint16_t>(port.ndis_major << 8 | port.ndis_minor));
      return true;
    case OID_GEN_MEDIA_CONNECT_STATUS:
      writer.PutU32(port.link_up ? kNdisMediaStateConnected : kNdisMediaStateDisconnected);
      return true;
    case OID_GEN_PHYSICAL_MEDIUM_EX:
      writer.PutU32(port.medium);
      return true;
    case OID_GEN_LINK_SPEED:
      writer.PutU32(port.link_up ? static_cast<uint32_t>(port.link_speed_bps / 100) : 0);
      return true;
    case OID_GEN_MAXIMUM_FRAME_SIZE:
      writer.PutU32(port.max_frame_size);
      return true;
    case OID_GEN_LINK_STATE:
      if (ndis6) LinkState(port, writer);
      return ndis6;
    case OID_GEN_PCI_DEVICE_CUSTOM_PROPERTIES:
      if (ndis6) PciProperties(port, writer);
      return ndis6;
    default:
      return false;
  }
}

}  // namespace

uint32_t AnswerNdisQuery(const PortDescription& port, ByteView input, std::span<uint8_t> output,
                         uint32_t& bytes_returned) {
  bytes_returned = 0;
  uint32_t oid = 0;
  if (input.size() != 4 || !ByteReader(input).U32At(0, oid)) return ERROR_INVALID_PARAMETER;
  std::vector<uint8_t> value;
  if (!ValueOf(port, oid, value)) return ERROR_NOT_SUPPORTED;
  if (value.size() > output.size()) return ERROR_INSUFFICIENT_BUFFER;
  std::copy(value.begin(), value.end(), output.begin());
  bytes_returned = static_cast<uint32_t>(value.size());
  return ERROR_SUCCESS;
}

}  // namespace skyfw::sim
