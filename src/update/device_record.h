// One adapter of the host inventory and the firmware item chosen for it.
//
// The inventory is built fresh by every entry point call that needs devices
// and stays in place afterwards; the discovery document, the request
// processing, the PCI-addressed requests, the adapter report, the version
// choice and the package installer and backup all read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skyfw {

// Room of the record's wide texts, end mark included (storage is a
// std::u16string; these are the observable limits).
inline constexpr size_t kMacTextUnits = 20;
inline constexpr size_t kAdapterNameUnits = 1024;
// The readers walk the inventory with 16-bit positions.
inline constexpr size_t kMaxInventoryRecords = 65535;

struct FirmwareItem {
  // "nvm" once the discovery document has been written, empty before.
  std::string type;
  // The chosen package: its full path when the firmware directory was
  // searched, the catalogue's "nvmFile" value when the catalogue was used.
  std::string file;
  // The version of that package.
  std::string version;
  // The firmware version now in the adapter's NVM.
  std::string activeVersion;
  // "upgrade", "downgrade", "rewrite" or empty.
  std::string action;
};

struct DeviceRecord {
  uint32_t segment = 0;
  uint32_t bus = 0;
  uint32_t device = 0;
  // Always 0 in the inventory.
  uint32_t function = 0;
  // Identity key from NVM option 1 ("%x" per byte); empty when the read failed.
  std::string nvmOptionKey;
  // Permanent MAC address, 12 hexadecimal digits.
  std::u16string macText;
  // The adapter library's title: the name every NVM operation addresses the
  // adapter by (converted back to 8-bit text).
  std::u16string adapterName;
  uint32_t vendorId = 0;
  uint32_t deviceId = 0;
  uint32_t subVendorId = 0;
  uint32_t subDeviceId = 0;
  // segment, bus, device, function as "%04x:%02x:%02x:%x".
  std::string pciLocation;
  // Shown to the host; starts as adapterName, the installer may replace it
  // from its adapter name table while the firmware item is chosen.
  std::u16string productName;
  uint32_t revision = 0;
  // BuildInventory leaves exactly one.
  std::vector<FirmwareItem> firmwareItems;
};

// The library-wide inventory, in the order BuildInventory appended records.
using DeviceInventory = std::vector<DeviceRecord>;

}  // namespace skyfw
