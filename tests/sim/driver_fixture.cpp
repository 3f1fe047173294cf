#include "driver_fixture.h"

#include "nvm/chip_registers.h"
#include "sim/driver/driver_wmi.h"
#include "support/temp_dir.h"

namespace skyfw::sim::testing {

MachineDescription TwoPortMachine() {
  MachineDescription machine;
  AdapterDescription adapter;
  adapter.id = "nx0";
  adapter.pci = {0x1D6A, 0x0B10, 0x0001, 0x1D6A, 2};
  adapter.nvm_option1 = 0x1122334455667788ull;
  adapter.registers = {{kBaseAddressRegister, 0xF7A0000C},
                       {kChipNumberRegister, 0x4},
                       {kChipRevisionRegister, 0x1},
                       {kChipMetalRegister, 0x0}};
  adapter.vpd = VpdDescription{
      "Norvane Skyline NX-2 Dual Port 25GbE",
      {{"PN", "NX2-25G"}, {"EC", "A01"}, {"SN", "NV1234567"}, {"MN", "1D6A"}, {"VA", "20.1.1"}},
      {{"V1", "rw"}},
      64};
  adapter.package_log = {"2025-01-01 00:00:00Z\tinstall\t19.5.0\t0000000000000003\tfactory",
                         "2025-06-01 00:00:00Z\tinstall\t20.1.1\t0000000000000007\tupdate"};
  for (int p = 0; p < 2; ++p) {
    PortDescription port;
    port.device_index = static_cast<size_t>(p);
    port.location = {3, 0, static_cast<uint32_t>(p)};
    port.title = "Skyline NX-2 #" + std::to_string(p + 1);
    port.interface_id = p == 0 ? "{11111111-2222-3333-4444-555555555555}"
                               : "{66666666-7777-8888-9999-AAAAAAAAAAAA}";
    port.permanent_mac = {0x02, 0x0A, 0x3B, 0x1C, 0x2D, static_cast<uint8_t>(0x4E + p)};
    port.current_mac = port.permanent_mac;
    adapter.ports.push_back(port);
  }
  adapter.ports[0].sriov = {true, true, 8, 2};
  adapter.ports[1].sriov.present = false;
  machine.adapters.push_back(adapter);
  return machine;
}

void DriverTest::SetUp() {
  directory_ = skyfw::testing::MakeTempDirectory("skyfw-driver-").string();
  ASSERT_FALSE(directory_.empty());
  description_ = TwoPortMachine();
}

void DriverTest::TearDown() {
  driver_ = {};
  skyfw::testing::RemoveTree(directory_);
}

void DriverTest::RemoveNvram() {
  driver_ = {};
  skyfw::testing::RemoveTree(directory_ / "nvram");
}

void DriverTest::StartDriver() {
  driver_ = {};
  MachineContext context;
  context.directory = directory_;
  context.description = &description_;
  driver_ = CreateDriver(context);
  ASSERT_NE(driver_.wmi, nullptr);
  ASSERT_NE(driver_.devices, nullptr);
}

platform::HRESULT DriverTest::Exec(std::u16string_view class_name, std::u16string_view method,
                                   const WmiValues& inputs, WmiValues& outputs,
                                   std::u16string_view title) {
  outputs.clear();
  return driver_.wmi->ExecMethod(kDriverNamespace, class_name, title, method, inputs, outputs);
}

int64_t DriverTest::LastError(std::u16string_view title) {
  WmiValues out;
  if (Exec(u"NRVN_NVRAMAccess", u"GetNvmLastError", {}, out, title) != platform::S_OK) return -1;
  return Output(out, u"ErrorCode").Low32();
}

bool HasOutput(const WmiValues& values, std::u16string_view name) {
  for (const WmiNamedValue& value : values) {
    if (value.name == name) return true;
  }
  return false;
}

const platform::Variant& Output(const WmiValues& values, std::u16string_view name) {
  for (const WmiNamedValue& value : values) {
    if (value.name == name) return value.value;
  }
  ADD_FAILURE() << "no output of that name";
  static const platform::Variant empty;
  return empty;
}

WmiNamedValue U32Input(std::u16string name, uint32_t value) {
  return {std::move(name), platform::Variant::I4(static_cast<int32_t>(value))};
}

WmiNamedValue BytesInput(std::u16string name, std::vector<uint8_t> bytes) {
  return {std::move(name), platform::Variant::ByteArray(std::move(bytes))};
}

}  // namespace skyfw::sim::testing
