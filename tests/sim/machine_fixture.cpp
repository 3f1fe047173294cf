#include "machine_fixture.h"

namespace skyfw::sim::testing {

Json SmallMachine() {
  return Json::parse(R"json({
    "computer_name": "TESTHOST",
    "adapters": [{
      "id": "a0",
      "pci": {"vendor_id": "0x1D6A", "device_id": "0x0B10", "subsystem_id": 1,
              "subsystem_vendor_id": "0x1D6A", "revision": 2},
      "nvm_option1": "0x0102030405060708",
      "chip": {"number": 4, "revision": 1, "metal": 0},
      "package_log": [["2024-01-01", "tool", "1.2.3"]]
    }],
    "devices": [
      {
        "adapter": "a0",
        "location": {"bus": 2, "device": 0, "function": 0},
        "description": "Skyline Test Adapter",
        "class_values": {
          "Characteristics": 132,
          "ComponentId": "pci\\ven_1d6a&dev_0b10",
          "NetCfgInstanceId": "{11111111-2222-3333-4444-555555555555}",
          "DriverVersion": "2.0.0.0",
          "*FlowControl": "3"
        },
        "port": {"permanent_mac": "02:0A:3B:1C:2D:4E"},
        "ipv4": {"dhcp": false, "address": "192.0.2.5", "mask": "255.255.255.0",
                 "gateway": "192.0.2.1"},
        "ipv6": {"unicast": [{"address": "fe80::1", "prefix_origin": 4}],
                 "gateways": ["fe80::ff"]}
      },
      {
        "description": "Virtual Switch Adapter",
        "instance_id": "ROOT\\VMS_MP\\0000",
        "class_values": {"Characteristics": 1,
                         "NetCfgInstanceId": "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}"}
      }
    ]
  })json");
}

}  // namespace skyfw::sim::testing
