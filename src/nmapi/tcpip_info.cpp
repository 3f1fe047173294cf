#include "nmapi/tcpip_info.h"

#include <filesystem>
#include <limits>
#include <memory>
#include <string>

#include "base/text_conversion.h"
#include "nmapi/address_text.h"
#include "base/fixed_text.h"
#include "nmapi/library_state.h"
#include "nmapi/nmapi_log.h"
#include "nmapi/registry_values.h"
#include "os/file_names.h"
#include "platform/platform.h"

namespace skyfw {

using namespace platform;

namespace {

constexpr uint32_t kIpv6Flags = GAA_FLAG_INCLUDE_PREFIX | GAA_FLAG_INCLUDE_WINS_INFO |
                                GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_INCLUDE_ALL_INTERFACES |
                                GAA_FLAG_INCLUDE_ALL_COMPARTMENTS;
constexpr size_t kSocketAddressMax = 50;
constexpr size_t kIpv6TextCapacity = 48;
constexpr size_t kGatewayCapacity = 20;
// Address and mask values are read at their full size.
constexpr size_t kRegistryAddressMax = std::numeric_limits<size_t>::max();

enum class Caller { kReadTcpipInfo, kReadIpV6Info };

// GetAdaptersAddresses lives in the IP helper library, looked up at run time.
bool IpHelperExportsAddresses(Caller caller) {
  System& system = Current().system();
  std::string directory;
  uint32_t error = system.GetSystemDirectory(directory);
  bool tcpip = caller == Caller::kReadTcpipInfo;
  if (error != ERROR_SUCCESS) {
    if (tcpip) {
      NmapiLog(kLogError, "ReadTcpipInfo() GetSystemDirectory() failed(%lu)\r\n",
               static_cast<unsigned long>(error));
    } else {
      NmapiLog(kLogError, "ReadIpV6Info() GetSystemDirectory() failed(%lu)\r\n",
               static_cast<unsigned long>(error));
    }
    return false;
  }
  std::string library = directory + platform::kPathSeparator + "Iphlpapi.dll";
  error = system.LibraryExportsFunction(library, "GetAdaptersAddresses");
  if (error == ERROR_SUCCESS) return true;
  unsigned long code = error;
  if (error == ERROR_PROC_NOT_FOUND) {
    if (tcpip) {
      NmapiLog(kLogError, "ReadTcpipInfo() GetProcAddress() GetAdaptersAddresses failed(%lu)\r\n",
               code);
    } else {
      NmapiLog(kLogError, "ReadIpV6Info() GetProcAddress() GetAdaptersAddresses failed(%lu)\r\n",
               code);
    }
  } else if (tcpip) {
    NmapiLog(kLogError, "ReadTcpipInfo() LoadLibraryEx() failed(%lu)\r\n", code);
  } else {
    NmapiLog(kLogError, "ReadIpV6Info() LoadLibraryEx() failed(%lu)\r\n", code);
  }
  return false;
}

// The IPv6 address bytes of a socket address, or an empty view.
ByteView SocketAddressBytes(const SocketAddress& socket, uint32_t family) {
  ByteView view;
  ByteReader reader(socket.bytes);
  if (family == AF_INET6_WINDOWS) reader.ViewAt(8, 16, view);
  if (family == AF_INET_WINDOWS) reader.ViewAt(4, 4, view);
  return view;
}

void ClearIpv4(AdapterInfo& info) {
  info.dhcpEnabled = 0;
  CopyFixedText(info.ipAddress, "");
  CopyFixedText(info.subnetMask, "");
  CopyFixedText(info.gateway, "");
}

}  // namespace

int ReadIpv4FromRegistry(AdapterNode& node) {
  AdapterInfo& info = node.info;
  std::string path = std::string("SYSTEM\\CurrentControlSet\\Services") +
                     "\\Tcpip\\Parameters\\Interfaces\\" + std::string(TextUpToZero(info.interfaceId));
  std::unique_ptr<RegistryKey> key;
  uint32_t error = Current().registry().OpenKey(path, KEY_READ, key);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "ReadTcpipInfoNET() open registry failed(%lu)\r\n",
             static_cast<unsigned long>(error));
    return 0;
  }
  uint32_t enableDhcp = 0;
  bool dhcp =
      QueryRegistryDword(*key, "EnableDHCP", enableDhcp) == ERROR_SUCCESS && enableDhcp != 0;
  info.dhcpEnabled = dhcp ? 1 : 0;

  std::string text;
  if (QueryRegistryText(*key, dhcp ? "DhcpIPAddress" : "IPAddress", kRegistryAddressMax, text) ==
      ERROR_SUCCESS) {
    CopyFixedText(info.ipAddress, text);
  }
  if (QueryRegistryText(*key, dhcp ? "DhcpSubnetMask" : "SubnetMask", kRegistryAddressMax, text) ==
      ERROR_SUCCESS) {
    CopyFixedText(info.subnetMask, text);
  }
  // Read straight into the 20-byte field: a longer value leaves it as it was.
  if (QueryRegistryText(*key, dhcp ? "DhcpDefaultGateway" : "DefaultGateway", kGatewayCapacity,
                        text) == ERROR_SUCCESS) {
    CopyFixedText(info.gateway, text);
  }
  return 1;
}

