// machine.json: the demo machine reads; wrong fields are refused with the
// field's path and the reason; derived keys and defaults are filled in.
#include <gtest/gtest.h>

#include <ostream>

#include "machine_fixture.h"
#include "nvm/chip_registers.h"
#include "sim/machine/machine.h"

namespace skyfw::sim {
namespace {

using testing::Json;
using testing::SmallMachine;

TEST(MachineJson, DemoMachineReads) {
  MachineDescription machine;
  std::string error;
  ASSERT_TRUE(ParseMachineDescription(DemoMachineJson(), machine, error)) << error;
  ASSERT_EQ(machine.adapters.size(), 3u);
  EXPECT_EQ(machine.devices.size(), 9u);
  // nx0: two functions of one bus; nx1: function 0 of two buses, one option 1.
  const AdapterDescription& nx0 = machine.adapters[0];
  ASSERT_EQ(nx0.ports.size(), 2u);
  EXPECT_EQ(nx0.ports[0].location.function, 0u);
  EXPECT_EQ(nx0.ports[1].location.function, 1u);
  const AdapterDescription& nx1 = machine.adapters[1];
  ASSERT_EQ(nx1.ports.size(), 2u);
  EXPECT_NE(nx1.ports[0].location.bus, nx1.ports[1].location.bus);
  EXPECT_EQ(nx1.ports[1].location.function, 0u);
  // The chip registers give chip id 0x40100 for nx0.
  EXPECT_EQ(nx0.registers.at(kChipNumberRegister), 4u);
  EXPECT_EQ(nx0.registers.at(kChipRevisionRegister), 1u);
  EXPECT_EQ(nx0.registers.at(kChipMetalRegister), 0u);
  EXPECT_EQ(nx0.registers.at(kBaseAddressRegister), 0xF7A00000u);
  EXPECT_EQ(nx0.package_log.back(), "2024-06-02 16:40:10\tnvmupd\t21.6.2\tSKY-S2-25D\tok");
}

TEST(MachineJson, PortDefaultsAndDerivedKeys) {
  MachineDescription machine;
  std::string error;
  ASSERT_TRUE(ParseMachineDescription(SmallMachine().dump(), machine, error)) << error;
  const DeviceDescription& port = machine.devices[0];
  EXPECT_EQ(port.instance_id, "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&1D000200&0&0000");
  EXPECT_EQ(port.service, "velond");
  EXPECT_EQ(port.driver_key, "{4d36e972-e325-11ce-bfc1-08002be10318}\\0000");
  EXPECT_EQ(port.address, 0u);
  EXPECT_EQ(port.legacy_bus_type, platform::LEGACY_BUS_PCI);
  EXPECT_EQ(machine.adapters[0].ports[0].title, "Skyline Test Adapter");
  EXPECT_EQ(machine.adapters[0].ports[0].interface_id, testing::kPortInterface);

  auto find_key = [&](const std::string& path) -> const RegistryKeyDescription* {
    for (const auto& key : machine.registry) {
      if (key.path == path) return &key;
    }
    return nullptr;
  };
  const auto* class_key = find_key(
      "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}\\0000");
  ASSERT_NE(class_key, nullptr);
  EXPECT_EQ(class_key->values[0].first, "Characteristics");
  EXPECT_EQ(class_key->values[0].second.AsDword(), 132u);
  const auto* service = find_key("SYSTEM\\CurrentControlSet\\Services\\velond");
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->values[0].second.type, platform::REG_EXPAND_SZ);
  EXPECT_EQ(service->values[0].second.AsText(), "\\SystemRoot\\System32\\drivers\\velond.sys");
}

struct BadField {
  const char* name;
  std::function<void(Json&)> change;
  const char* message;
};

// Logs and test listings show the case by its name, not as raw bytes.
void PrintTo(const BadField& field, std::ostream* out) { *out << field.name; }

class MachineJsonRefusal : public ::testing::TestWithParam<BadField> {};

// The factory items may fill a 32-bit flash to its last byte and no further,
// the VPD item counting with its 1024 bytes. SmallMachine allocates 69632
// bytes besides: the package log (4096) and the update area (65536).
TEST(MachineJson, FactoryItemsMayFillA32BitFlashExactly) {
  const struct {
    const char* name;
    bool vpd;
    const char* length;
    bool accepted;
  } cases[] = {
      {"fills it", false, "0xFFFEEFFF", true},
      {"one byte over", false, "0xFFFEF000", false},
      {"fills it beside the VPD", true, "0xFFFEEBFF", true},
      {"one byte over beside the VPD", true, "0xFFFEEC00", false},
  };
  for (const auto& item : cases) {
    Json description = SmallMachine();
    if (item.vpd) description["adapters"][0]["vpd"] = {{"identifier", "Skyline"}};
    description["adapters"][0]["nvram_items"] = {{{"type", 7}, {"length", item.length}}};
    MachineDescription machine;
    std::string error;
    EXPECT_EQ(ParseMachineDescription(description.dump(), machine, error), item.accepted)
        << item.name;
    if (!item.accepted) {
      EXPECT_EQ(error,
                "adapters[0]: the factory NVRAM items need 4294967296 bytes, more than a 32-bit "
                "flash holds")
          << item.name;
    }
  }
}

TEST_P(MachineJsonRefusal, NamesTheFieldAndWhy) {
  Json description = SmallMachine();
  GetParam().change(description);
  MachineDescription machine;
  std::string error;
  EXPECT_FALSE(ParseMachineDescription(description.dump(), machine, error));
  EXPECT_EQ(error, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    WrongFields, MachineJsonRefusal,
    ::testing::Values(
        BadField{"UnknownField", [](Json& d) { d["devices"][0]["port"]["link_upp"] = true; },
                 "devices[0].port.link_upp: unknown field"},
        BadField{"BadMac",
                 [](Json& d) { d["devices"][0]["port"]["permanent_mac"] = "02:0A:3B:1C:2D"; },
                 "devices[0].port.permanent_mac: expected six bytes like \"02:0A:3B:1C:2D:4E\", "
                 "got \"02:0A:3B:1C:2D\""},
        // The flash size was 2 * 0xFFFFFFFF + 4 MiB cut to 32 bits: a 4 MiB flash
        // holding 8 GiB of items.
        BadField{"FactoryItemsBeyond32BitFlash",
                 [](Json& d) {
                   d["adapters"][0]["package_log_length"] = "0xFFFFFFFF";
                   d["adapters"][0]["update_area_length"] = "0xFFFFFFFF";
                 },
                 "adapters[0]: the factory NVRAM items need 8589934590 bytes, more than a 32-bit "
                 "flash holds"},
        BadField{"UnknownAdapter", [](Json& d) { d["devices"][0]["adapter"] = "a9"; },
                 "devices[0].adapter: no adapter with id \"a9\" in \"adapters\""},
        BadField{"PortWithoutAdapter",
                 [](Json& d) {
                   d["devices"][0].erase("adapter");
                   d["devices"][0]["instance_id"] = "PCI\\VEN_1\\1";
                 },
                 "devices[0].port: only a device with \"adapter\" has a port"},
        BadField{"MissingOption1", [](Json& d) { d["adapters"][0].erase("nvm_option1"); },
                 "adapters[0].nvm_option1: missing (required)"},
        BadField{"NumberTooLarge",
                 [](Json& d) { d["adapters"][0]["pci"]["vendor_id"] = "0x1D6A0"; },
                 "adapters[0].pci.vendor_id: out of range: \"0x1D6A0\" exceeds 65535"},
        BadField{"NotANumber", [](Json& d) { d["adapters"][0]["pci"]["revision"] = "two"; },
                 "adapters[0].pci.revision: expected an integer (decimal or 0x hexadecimal), got "
                 "\"two\""},
        BadField{
            "BadGuid",
            [](Json& d) { d["devices"][0]["class_values"]["NetCfgInstanceId"] = "{1111-2222}"; },
            "devices[0].class_values.NetCfgInstanceId: expected a braced GUID text, got "
            "\"{1111-2222}\""},
        BadField{"BadFaultKind",
                 [](Json& d) { d["adapters"][0]["faults"]["version_property"] = "short"; },
                 "adapters[0].faults.version_property: expected \"none\", \"missing\" or "
                 "\"too_long\", got \"short\""},
        BadField{"ZeroRefusal",
                 [](Json& d) { d["adapters"][0]["faults"]["install_refusal"]["result"] = 0; },
                 "adapters[0].faults.install_refusal.result: 0 means success; a refusal is 1 "
                 "to 255"},
        BadField{"DuplicateInstance",
                 [](Json& d) {
                   d["devices"][1]["instance_id"] =
                       "pci\\ven_1d6a&dev_0b10&subsys_00011d6a&rev_02\\4&1d000200&0&0000";
                 },
                 "devices[1].instance_id: \"pci\\ven_1d6a&dev_0b10&subsys_00011d6a&rev_02\\4&"
                 "1d000200&0&0000\" is used twice"},
        BadField{"LogTooLong", [](Json& d) { d["adapters"][0]["package_log_length"] = 10; },
                 "adapters[0].package_log: the records (22 bytes) exceed package_log_length (10)"},
        BadField{"OpenTryZero", [](Json& d) { d["devices"][0]["open_at_try"] = 0; },
                 "devices[0].open_at_try: tries count from 1"},
        BadField{"BadRegistryType",
                 [](Json& d) {
                   d["registry"] =
                       Json::array({{{"key", "SOFTWARE\\X"},
                                     {"values", {{"V", {{"type", "REG_WORD"}, {"value", 1}}}}}}});
                 },
                 "registry[0].values.V.type: expected REG_SZ, REG_EXPAND_SZ, REG_DWORD, "
                 "REG_QWORD, REG_BINARY or REG_MULTI_SZ, got \"REG_WORD\""},
        BadField{"BadIpv6", [](Json& d) { d["devices"][0]["ipv6"]["gateways"][0] = "fe80:::1"; },
                 "devices[0].ipv6.gateways[0]: not an IPv6 address: \"fe80:::1\""},
        BadField{"NotAnObject", [](Json& d) { d["adapters"][0] = 5; },
                 "adapters[0]: expected an object, got 5"},
        BadField{"NotAnArray", [](Json& d) { d["devices"] = 5; },
                 "devices: expected an array, got 5"},
        BadField{"TopLevelNotAnObject", [](Json& d) { d = Json::array({1}); },
                 "(top level): expected an object, got [1]"},
        BadField{"PortWithoutLocation", [](Json& d) { d["devices"][0].erase("location"); },
                 "devices[0].location: required for a port of an adapter"},
        BadField{"AdapterDeviceWithoutPort", [](Json& d) { d["devices"][0].erase("port"); },
                 "devices[0].port: required for a port of an adapter"},
        BadField{"RegistersNotAnObject",
                 [](Json& d) {
                   d["adapters"][0]["registers"] = Json::array({1, 2});
                 },
                 "adapters[0].registers: expected an object of offset: value, got [1,2]"},
        BadField{"BadGuidType", [](Json& d) { d["devices"][1]["bus_type_guid"] = "{zz}"; },
                 "devices[1].bus_type_guid: not a GUID like "
                 "\"{01234567-89AB-CDEF-0123-456789ABCDEF}\": \"{zz}\""}),
    [](const ::testing::TestParamInfo<BadField>& param) { return param.param.name; });

TEST(MachineJson, NotJsonIsRefused) {
  // The second text ended the process: 1e930 overflows a double, which the
  // JSON reader reports as out_of_range rather than as a parse_error.
  for (const char* text :
       {"{\"adapters\": [", "{\"adapters\": [{\"pci\": {\"vendor_id\": 1e930}}]}"}) {
    MachineDescription machine;
    std::string error;
    EXPECT_FALSE(ParseMachineDescription(text, machine, error)) << text;
    EXPECT_EQ(error.rfind("not valid JSON: ", 0), 0u) << error;
  }
}

}  // namespace
}  // namespace skyfw::sim
