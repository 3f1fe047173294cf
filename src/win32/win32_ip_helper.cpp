#include "win32/win32_ip_helper.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

// The lists grow between the size answer and the second call on a busy
// machine: a few attempts, each with what the last one asked for.
constexpr int kAttempts = 4;

// 8-byte aligned storage for the linked records the calls write.
using ListBuffer = std::vector<uint64_t>;

void Reserve(ListBuffer& buffer, ULONG bytes) {
  buffer.assign((std::max<ULONG>(bytes, 1) + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
}

ULONG Capacity(const ListBuffer& buffer) {
  return static_cast<ULONG>(buffer.size() * sizeof(uint64_t));
}

std::string Text(const char* text, size_t capacity) {
  return std::string(TextUpToZero(text, capacity));
}

platform::IpAddrString ToSeam(const IP_ADDR_STRING& entry) {
  return {Text(entry.IpAddress.String, sizeof entry.IpAddress.String),
          Text(entry.IpMask.String, sizeof entry.IpMask.String)};
}

std::vector<platform::IpAddrString> ToSeamList(const IP_ADDR_STRING& first) {
  std::vector<platform::IpAddrString> list;
  for (const IP_ADDR_STRING* entry = &first; entry != nullptr; entry = entry->Next) {
    list.push_back(ToSeam(*entry));
  }
  return list;
}

platform::SocketAddress ToSeam(const SOCKET_ADDRESS& address) {
  platform::SocketAddress socket;
  if (address.lpSockaddr != nullptr && address.iSockaddrLength > 0) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(address.lpSockaddr);
    socket.bytes.assign(bytes, bytes + address.iSockaddrLength);
  }
  return socket;
}

std::u16string WideText(const wchar_t* text) {
  return text == nullptr ? std::u16string() : ToU16(text);
}

}  // namespace

uint32_t Win32IpHelper::GetAdaptersInfo(std::vector<platform::IpAdapterInfo>& adapters) {
  adapters.clear();
  ListBuffer buffer;
  Reserve(buffer, 16 * sizeof(IP_ADAPTER_INFO));
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < kAttempts && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    ULONG size = Capacity(buffer);
    result = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) Reserve(buffer, size);
  }
  if (result != ERROR_SUCCESS) return result;
  for (const auto* info = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); info != nullptr;
       info = info->Next) {
    platform::IpAdapterInfo adapter;
    adapter.adapter_name = Text(info->AdapterName, sizeof info->AdapterName);
    adapter.description = Text(info->Description, sizeof info->Description);
    adapter.address.assign(
        info->Address, info->Address + std::min<size_t>(info->AddressLength, sizeof info->Address));
    adapter.index = info->Index;
    adapter.type = info->Type;
    adapter.dhcp_enabled = info->DhcpEnabled != 0;
    if (info->CurrentIpAddress != nullptr)
      adapter.current_ip_address = ToSeam(*info->CurrentIpAddress);
    adapter.ip_address_list = ToSeamList(info->IpAddressList);
    adapter.gateway_list = ToSeamList(info->GatewayList);
    adapters.push_back(std::move(adapter));
  }
  return ERROR_SUCCESS;
}

uint32_t Win32IpHelper::GetAdaptersAddresses(uint32_t family, uint32_t flags,
                                             std::vector<platform::IpAdapterAddresses>& adapters) {
  adapters.clear();
  // The seam carries no DNS servers; skipping them also keeps Wine from
  // failing the IPv6 list (error 9852).
  ULONG all_flags = flags | GAA_FLAG_SKIP_DNS_SERVER;
  ListBuffer buffer;
  Reserve(buffer, 15 * 1024);  // the size Windows' documentation suggests
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < kAttempts && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    ULONG size = Capacity(buffer);
    result = ::GetAdaptersAddresses(family, all_flags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) Reserve(buffer, size);
  }
  if (result != ERROR_SUCCESS) return result;
  for (const auto* entry = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       entry != nullptr; entry = entry->Next) {
    platform::IpAdapterAddresses adapter;
    adapter.adapter_name = entry->AdapterName != nullptr ? entry->AdapterName : "";
    adapter.friendly_name = WideText(entry->FriendlyName);
    adapter.description = WideText(entry->Description);
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = entry->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      platform::IpUnicastAddress address;
      address.address = ToSeam(unicast->Address);
      address.flags = unicast->Flags;
      address.prefix_origin = unicast->PrefixOrigin;
      address.suffix_origin = unicast->SuffixOrigin;
      address.dad_state = unicast->DadState;
      address.valid_lifetime = unicast->ValidLifetime;
      address.preferred_lifetime = unicast->PreferredLifetime;
      address.lease_lifetime = unicast->LeaseLifetime;
      adapter.unicast_addresses.push_back(std::move(address));
    }
    for (const IP_ADAPTER_GATEWAY_ADDRESS_LH* gateway = entry->FirstGatewayAddress;
         gateway != nullptr; gateway = gateway->Next) {
      adapter.gateway_addresses.push_back(ToSeam(gateway->Address));
    }
    adapters.push_back(std::move(adapter));
  }
  return ERROR_SUCCESS;
}

}  // namespace skyfw::win32
