// AdapterInfo: the public per-adapter record of the adapter management
// library. It is copied whole into caller-owned storage, so it holds only
// plain values and fixed, zero-terminated 8-bit texts.
#pragma once

#include <cstdint>
#include <type_traits>

namespace skyfw {

// Driver kinds, by the image name of the adapter's driver service.
inline constexpr uint32_t kDriverKindLegacy = 2;   // "vlnd60a.sys"
inline constexpr uint32_t kDriverKindCurrent = 3;  // "velond.sys"
inline constexpr uint32_t kDriverKindOther = 4;

// Bus types.
inline constexpr int32_t kBusTypeUnknown = 0;
inline constexpr int32_t kBusTypeOther = 1;
inline constexpr int32_t kBusTypePci = 2;
inline constexpr int32_t kBusTypePcmcia = 3;
inline constexpr int32_t kBusType1394 = 4;
inline constexpr int32_t kBusTypeUsb = 5;

// SR-IOV states.
inline constexpr int32_t kSriovUndetermined = 0;
inline constexpr int32_t kSriovDisabled = 1;
inline constexpr int32_t kSriovEnabled = 2;
inline constexpr int32_t kSriovFixedList = 3;

inline constexpr uint32_t kUnknownLocation = 0xFFFFFFFF;

struct AdapterVlanEntry {
  uint32_t vlanId;
  uint32_t word1;
  uint32_t word2;
  uint32_t word3;
};

struct AdapterVlanInfo {
  uint32_t present;
  uint32_t count;
  AdapterVlanEntry entry;
};

struct AdapterInfo {
  uint32_t handle;
  char description[256];
  char title[256];
  char serviceName[256];
  char interfaceId[520];
  uint32_t driverKind;
  uint32_t lockHeld;
  uint32_t flaggedDeviceId;
  char currentMac[20];
  char permanentMac[20];
  uint32_t chipId;
  uint16_t vendorId;
  uint16_t deviceId;
  uint16_t subVendorId;
  uint16_t subDeviceId;
  char manufacturer[80];
  uint8_t revision;
  uint32_t bus;
  uint32_t device;
  uint32_t function;
  uint32_t segment;
  uint32_t pcieLinkWidth;
  uint32_t pcieLinkSpeed;
  uint32_t bar[4];
  int32_t busType;
  uint32_t driverLoaded;
  uint32_t deviceOpen;
  char driverImage[32];
  char driverVersion[40];
  uint32_t linkUp;
  uint32_t duplex;
  int32_t medium;
  uint32_t linkSpeedMbps;
  uint32_t maxFrameSize;
  uint32_t flowControl;
  uint32_t wakeOnMagicPacket;
  uint64_t xmitLinkSpeed;
  uint64_t rcvLinkSpeed;
  uint32_t dhcpEnabled;
  char ipAddress[20];
  char subnetMask[20];
  char gateway[20];
  uint32_t ipv6Present;
  uint32_t ipv6Flags;
  uint16_t ipv6Family;
  char ipv6Address[48];
  uint32_t ipv6PrefixOrigin;
  uint32_t ipv6SuffixOrigin;
  uint32_t ipv6DadState;
  uint32_t ipv6ValidLifetime;
  uint32_t ipv6PreferredLifetime;
  uint32_t ipv6LeaseLifetime;
  uint16_t ipv6GatewayFamily;
  char ipv6Gateway[48];
  int32_t sriovState;
  uint16_t numVfs;
  uint16_t numAllocatedVfs;
  AdapterVlanInfo vlan;
};

static_assert(std::is_trivially_copyable_v<AdapterInfo> && std::is_standard_layout_v<AdapterInfo>,
              "AdapterInfo is copied whole into caller-owned storage");

}  // namespace skyfw
