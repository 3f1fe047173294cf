// A small Windows machine built in code for the adapter management library's
// tests: network-class devices with their registry keys, the adapters' NDIS
// devices, chip registers and SR-IOV settings over WMI, the IP helper's
// lists, the service control manager and machine-wide named mutexes.
//
// Every part can be bent into the fault a test needs (a failing query, a
// device that opens late, a lock held by someone else), and every call the
// library makes that a test wants to count is recorded.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace skyfw::test {

struct FakeDevice {
  std::string instanceId;
  std::string description;
  std::string friendlyName;  // empty: the device has none
  std::string driverKey;
  std::string service;       // empty: none
  std::string manufacturer;  // empty: none
  std::optional<uint32_t> legacyBusType = platform::LEGACY_BUS_PCI;
  std::optional<platform::Guid> busTypeGuid;
  std::optional<uint32_t> busNumber;
  std::optional<uint32_t> address;  // device << 16 | function
  uint32_t status = platform::DN_DRIVER_LOADED | platform::DN_STARTED;
  uint32_t problem = 0;
};

// What an adapter's NDIS driver answers.
struct FakeNdisDevice {
  std::array<uint8_t, 6> currentMac{};
  std::array<uint8_t, 6> permanentMac{};
  uint16_t ndisVersion = 0x0652;  // 6.82
  uint32_t connectStatus = 0;     // 0 connected, 1 disconnected
  uint32_t medium = 14;
  uint32_t linkSpeed = 100000000;  // units of 100 bit/s
  uint32_t duplex = 2;
  uint64_t xmitLinkSpeed = 10'000'000'000;
  uint64_t rcvLinkSpeed = 10'000'000'000;
  uint32_t pcieLinkSpeed = 3;
  uint32_t pcieLinkWidth = 8;
  uint32_t maxFrameSize = 1514;
  std::map<uint32_t, uint32_t> failingOids;      // OID -> Win32 error
  std::map<uint32_t, uint32_t> returnedLengths;  // OID -> byte count delivered instead
  uint32_t openAtTry = 1;                        // opens fail before this try
  uint32_t openAttempts = 0;
  std::vector<uint32_t> queriedOids;
};

struct FakeSriov {
  bool present = true;
  bool enabled = false;
  uint32_t numVfs = 0;
  uint32_t numAllocatedVfs = 0;
};

class FakeMachine;

// Builds the platform for a FakeMachine; installed while it lives.
class FakeMachine {
 public:
  FakeMachine();
  ~FakeMachine();
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

  // ---- building ----
  // A network-class device with its class key (values as given) at the end
  // of the enumeration order; returns its index.
  size_t AddDevice(const FakeDevice& device,
                   std::vector<std::pair<std::string, platform::RegistryValue>> classValues);
  void SetRegistryValue(const std::string& keyPath, const std::string& name,
                        const platform::RegistryValue& value);
  void RemoveRegistryValue(const std::string& keyPath, const std::string& name);
  void DenyFullAccess(const std::string& keyPath);

  // A Skyline port driven by velond.sys: device, class key, service key,
  // NDIS device, chip registers, SR-IOV settings. `index` numbers the class
  // subkey, the interface GUID and the MAC addresses.
  struct PortSpec {
    uint16_t deviceId = 0x0B10;
    uint32_t bus = 3;
    uint32_t device = 0;
    uint32_t function = 0;
    std::string description = "Norvane Skyline 25GbE Adapter";
    std::string friendlyName;
    std::string image = "velond.sys";
    uint32_t characteristics = 0x84;
  };
  size_t AddSkylinePort(uint32_t index, const PortSpec& spec);
  static std::string InterfaceGuid(uint32_t index);
  static std::string ClassSubkey(uint32_t index);

  // ---- state the tests reach into ----
  std::vector<FakeDevice> devices;
  std::map<std::string, FakeNdisDevice> ndis;                     // by interface GUID
  std::map<std::string, std::map<uint32_t, uint32_t>> registers;  // by title, then offset
  std::map<std::string, FakeSriov> sriov;                         // by interface GUID
  std::vector<platform::IpAdapterInfo> ipv4Adapters;
  uint32_t ipv4Error = platform::ERROR_SUCCESS;
  std::vector<platform::IpAdapterAddresses> ipv6Adapters;
  uint32_t ipv6Error = platform::ERROR_SUCCESS;
  uint32_t scmOpenError = platform::ERROR_SUCCESS;
  bool scmLocked = false;
  uint32_t setupLibraryError = platform::ERROR_SUCCESS;
  uint32_t classDevsError = platform::ERROR_SUCCESS;
  uint32_t enumerationStopError = platform::ERROR_NO_MORE_ITEMS;
  bool wmiReachable = true;
  uint32_t sriovQueries = 0;  // SR-IOV instance fetches
  std::vector<std::string> debugOutput;
  std::vector<uint32_t> sleeps;
  std::map<std::string, int> mutexHandles;  // open handles per name
  std::filesystem::path commonAppData;

  // A handle to a named mutex as another process would hold it.
  std::unique_ptr<platform::NamedMutex> HoldMutex(const std::string& name);
  // Everything the debugger output received, in one text.
  std::string DebugText() const;

  struct Registry;
  std::unique_ptr<Registry> registry;

 private:
  testing::TempDir directory_;
  std::unique_ptr<platform::Platform> platform_;
};

}  // namespace skyfw::test