int ReadIpv4FromList(AdapterNode& node, const std::vector<IpAdapterInfo>* list) {
  AdapterInfo& info = node.info;
  const IpAdapterInfo* entry = nullptr;
  if (list != nullptr) {
    for (const IpAdapterInfo& candidate : *list) {
      if (candidate.type == MIB_IF_TYPE_ETHERNET &&
          EqualsNoCase(candidate.adapter_name, TextUpToZero(info.interfaceId))) {
        entry = &candidate;
        break;
      }
    }
  }
  if (entry == nullptr) {
    ClearIpv4(info);
    return 0;
  }
  info.dhcpEnabled = entry->dhcp_enabled ? 1 : 0;
  CopyFixedText(info.gateway, entry->gateway_list.empty() ? "" : entry->gateway_list[0].address);
  IpAddrString address;
  if (entry->current_ip_address) {
    address = *entry->current_ip_address;
  } else if (!entry->ip_address_list.empty()) {
    address = entry->ip_address_list[0];
  }
  CopyFixedText(info.ipAddress, address.address);
  CopyFixedText(info.subnetMask, address.mask);

  std::string_view ip = TextUpToZero(info.ipAddress);
  if (!entry->dhcp_enabled && (ip.size() < 7 || EqualsNoCase(ip, "0.0.0.0"))) {
    return ReadIpv4FromRegistry(node);
  }
  return 1;
}

