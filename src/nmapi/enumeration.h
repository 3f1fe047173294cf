// Building the adapter list: the network-class devices that are physical
// Skyline ports driven by the family's current driver.
#pragma once

#include <memory>
#include <string_view>

#include "nmapi/adapter_node.h"
#include "base/nmapi_result.h"
#include "platform/devices.h"

namespace skyfw {

inline constexpr const char* kCurrentDriverImage = "velond.sys";
inline constexpr const char* kLegacyDriverImage = "vlnd60a.sys";

// Device class key below which each network device's driver key lives.
inline constexpr const char* kClassKeyRoot = "SYSTEM\\CurrentControlSet\\Control\\Class";
inline constexpr const char* kServicesKeyRoot = "SYSTEM\\CurrentControlSet\\Services";

// Characteristics bits of a network-class key.
inline constexpr uint32_t kNcfVirtual = 0x1;
inline constexpr uint32_t kNcfPhysical = 0x4;
inline constexpr uint32_t kNcfHidden = 0x8;

// Builds the list (library lock held): 0, 2, 21 or 22.
NmapiResult ReadConfig();

// One network-class device: a new node, or null when the device is skipped.
std::unique_ptr<AdapterNode> GetNicInfoW2k(platform::DeviceInfoSet& devices,
                                           const platform::DeviceInfoData& device);

// busType, bus, device and function from the device's bus properties.
void GetLocationInfoW2k(AdapterNode& node, platform::DeviceInfoSet& devices,
                        const platform::DeviceInfoData& device);

// busType, the PCI IDs and revision from the device instance identifier.
void ReadIdentityFromInstanceId(std::string_view instanceId, AdapterInfo& info);

// driverKind for a driver image name (exact comparison).
uint32_t DriverKindForImage(std::string_view image);

}  // namespace skyfw
