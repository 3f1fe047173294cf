// The IP helper's two adapter lists: GetAdaptersInfo (IPv4) and
// GetAdaptersAddresses (here used for IPv6).
//
// Lists come back whole; the buffer-size protocol of the Windows calls
// (ERROR_BUFFER_OVERFLOW and a second call) is the caller's to imitate if it
// wants to, and never needed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace skyfw::platform {

inline constexpr uint32_t MIB_IF_TYPE_ETHERNET = 6;
inline constexpr uint32_t AF_INET_WINDOWS = 2;
inline constexpr uint32_t AF_INET6_WINDOWS = 23;

// GetAdaptersAddresses flags.
inline constexpr uint32_t GAA_FLAG_INCLUDE_PREFIX = 0x0010;
inline constexpr uint32_t GAA_FLAG_INCLUDE_WINS_INFO = 0x0040;
inline constexpr uint32_t GAA_FLAG_INCLUDE_GATEWAYS = 0x0080;
inline constexpr uint32_t GAA_FLAG_INCLUDE_ALL_INTERFACES = 0x0100;
inline constexpr uint32_t GAA_FLAG_INCLUDE_ALL_COMPARTMENTS = 0x0200;

// IP_ADDR_STRING: dotted texts as the list carries them.
struct IpAddrString {
  std::string address;
  std::string mask;
};

// IP_ADAPTER_INFO.
struct IpAdapterInfo {
  std::string adapter_name;  // the interface GUID text, "{...}"
  std::string description;
  std::vector<uint8_t> address;  // MAC bytes
  uint32_t index = 0;
  uint32_t type = MIB_IF_TYPE_ETHERNET;
  bool dhcp_enabled = false;
  std::optional<IpAddrString> current_ip_address;
  std::vector<IpAddrString> ip_address_list;
  std::vector<IpAddrString> gateway_list;
};

// SOCKET_ADDRESS: the raw sockaddr bytes in Windows layout (for AF_INET6 a
// 28-byte SOCKADDR_IN6: family 2 bytes, port 2, flow info 4, address 16 at
// offset 8, scope id 4); its length is bytes.size().
struct SocketAddress {
  std::vector<uint8_t> bytes;

  uint16_t Family() const {
    return bytes.size() >= 2 ? static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)) : 0;
  }
  static SocketAddress Ipv6(const uint8_t (&address)[16], uint32_t scope_id = 0);
};

// IP_ADAPTER_UNICAST_ADDRESS.
struct IpUnicastAddress {
  SocketAddress address;
  uint32_t flags = 0;
  int32_t prefix_origin = 0;
  int32_t suffix_origin = 0;
  int32_t dad_state = 0;
  uint32_t valid_lifetime = 0;
  uint32_t preferred_lifetime = 0;
  uint32_t lease_lifetime = 0;
};

// IP_ADAPTER_ADDRESSES.
struct IpAdapterAddresses {
  std::string adapter_name;  // the interface GUID text
  std::u16string friendly_name;
  std::u16string description;
  std::vector<IpUnicastAddress> unicast_addresses;
  std::vector<SocketAddress> gateway_addresses;
};

class IpHelper {
 public:
  virtual ~IpHelper() = default;

  // GetAdaptersInfo: ERROR_SUCCESS, or ERROR_NO_DATA when there is no adapter.
  virtual uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) = 0;

  // GetAdaptersAddresses(family, flags): adapters with the addresses of that
  // family (AF_INET6_WINDOWS, or 0 for both). ERROR_NO_DATA when none.
  virtual uint32_t GetAdaptersAddresses(uint32_t family, uint32_t flags,
                                        std::vector<IpAdapterAddresses>& adapters) = 0;
};

}  // namespace skyfw::platform
