// IPv4 and IPv6 configuration, and the text form of addresses.
#include <array>
#include <string>

#include "nmapi/address_text.h"
#include "base/fixed_text.h"
#include "nmapi_fixture.h"

namespace skyfw::test {
namespace {

using platform::IpAdapterAddresses;
using platform::IpAdapterInfo;
using platform::IpAddrString;
using platform::RegistryValue;
using platform::SocketAddress;

std::array<uint8_t, 16> Ipv6Bytes(std::array<uint16_t, 8> words) {
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < 8; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(words[i] >> 8);
    bytes[2 * i + 1] = static_cast<uint8_t>(words[i]);
  }
  return bytes;
}

TEST(AddressToText, Ipv6Forms) {
  struct Case {
    std::array<uint16_t, 8> words;
    const char* text;
  };
  const Case cases[] = {
      {{0xfe80, 0, 0, 0, 0, 0, 0, 1}, "fe80::1"},
      {{0, 0, 0, 0, 0, 0, 0, 0}, "::"},
      {{0, 0, 0, 0, 0, 0xffff, 0xc000, 0x0201}, "::ffff:192.0.2.1"},
      {{0, 0, 0, 0, 0, 0, 0xc000, 0x0201}, "::192.0.2.1"},
      {{0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
      {{1, 0, 0, 1, 0, 0, 0, 1}, "1:0:0:1::1"},
      {{1, 0, 0, 2, 0, 0, 3, 4}, "1::2:0:0:3:4"},
      {{1, 0, 0, 0, 0, 0, 0, 0}, "1::"},
      {{0x2001, 0xdb8, 0, 1, 0, 1, 0, 1}, "2001:db8:0:1:0:1:0:1"},
      {{0x2001, 0xdb8, 0x85a3, 0x8d3, 0x1319, 0x8a2e, 0x370, 0x7348},
       "2001:db8:85a3:8d3:1319:8a2e:370:7348"},
      {{0, 0, 0, 0, 0, 0xfffe, 0xc000, 0x0201}, "::fffe:c000:201"},
  };
  for (const Case& c : cases) {
    auto bytes = Ipv6Bytes(c.words);
    std::string text;
    EXPECT_EQ(AddressToText(23, bytes, 48, text), 0u) << c.text;
    EXPECT_EQ(text, c.text);
  }
}

TEST(AddressToText, Ipv4FamilyAndRefusals) {
  const uint8_t ipv4[] = {192, 0, 2, 255};
  std::string text = "old";
  EXPECT_EQ(AddressToText(2, ipv4, 16, text), 0u);
  EXPECT_EQ(text, "192.0.2.255");
  text = "old";
  EXPECT_EQ(AddressToText(2, ipv4, 11, text), kAddressNoSpace);  // 11 characters need 12 bytes
  EXPECT_EQ(AddressToText(17, ipv4, 48, text), kAddressFamilyNotSupported);
  EXPECT_EQ(AddressToText(23, ipv4, 48, text), kAddressTooShort);
  EXPECT_EQ(text, "old");
}

class NetworkInfoTest : public NmapiTest {
 protected:
  NetworkInfoTest() { machine.AddSkylinePort(0, {}); }
  std::string Guid() { return FakeMachine::InterfaceGuid(0); }
  std::string TcpipKey() {
    return "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" + Guid();
  }
  IpAdapterInfo& Ipv4(bool dhcp, const std::string& address) {
    IpAdapterInfo adapter;
    adapter.adapter_name = Lower(Guid());  // compared without regard to case
    adapter.dhcp_enabled = dhcp;
    adapter.current_ip_address = IpAddrString{address, address.empty() ? "" : "255.255.255.0"};
    adapter.gateway_list.push_back({"192.0.2.1", ""});
    machine.ipv4Adapters.push_back(adapter);
    return machine.ipv4Adapters.back();
  }
  static std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }
  AdapterInfo Record() {
    AdapterInfo record{};
    EXPECT_EQ(ngNmapiGetPhyNic(1, &record), ngNMAPI_OK);
    return record;
  }
};

TEST_F(NetworkInfoTest, Ipv4FromTheAdapterList) {
  Ipv4(false, "192.0.2.10");
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(record.dhcpEnabled, 0u);
  EXPECT_EQ(TextUpToZero(record.ipAddress), "192.0.2.10");
  EXPECT_EQ(TextUpToZero(record.subnetMask), "255.255.255.0");
  EXPECT_EQ(TextUpToZero(record.gateway), "192.0.2.1");
}

TEST_F(NetworkInfoTest, StaticAdapterWithoutAddressReadsTheTcpipKey) {
  Ipv4(false, "0.0.0.0");
  machine.SetRegistryValue(TcpipKey(), "EnableDHCP", RegistryValue::Dword(0));
  RegistryValue address;
  address.type = platform::REG_MULTI_SZ;
  std::string multi = std::string("203.0.113.40") + '\0' + "203.0.113.41" + '\0' + '\0';
  address.data.assign(multi.begin(), multi.end());
  machine.SetRegistryValue(TcpipKey(), "IPAddress", address);
  machine.SetRegistryValue(TcpipKey(), "SubnetMask", RegistryValue::Text("255.255.255.0"));
  machine.SetRegistryValue(TcpipKey(), "DefaultGateway",
                           RegistryValue::Text("203.0.113.1.and.far.too.long"));
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(TextUpToZero(record.ipAddress), "203.0.113.40");
  EXPECT_EQ(TextUpToZero(record.subnetMask), "255.255.255.0");
  // A gateway value longer than the field leaves the field as it was.
  EXPECT_EQ(TextUpToZero(record.gateway), "192.0.2.1");
}

TEST_F(NetworkInfoTest, DhcpAdapterWithoutAddressKeepsWhatTheStackGives) {
  Ipv4(true, "0.0.0.0");
  machine.SetRegistryValue(TcpipKey(), "DhcpIPAddress", RegistryValue::Text("198.51.100.23"));
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(record.dhcpEnabled, 1u);
  EXPECT_EQ(TextUpToZero(record.ipAddress), "0.0.0.0");
}

TEST_F(NetworkInfoTest, NoListEntryClearsIpv4) {
  Ipv4(false, "192.0.2.10").type = 71;  // not Ethernet: not this adapter's entry
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(TextUpToZero(record.ipAddress), "");
  EXPECT_EQ(TextUpToZero(record.gateway), "");
}

TEST_F(NetworkInfoTest, Ipv6UnicastAndGateway) {
  IpAdapterAddresses adapter;
  adapter.adapter_name = Guid();
  adapter.friendly_name = u"Ethernet 2";
  platform::IpUnicastAddress unicast;
  uint8_t address[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x0a, 0x3b, 0xff, 0xfe, 0x1c, 0x2d, 0x4e};
  unicast.address = SocketAddress::Ipv6(address);
  unicast.flags = 0x2;
  unicast.prefix_origin = 4;
  unicast.suffix_origin = 4;
  unicast.dad_state = 4;
  unicast.valid_lifetime = 3600;
  adapter.unicast_addresses.push_back(unicast);
  uint8_t gateway[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  adapter.gateway_addresses.push_back(SocketAddress::Ipv6(gateway));
  machine.ipv6Adapters.push_back(adapter);
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(record.ipv6Present, 1u);
  EXPECT_EQ(TextUpToZero(record.ipv6Address), "fe80::a:3bff:fe1c:2d4e");
  EXPECT_EQ(record.ipv6Family, 23);
  EXPECT_EQ(record.ipv6Flags, 2u);
  EXPECT_EQ(record.ipv6PrefixOrigin, 4u);
  EXPECT_EQ(record.ipv6ValidLifetime, 3600u);
  EXPECT_EQ(record.ipv6GatewayFamily, 23);
  EXPECT_EQ(TextUpToZero(record.ipv6Gateway), "fe80::1");
  EXPECT_TRUE(Logged("Friendly name: Ethernet 2\r\n"));

  machine.ipv6Adapters[0].gateway_addresses.clear();
  record = Record();
  EXPECT_EQ(TextUpToZero(record.ipv6Gateway), "0000::0");
  EXPECT_TRUE(Logged("ReadIpV6Info() no Gateway_v6 for Norvane Skyline 25GbE Adapter\r\n"));
}

TEST_F(NetworkInfoTest, Ipv6NotFoundOrMalformed) {
  Start();
  EXPECT_EQ(Record().ipv6Present, 0u);
  EXPECT_TRUE(Logged("ReadIpV6Info() ipv6 not found for Norvane Skyline 25GbE Adapter\r\n"));

  IpAdapterAddresses adapter;
  adapter.adapter_name = Guid();
  platform::IpUnicastAddress unicast;
  unicast.address.bytes.assign(60, 0);  // longer than any socket address
  adapter.unicast_addresses.push_back(unicast);
  machine.ipv6Adapters.push_back(adapter);
  EXPECT_EQ(Record().ipv6Present, 0u);
  EXPECT_TRUE(Logged("ReadIPv6InfoNET() iSockaddrLength 60 too long\r\n"));

  machine.ipv6Adapters[0].unicast_addresses[0].address.bytes.assign(12, 0);  // cut short
  EXPECT_EQ(Record().ipv6Present, 0u);
  EXPECT_TRUE(Logged("ReadIPv6InfoNET() iSockaddrLength 12 too short\r\n"));
}

}  // namespace
}  // namespace skyfw::test
