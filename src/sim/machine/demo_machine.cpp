// The built-in demo machine: three physical Skyline adapters and the network
// devices the adapter filters must drop.
//
//   nx0  Skyline S2 dual-port 25GbE: ports at 03:00.0 and 03:00.1
//   nx1  Skyline S1 10GbE: seen at 05:00.0 and again at 06:00.0 (the same
//        physical adapter behind two buses; NVM option 1 tells them apart)
//   nx2  a second Skyline S1 10GbE at 08:00.0, on older factory firmware:
//        a backup of nx1 can be installed onto it
//   dropped: a virtual adapter, a hidden one, a third-party adapter, and a
//   Skyline under the older driver image vlnd60a.sys.
//
// Boot code and main firmware are real signed images (made at build time),
// named in the description by placeholders such as @S2_BOOT_4_2_7@.
#include <string>

#include "sim/demo_factory_images.h"
#include "sim/machine/machine.h"

namespace skyfw::sim {

namespace {

constexpr std::string_view kDemoTemplate = R"json({
  "computer_name": "SKYHOST01",
  "adapters": [
    {
      "id": "nx0",
      "pci": {"vendor_id": "0x1D6A", "device_id": "0x0B10", "subsystem_id": "0x0001",
              "subsystem_vendor_id": "0x1D6A", "revision": "0x02"},
      "nvm_option1": "0x1D6A0B1000A1C3E5",
      "chip": {"number": "0x4", "revision": "0x1", "metal": "0x0"},
      "bars": ["0xF7A00000", "0x00000000", "0xF7B00000", "0x00000000"],
      "vpd": {
        "identifier": "Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter",
        "read_only": {"PN": "SKY-S2-25D", "EC": "A03", "MN": "1D6A", "SN": "NV2419A00731",
                      "VA": "21.6.2"},
        "read_write": {"V1": "Skyline S2"},
        "read_write_free": 64
      },
      "package_log": [
        ["2023-11-14 09:12:44", "nvmupd", "20.4.1", "SKY-S2-25D", "ok"],
        ["2024-06-02 16:40:10", "nvmupd", "21.6.2", "SKY-S2-25D", "ok"]
      ],
      "package_log_length": 4096,
      "update_area_length": 131072,
      "nvram_items": [
        {"type": 3, "length": 16384, "hex": "@S2_BOOT_4_2_7@"},
        {"type": 6, "attr": 16, "length": 65536, "hex": "@S2_MAIN_21_6_2@"},
        {"type": 61, "length": 1024, "hex": "4E52564E0000000100000000"}
      ]
    },
    {
      "id": "nx1",
      "pci": {"vendor_id": "0x1D6A", "device_id": "0x0B04", "subsystem_id": "0x0002",
              "subsystem_vendor_id": "0x1D6A", "revision": "0x01"},
      "nvm_option1": "0x1D6A0B0400B2D4F6",
      "chip": {"number": "0x3", "revision": "0x2", "metal": "0x1"},
      "bars": ["0xF7800000", "0x00000000", "0xF7900000", "0x00000000"],
      "vpd": {
        "identifier": "Norvane Skyline S1 10GbE SFP+ Adapter",
        "read_only": {"PN": "SKY-S1-10S", "EC": "B01", "MN": "1D6A", "SN": "NV2307B01452",
                      "VA": "20.4.1"},
        "read_write": {"V1": "Skyline S1"}
      },
      "package_log": [
        ["2023-11-14 09:20:03", "nvmupd", "20.4.1", "SKY-S1-10S", "ok"]
      ],
      "nvram_items": [
        {"type": 3, "length": 16384, "hex": "@S1_BOOT_4_1_9@"},
        {"type": 6, "attr": 16, "length": 65536, "hex": "@S1_MAIN_20_4_1@"}
      ]
    },
    {
      "id": "nx2",
      "pci": {"vendor_id": "0x1D6A", "device_id": "0x0B04", "subsystem_id": "0x0002",
              "subsystem_vendor_id": "0x1D6A", "revision": "0x01"},
      "nvm_option1": "0x1D6A0B0400C3E507",
      "chip": {"number": "0x3", "revision": "0x2", "metal": "0x1"},
      "bars": ["0xF7400000", "0x00000000", "0xF7500000", "0x00000000"],
      "vpd": {
        "identifier": "Norvane Skyline S1 10GbE SFP+ Adapter",
        "read_only": {"PN": "SKY-S1-10S", "EC": "B02", "MN": "1D6A", "SN": "NV2402B00318",
                      "VA": "20.2.0"},
        "read_write": {"V1": "Skyline S1"}
      },
      "package_log": [
        ["2023-05-22 11:02:37", "nvmupd", "20.2.0", "SKY-S1-10S", "ok"]
      ],
      "nvram_items": [
        {"type": 3, "length": 16384, "hex": "@S1_BOOT_4_1_5@"},
        {"type": 6, "attr": 16, "length": 65536, "hex": "@S1_MAIN_20_2_0@"}
      ]
    }
  ],
  "devices": [
    {
      "adapter": "nx0",
      "location": {"bus": 3, "device": 0, "function": 0},
      "instance_id": "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&2B8E0A1&0&0018",
      "description": "Norvane Skyline S2 25GbE Adapter",
      "friendly_name": "Norvane Skyline S2 25GbE Adapter",
      "class_values": {
        "Characteristics": 132,
        "ComponentId": "pci\\ven_1d6a&dev_0b10&subsys_00011d6a",
        "NetCfgInstanceId": "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B10}",
        "DriverVersion": "2.14.3.0",
        "*FlowControl": "3",
        "*WakeOnMagicPacket": "1",
        "VlanID": "0"
      },
      "port": {
        "permanent_mac": "02:0A:3B:1C:2D:4E",
        "ndis_version": "6.82",
        "link_up": true,
        "link_speed_mbps": 25000,
        "max_frame_size": 1500,
        "pcie_link": {"speed": 3, "width": 8},
        "sriov": {"enabled": true, "num_vfs": 8, "num_allocated_vfs": 2}
      },
      "ipv4": {"dhcp": false, "address": "192.0.2.10", "mask": "255.255.255.0",
               "gateway": "192.0.2.1"},
      "ipv6": {
        "unicast": [{"address": "fe80::a:3bff:fe1c:2d4e", "prefix_origin": 4, "suffix_origin": 4,
                     "dad_state": 4}],
        "gateways": ["fe80::1"]
      },
      "tcpip": {"EnableDHCP": 0, "IPAddress": ["192.0.2.10"], "SubnetMask": ["255.255.255.0"],
                "DefaultGateway": ["192.0.2.1"]}
    },
    {
      "adapter": "nx0",
      "location": {"bus": 3, "device": 0, "function": 1},
      "instance_id": "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&2B8E0A1&0&0118",
      "description": "Norvane Skyline S2 25GbE Adapter",
      "friendly_name": "Norvane Skyline S2 25GbE Adapter #2",
      "class_values": {
        "Characteristics": 132,
        "ComponentId": "pci\\ven_1d6a&dev_0b10&subsys_00011d6a",
        "NetCfgInstanceId": "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B11}",
        "DriverVersion": "2.14.3.0",
        "*FlowControl": "3",
        "*WakeOnMagicPacket": "0",
        "VlanID": "120"
      },
      "port": {
        "permanent_mac": "02:0A:3B:1C:2D:4F",
        "ndis_version": "6.82",
        "link_up": false,
        "sriov": {"enabled": false}
      },
      "ipv4": {"dhcp": true, "address": "198.51.100.23", "mask": "255.255.255.0",
               "gateway": "198.51.100.1"},
      "tcpip": {"EnableDHCP": 1, "DhcpIPAddress": "198.51.100.23",
                "DhcpSubnetMask": "255.255.255.0", "DhcpDefaultGateway": ["198.51.100.1"]}
    },
    {
      "description": "Microsoft Hyper-V Network Adapter",
      "instance_id": "VMBUS\\{F8615163-DF3E-46C5-913F-F2D2F965ED0E}\\{3E1D8A90-6A41-4C7C-8F0B-1B5E9C2D7A44}",
      "service": "netvsc",
      "image_path": "\\SystemRoot\\System32\\drivers\\netvsc.sys",
      "manufacturer": "Microsoft",
      "class_values": {
        "Characteristics": 1,
        "ComponentId": "vmbus\\{f8615163-df3e-46c5-913f-f2d2f965ed0e}",
        "NetCfgInstanceId": "{A3F0C8D2-1B4E-4F6A-8C9D-2E7B5A1F3C60}"
      }
    },
    {
      "adapter": "nx1",
      "location": {"bus": 5, "device": 0, "function": 0},
      "instance_id": "PCI\\VEN_1D6A&DEV_0B04&SUBSYS_00021D6A&REV_01\\6&19F3C2D&0&0028",
      "description": "Norvane Skyline S1 10GbE Adapter",
      "class_values": {
        "Characteristics": 132,
        "ComponentId": "pci\\ven_1d6a&dev_0b04&subsys_00021d6a",
        "NetCfgInstanceId": "{9B4E7D21-3C5A-4E8F-A1B2-7C6D5E4F3A20}",
        "DriverVersion": "2.14.3.0",
        "*FlowControl": "0",
        "*WakeOnMagicPacket": "1"
      },
      "port": {
        "permanent_mac": "02:0A:3B:55:60:10",
        "ndis_version": "6.82",
        "link_speed_mbps": 10000,
        "pcie_link": {"speed": 3, "width": 4},
        "sriov": false
      },
      "ipv4": {"dhcp": false},
      "tcpip": {"EnableDHCP": 0, "IPAddress": ["203.0.113.40"], "SubnetMask": ["255.255.255.0"],
                "DefaultGateway": ["203.0.113.1"]}
    },
    {
      "description": "Microsoft Kernel Debug Network Adapter",
      "instance_id": "ROOT\\KDNIC\\0000",
      "service": "kdnic",
      "image_path": "\\SystemRoot\\System32\\drivers\\kdnic.sys",
      "manufacturer": "Microsoft",
      "class_values": {
        "Characteristics": 140,
        "ComponentId": "root\\kdnic",
        "NetCfgInstanceId": "{1E5B3C70-9A2D-4F1B-B8C4-6D0E2F7A9B31}"
      }
    },
    {
      "adapter": "nx1",
      "location": {"bus": 6, "device": 0, "function": 0},
      "instance_id": "PCI\\VEN_1D6A&DEV_0B04&SUBSYS_00021D6A&REV_01\\6&2A04D3E&0&0030",
      "description": "Norvane Skyline S1 10GbE Adapter",
      "friendly_name": "Norvane Skyline S1 10GbE Adapter #2",
      "class_values": {
        "Characteristics": 132,
        "ComponentId": "pci\\ven_1d6a&dev_0b04&subsys_00021d6a",
        "NetCfgInstanceId": "{9B4E7D21-3C5A-4E8F-A1B2-7C6D5E4F3A21}",
        "DriverVersion": "2.14.3.0"
      },
      "port": {
        "permanent_mac": "02:0A:3B:55:60:10",
        "ndis_version": "6.82",
        "link_speed_mbps": 10000,
        "pcie_link": {"speed": 3, "width": 4},
        "sriov": false
      }
    },
    {
      "adapter": "nx2",
      "location": {"bus": 8, "device": 0, "function": 0},
      "instance_id": "PCI\\VEN_1D6A&DEV_0B04&SUBSYS_00021D6A&REV_01\\6&0D27A41&0&0040",
      "description": "Norvane Skyline S1 10GbE Adapter",
      "friendly_name": "Norvane Skyline S1 10GbE Adapter #3",
      "class_values": {
        "Characteristics": 132,
        "ComponentId": "pci\\ven_1d6a&dev_0b04&subsys_00021d6a",
        "NetCfgInstanceId": "{2D7C9E14-6B3A-4F85-B0C1-8E2F4A6D1C30}",
        "DriverVersion": "2.14.3.0",
        "*FlowControl": "3",
        "*WakeOnMagicPacket": "0"
      },
      "port": {
        "permanent_mac": "02:0A:3B:71:8C:20",
        "ndis_version": "6.82",
        "link_up": true,
        "link_speed_mbps": 10000,
        "pcie_link": {"speed": 3, "width": 4},
        "sriov": false
      },
      "ipv4": {"dhcp": true, "address": "198.51.100.61", "mask": "255.255.255.0",
               "gateway": "198.51.100.1"},
      "tcpip": {"EnableDHCP": 1, "DhcpIPAddress": "198.51.100.61",
                "DhcpSubnetMask": "255.255.255.0", "DhcpDefaultGateway": ["198.51.100.1"]}
    },
    {
      "description": "Acme NetXtreme Gigabit Ethernet",
      "instance_id": "PCI\\VEN_14E4&DEV_165F&SUBSYS_1F5B1028&REV_00\\00001CFFFF0A1B2C00",
      "location": {"bus": 2, "device": 0, "function": 0},
      "service": "acmend",
      "image_path": "\\SystemRoot\\System32\\drivers\\acmend64.sys",
      "manufacturer": "Acme",
      "class_values": {
        "Characteristics": 132,
        "ComponentId": "pci\\ven_14e4&dev_165f",
        "NetCfgInstanceId": "{C7D2E4F1-5A3B-4C6D-9E8F-0A1B2C3D4E50}",
        "DriverVersion": "17.2.0.1"
      },
      "ipv4": {"dhcp": true, "address": "192.0.2.77", "mask": "255.255.255.0",
               "gateway": "192.0.2.1"}
    },
    {
      "description": "Norvane Skyline S1 10GbE Adapter (legacy driver)",
      "instance_id": "PCI\\VEN_1D6A&DEV_0B04&SUBSYS_00011D6A&REV_00\\6&3C15E4F&0&0038",
      "location": {"bus": 7, "device": 0, "function": 0},
      "service": "vlnd60a",
      "image_path": "\\SystemRoot\\System32\\drivers\\vlnd60a.sys",
      "manufacturer": "Norvane",
      "class_values": {
        "Characteristics": 132,
        "ComponentId": "pci\\ven_1d6a&dev_0b04&subsys_00011d6a",
        "NetCfgInstanceId": "{5F8A1C3E-7B2D-4E9F-8A6B-3C1D0E2F4A70}",
        "DriverVersion": "1.9.12.0"
      }
    }
  ]
}
)json";

}  // namespace

std::string_view DemoMachineJson() {
  static const std::string demo = [] {
    std::string text(kDemoTemplate);
    for (const FactoryImageHex& image : kDemoFactoryImages) {
      size_t at = text.find(image.placeholder);
      if (at != std::string::npos) text.replace(at, image.placeholder.size(), image.hex);
    }
    return text;
  }();
  return demo;
}

}  // namespace skyfw::sim
