// Seeds of the targets that read what the simulated machine keeps: its
// description, the packages its firmware reads and its NVRAM files.
#include <algorithm>
#include <string>

#include "fuzz_machine.h"
#include "seeds.h"
#include "sim/driver/initial_nvram.h"
#include "sim/driver/nvram_file.h"
#include "sim/machine/machine.h"

namespace skyfw::fuzz {
namespace {

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes WithMode(uint8_t mode, const Bytes& bytes) {
  Bytes input(bytes.size() + 1, mode);
  std::copy(bytes.begin(), bytes.end(), input.begin() + 1);
  return input;
}

// Optional fields and faults the demo machine leaves out.
constexpr std::string_view kEveryFieldMachine = R"json({
  "computer_name": "EDGE",
  "adapters": [{
    "id": "e0",
    "pci": {"vendor_id": 7530, "device_id": "0x0B20", "subsystem_id": "0x0003",
            "subsystem_vendor_id": "0x1D6A", "revision": 1},
    "nvm_option1": "0xFFFFFFFFFFFFFFFF",
    "registers": {"0x10": "0xF7A00000", "64": 5},
    "bars": [1, 2, 3, 4],
    "vpd": {"identifier": "", "read_only": {"PN": "P"}, "read_write": {"V1": "v", "YA": ""},
            "read_write_free": 0},
    "package_log": ["2024-01-01\tnvmupd\t1.0.0", ["2024-01-02", "tool", "1.0.1", "x"]],
    "package_log_length": 64,
    "update_area_length": 0,
    "nvram_items": [
      {"type": 3, "ordinal": 1, "ext": 2, "attr": 16, "length": 32, "hex": "01 02:03-04"},
      {"type": 65535, "text": "last"}
    ],
    "faults": {
      "calls": [{"call": "Read", "error": 5, "at": 2}, {"call": "FWCMD_NVM_READ", "error": 1}],
      "install_refusal": {"result": 250, "problem_item": 1, "at": 1},
      "sixteen_bit_inputs": "sint32",
      "version_property": "too_long"
    }
  }],
  "devices": [
    {
      "adapter": "e0",
      "location": {"bus": 300, "device": 31, "function": 7},
      "description": "Edge Adapter",
      "friendly_name": "Edge Adapter #2",
      "driver": "{4d36e972-e325-11ce-bfc1-08002be10318}\\0042",
      "service": "velond",
      "image_path": "\\SystemRoot\\System32\\drivers\\velond.sys",
      "manufacturer": "Norvane",
      "bus_type": "pci",
      "present": true,
      "started": false,
      "disabled": true,
      "open_at_try": 3,
      "class_values": {
        "Characteristics": 132,
        "NetCfgInstanceId": "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B99}",
        "VlanID": {"type": "REG_QWORD", "value": 7},
        "Blob": {"type": "REG_BINARY", "value": "00FF"},
        "Paths": ["a", "b"],
        "Expand": {"type": "REG_EXPAND_SZ", "value": "%SystemRoot%"}
      },
      "tcpip": {"EnableDHCP": 1, "IPAddress": ["192.0.2.9"]},
      "ipv4": {"dhcp": true, "address": "192.0.2.9", "mask": "255.255.255.0", "listed": true},
      "ipv6": {"unicast": [{"address": "2001:db8::1", "flags": 1, "prefix_origin": 3,
                            "suffix_origin": 4, "dad_state": 4, "valid_lifetime": 60,
                            "preferred_lifetime": 30, "lease_lifetime": 10}],
               "gateways": ["fe80::1"], "listed": false},
      "port": {"permanent_mac": "02:0A:3B:1C:2D:99", "current_mac": "02:0A:3B:1C:2D:98",
               "ndis_version": "6.30", "link_up": false, "link_speed_mbps": 25000, "medium": 0,
               "duplex": 1, "max_frame_size": 9000, "pcie_link": {"speed": 4, "width": 16},
               "sriov": {"enabled": true, "num_vfs": 8, "num_allocated_vfs": 2}}
    },
    {"description": "USB NIC", "instance_id": "USB\\VID_0B95\\1", "bus_type": "usb",
     "status": 0, "problem": 22, "present": false}
  ],
  "registry": [{"key": "SOFTWARE\\Norvane", "values": {"Level": 3, "Name": "x"}}],
  "faults": {
    "scm_locked": true, "scm_lock_owner": "someone", "shutting_down": false,
    "unreachable_namespaces": ["root\\standardcimv2"], "sta_thread": true,
    "registry_denied": [{"key": "SYSTEM\\CurrentControlSet\\Services\\velond", "deny_read": true}],
    "missing_exports": ["Iphlpapi.dll!GetAdaptersAddresses", "Cfgmgr32.dll!*"]
  }
})json";

}  // namespace

std::vector<Bytes> MachineDescriptionSeeds() {
  return {BytesOf(sim::DemoMachineJson()), BytesOf(FuzzMachineJson()), BytesOf(kEveryFieldMachine)};
}

std::vector<Bytes> FirmwarePackageSeeds() {
  std::vector<Bytes> seeds;
  // Mode 0: as found; mode 1: checksums made right by the target.
  for (const Bytes& package : PackageSeeds()) {
    seeds.push_back(WithMode(0, package));
    seeds.push_back(WithMode(1, package));
  }
  sim::MachineDescription machine;
  std::string error;
  if (sim::ParseMachineDescription(FuzzMachineJson(), machine, error)) {
    for (const sim::AdapterDescription& adapter : machine.adapters) {
      Bytes file = sim::EncodeNvramFile(sim::BuildInitialNvram(adapter));
      // Mode 2: the whole file; mode 3: without its CRC, which the target appends.
      seeds.push_back(WithMode(2, file));
      file.resize(file.size() - 4);
      seeds.push_back(WithMode(3, file));
    }
  }
  return seeds;
}

}  // namespace skyfw::fuzz
