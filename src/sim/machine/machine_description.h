// The parsed model of a simulated machine: what machine.json describes.
//
// A machine has network-class devices (in the order the device enumeration
// returns them), physical adapters whose ports are some of those devices,
// registry contents, IP configuration and faults. Every field has been
// checked by the parser; defaults are filled in, so consumers never meet a
// half-described adapter. docs/machine.md documents the JSON form.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "platform/win32_types.h"

namespace skyfw::sim {

// ---- registry ----------------------------------------------------------

struct RegistryKeyDescription {
  std::string path;  // below HKEY_LOCAL_MACHINE, backslashes
  std::vector<std::pair<std::string, platform::RegistryValue>> values;
};

// A key that refuses access ("registry key without access"). The key and
// everything below it refuse opens asking for more than KEY_READ; with
// `deny_read` they refuse every open.
struct RegistryAccessFault {
  std::string path;
  bool deny_read = false;
};

// ---- IP configuration of one network device ----------------------------

struct Ipv4Config {
  bool listed = true;  // appears in GetAdaptersInfo
  bool dhcp_enabled = false;
  std::string address;  // "" = no current address (listed as "0.0.0.0")
  std::string mask;
  std::string gateway;  // "" = no gateway entry
};

struct Ipv6Unicast {
  std::array<uint8_t, 16> address{};
  uint32_t flags = 0;
  int32_t prefix_origin = 0;  // IpPrefixOrigin*
  int32_t suffix_origin = 0;  // IpSuffixOrigin*
  int32_t dad_state = 4;      // IpDadStatePreferred
  uint32_t valid_lifetime = 0xFFFFFFFF;
  uint32_t preferred_lifetime = 0xFFFFFFFF;
  uint32_t lease_lifetime = 0xFFFFFFFF;
};

struct Ipv6Config {
  bool listed = true;  // appears in GetAdaptersAddresses
  std::vector<Ipv6Unicast> unicast;
  std::vector<std::array<uint8_t, 16>> gateways;
};

// ---- network-class devices ---------------------------------------------

// One device of the network adapter class, as SetupAPI and the
// configuration manager see it. Its class key, service key and TCP/IP
// interface key are part of MachineDescription::registry.
struct DeviceDescription {
  std::string instance_id;    // "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_...&REV_02\\4&...&0&0018"
  std::string description;    // SPDRP_DEVICEDESC
  std::string friendly_name;  // SPDRP_FRIENDLYNAME; empty = the device has none
  std::string driver_key;     // SPDRP_DRIVER: "{4d36e972-e325-11ce-bfc1-08002be10318}\\0001"
  std::string service;        // SPDRP_SERVICE; empty = none
  std::string manufacturer;   // SPDRP_MFG; empty = none
  std::optional<uint32_t> legacy_bus_type;      // SPDRP_LEGACYBUSTYPE (5 = PCI)
  std::optional<platform::Guid> bus_type_guid;  // SPDRP_BUSTYPEGUID
  std::optional<uint32_t> bus_number;           // SPDRP_BUSNUMBER
  std::optional<uint32_t> address;              // SPDRP_ADDRESS: device << 16 | function
  bool present = true;  // listed by DIGCF_PRESENT and CM_LOCATE_DEVNODE_NORMAL
  uint32_t status = platform::DN_DRIVER_LOADED | platform::DN_STARTED | platform::DN_DISABLEABLE;
  uint32_t problem = 0;  // CM_PROB_*; 22 = disabled
  // Opens of the device's NDIS device and firmware-command interface fail
  // with ERROR_FILE_NOT_FOUND until the open_at_try-th try in the process
  // (1 = opens at once).
  uint32_t open_at_try = 1;

  // Values of the class key (also in the registry), kept for display.
  uint32_t characteristics = 0;
  std::string component_id;
  std::string net_cfg_instance_id;  // interface GUID text "{...}"; empty = value missing
  std::string driver_version;
  std::string image_path;  // ImagePath of the service key

  std::optional<Ipv4Config> ipv4;
  std::optional<Ipv6Config> ipv6;

  // The physical adapter port this device is, if any: indices into
  // MachineDescription::adapters and that adapter's ports.
  std::optional<size_t> adapter_index;
  std::optional<size_t> port_index;