int ReadIPv6InfoNET(AdapterNode& node, const std::vector<IpAdapterAddresses>& list) {
  AdapterInfo& info = node.info;
  info.ipv6Present = 0;
  for (const IpAdapterAddresses& entry : list) {
    if (!EqualsNoCase(entry.adapter_name, TextUpToZero(info.interfaceId))) continue;
    std::string friendlyName;
    std::string description;
    Utf16ToUtf8(entry.friendly_name, friendlyName);
    Utf16ToUtf8(entry.description, description);
    NmapiLog(kLogInformation, "Friendly name: %s\r\n", friendlyName.c_str());
    NmapiLog(kLogInformation, "Description: %s\r\n", description.c_str());
    NmapiLog(kLogInformation, "AdapterName: %s\r\n", entry.adapter_name.c_str());
    if (entry.unicast_addresses.empty()) {
      NmapiLog(kLogWarning, "ReadIpV6Info() no Unicast for %s\r\n", info.title);
      continue;
    }

    const IpUnicastAddress& unicast = entry.unicast_addresses.front();
    info.ipv6Flags = unicast.flags;
    size_t length = unicast.address.bytes.size();
    if (length > kSocketAddressMax) {
      NmapiLog(kLogError, "ReadIPv6InfoNET() iSockaddrLength %i too long\r\n",
               static_cast<int>(length));
      return 0;
    }
    ByteView address = SocketAddressBytes(unicast.address, AF_INET6_WINDOWS);
    if (address.empty()) {
      // Too short to hold an IPv6 address: nothing of it can be read.
      NmapiLog(kLogError, "ReadIPv6InfoNET() iSockaddrLength %i too short\r\n",
               static_cast<int>(length));
      return 0;
    }
    std::string text;
    if (AddressToText(AF_INET6_WINDOWS, address, kIpv6TextCapacity, text) == 0) {
      CopyFixedText(info.ipv6Address, text);
    }
    info.ipv6Family = unicast.address.Family();
    info.ipv6PrefixOrigin = static_cast<uint32_t>(unicast.prefix_origin);
    info.ipv6SuffixOrigin = static_cast<uint32_t>(unicast.suffix_origin);
    info.ipv6DadState = static_cast<uint32_t>(unicast.dad_state);
    info.ipv6ValidLifetime = unicast.valid_lifetime;
    info.ipv6PreferredLifetime = unicast.preferred_lifetime;
    info.ipv6LeaseLifetime = unicast.lease_lifetime;
    info.ipv6Present = 1;

    if (!entry.gateway_addresses.empty()) {
      const SocketAddress& gateway = entry.gateway_addresses.front();
      info.ipv6GatewayFamily = gateway.Family();
      std::string gatewayText;
      AddressToText(gateway.Family(), SocketAddressBytes(gateway, gateway.Family()),
                    kIpv6TextCapacity, gatewayText);
      CopyFixedText(info.ipv6Gateway, gatewayText);
    } else {
      CopyFixedText(info.ipv6Gateway, "0000::0");
      NmapiLog(kLogWarning, "ReadIpV6Info() no Gateway_v6 for %s\r\n", info.title);
    }
    return 1;
  }
  NmapiLog(kLogWarning, "ReadIPv6InfoNET() ipv6 not found for %s\r\n", info.title);
  return 0;
}

int ReadIpV6Info(AdapterNode& node) {
  if (!IpHelperExportsAddresses(Caller::kReadIpV6Info)) return 0;
  std::vector<IpAdapterAddresses> list;
  uint32_t error = Current().ipHelper().GetAdaptersAddresses(AF_INET6_WINDOWS, kIpv6Flags, list);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "ReadIpV6Info() GetAdaptersAddresses() failed(%lu)\r\n",
             static_cast<unsigned long>(error));
    return 0;
  }
  if (ReadIPv6InfoNET(node, list) == 0) {
    NmapiLog(kLogWarning, "ReadIpV6Info() ipv6 not found for %s\r\n", node.info.title);
    return 0;
  }
  return 1;
}

void ReadTcpipInfoNET(AdapterNode& node) {
  if (node.info.interfaceId[0] == '\0') return;
  ReadIpV6Info(node);
  std::vector<IpAdapterInfo> list;
  uint32_t error = Current().ipHelper().GetAdaptersInfo(list);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogWarning, "ReadTcpipInfoNET() GetAdaptersInfo() failed %lu\r\n",
             static_cast<unsigned long>(error));
  }
  ReadIpv4FromList(node, error == ERROR_SUCCESS ? &list : nullptr);
}

int ReadTcpipInfo() {
  auto& adapters = State().adapters;
  std::vector<IpAdapterInfo> list;
  uint32_t error = Current().ipHelper().GetAdaptersInfo(list);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogWarning, "ReadTcpipInfo() GetAdaptersInfo() failed %lu\r\n",
             static_cast<unsigned long>(error));
  }
  for (const auto& node : adapters)
    ReadIpv4FromList(*node, error == ERROR_SUCCESS ? &list : nullptr);

  if (!IpHelperExportsAddresses(Caller::kReadTcpipInfo)) return 0;
  std::vector<IpAdapterAddresses> addresses;
  error = Current().ipHelper().GetAdaptersAddresses(AF_INET6_WINDOWS, kIpv6Flags, addresses);
  if (error != ERROR_SUCCESS) {
    NmapiLog(kLogError, "ReadTcpipInfo() GetAdaptersAddresses() failed(%lu)\r\n",
             static_cast<unsigned long>(error));
    return 0;
  }
  for (const auto& node : adapters) ReadIPv6InfoNET(*node, addresses);
  return 1;
}

}  // namespace skyfw