  // Title the driver uses as WMI instance name: friendly name, else description.
  const std::string& Title() const { return friendly_name.empty() ? description : friendly_name; }
};

// ---- physical adapters -------------------------------------------------

struct PciIdentity {
  uint16_t vendor_id = 0;
  uint16_t device_id = 0;
  uint16_t subsystem_id = 0;         // first four SUBSYS digits
  uint16_t subsystem_vendor_id = 0;  // last four SUBSYS digits
  uint8_t revision = 0;
};

struct PciLocation {
  uint32_t bus = 0;
  uint32_t device = 0;
  uint32_t function = 0;
};

// MSFT_NetAdapterSriovSettingData of a port; no instance when !present.
struct SriovSetting {
  bool present = true;
  bool enabled = false;
  uint32_t num_vfs = 0;
  uint32_t num_allocated_vfs = 0;
};

// One PCI function of a physical adapter: what its NDIS driver reports.
struct PortDescription {
  size_t device_index = 0;  // into MachineDescription::devices
  PciLocation location;
  std::string title;         // the device's Title(): the WMI instance name
  std::string interface_id;  // the device's NetCfgInstanceId
  std::array<uint8_t, 6> permanent_mac{};
  std::array<uint8_t, 6> current_mac{};
  uint8_t ndis_major = 6;
  uint8_t ndis_minor = 82;
  bool link_up = true;
  uint64_t link_speed_bps = 10'000'000'000;  // OID_GEN_LINK_SPEED reports bps / 100
  uint32_t medium = 14;                      // OID_GEN_PHYSICAL_MEDIUM_EX value (14 = 802.3)
  uint32_t duplex = 2;                       // MediaDuplexState: 1 half, 2 full
  uint64_t xmit_link_speed = 10'000'000'000;
  uint64_t rcv_link_speed = 10'000'000'000;
  uint32_t max_frame_size = 1500;
  uint32_t pcie_link_speed = 3;  // current link speed (PCIe generation)
  uint32_t pcie_link_width = 8;
  SriovSetting sriov;
};

// An item of the initial NVRAM image.
struct NvramItemDescription {
  uint16_t type = 0;
  uint16_t ordinal = 0;
  uint16_t extension = 0;
  uint16_t attributes = 0;
  uint32_t item_length = 0;   // allocated size, >= data.size()
  std::vector<uint8_t> data;  // valid data (dir_data_length = data.size())
};

// VPD of an adapter, declaratively; the driver builds the VPD item
// (type 5: 4-byte prefix, identifier string, VPD-R with RV checksum, VPD-W
// with RW free area, end tag) from it.
struct VpdDescription {
  std::string identifier;
  std::vector<std::pair<std::string, std::string>> read_only;   // VPD-R keywords, in order
  std::vector<std::pair<std::string, std::string>> read_write;  // VPD-W keywords, in order
  uint32_t read_write_free = 64;                                // bytes of the RW keyword
};

// Faults of the simulated driver and firmware for one physical adapter.

// A driver call failing with `error` as its last error. `call` names a WMI
// method ("Read", "InstallUpdate", "GetNvmLastError", ...) or a direct request
// ("FWCMD_NVM_READ", ...). `at` 0 strikes every call, n only the n-th call of
// that name on the adapter (counted across processes, from 1).
struct MethodFault {
  std::string call;
  uint16_t error = 0;
  uint32_t at = 0;
};

// The firmware refusing an installation with this result byte and problem
// item, always (`at` 0) or at the n-th InstallUpdate.
struct InstallRefusalFault {
  uint8_t result = 0xFF;
  uint8_t problem_item = 0xFF;
  uint32_t at = 0;
};

// How the driver's method signatures declare their 16-bit inputs.
enum class SixteenBitInputs { kUint16, kSint16, kUint32, kSint32 };

// What the NRVN_NVRAMPackage instance does with its Version property.
enum class VersionPropertyFault {
  kNone,
  kMissing,  // an older driver without the property
  kTooLong,  // the version padded with blanks to 512 characters
};

struct DriverFaults {
  std::vector<MethodFault> calls;
  std::optional<InstallRefusalFault> install_refusal;
  SixteenBitInputs sixteen_bit_inputs = SixteenBitInputs::kUint16;
  VersionPropertyFault version_property = VersionPropertyFault::kNone;
};

// A physical adapter: one NVRAM image, one or more ports.
struct AdapterDescription {
  std::string id;  // short name, unique; also names the NVRAM file
  PciIdentity pci;
  uint64_t nvm_option1 = 0;                // NVM option 1 (64 bits): identity of the adapter
  std::map<uint32_t, uint32_t> registers;  // ReadReg32 values by offset
                                           // (nvm/chip_registers.h names them)
  std::optional<VpdDescription> vpd;
  std::vector<std::string> package_log;  // records; fields separated by tabs, no line feeds
  uint32_t package_log_length = 4096;    // item length of the package log
  uint32_t update_area_length = 65536;   // item length of the update area (0 = none)
  std::vector<NvramItemDescription> nvram_items;  // further items of the initial image
  DriverFaults faults;
  std::vector<PortDescription> ports;  // in device enumeration order
};

// ---- machine-wide faults -------------------------------------------------

struct MachineFaults {
  bool scm_locked = false;
  std::string scm_lock_owner = ".\\NT Service Control Manager";
  bool shutting_down = false;                       // OpenSCManager: ERROR_SHUTDOWN_IN_PROGRESS
  std::vector<std::string> unreachable_namespaces;  // e.g. "root\\wmi"
  bool sta_thread = false;  // every thread already runs in a single-threaded apartment
  std::vector<RegistryAccessFault> registry_denied;
  // "Library!Function" pairs the system directory's libraries do not export.
  std::vector<std::string> missing_exports;
};

// ---- the machine ---------------------------------------------------------

struct MachineDescription {
  std::string computer_name = "SKYHOST";
  std::vector<DeviceDescription> devices;  // network class, enumeration order
  std::vector<AdapterDescription> adapters;
  std::vector<RegistryKeyDescription> registry;  // explicit keys and those of the devices
  MachineFaults faults;
};

}  // namespace skyfw::sim
