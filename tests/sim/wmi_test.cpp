// WMI through the seam as WmiHelper uses it: COM apartments and security,
// namespaces, class objects with typed signatures, methods on an adapter's
// instance, instances by path; and the WMI faults.
#include <gtest/gtest.h>

#include <ostream>

#include "machine_fixture.h"
#include "nvm/chip_registers.h"
#include "sim/machine/machine_wmi.h"

namespace skyfw::sim {
namespace {

using namespace skyfw::platform;
using testing::MachineFixture;
using testing::SmallMachine;

// One WMI connection for a test, as WmiHelper opens it.
class Connection {
 public:
  Connection(Platform& machine, std::u16string_view name_space) : wmi_(machine.wmi()) {
    initialized_ = SUCCEEDED(wmi_.CoInitializeEx(COINIT_MULTITHREADED));
    if (!initialized_) return;
    security_ = wmi_.CoInitializeSecurity();
    std::unique_ptr<WmiLocator> locator;
    if (FAILED(wmi_.CoCreateLocator(locator))) return;
    connect_ = locator->ConnectServer(name_space, WBEM_FLAG_CONNECT_USE_MAX_WAIT, services_);
  }
  ~Connection() {
    services_.reset();
    if (initialized_) wmi_.CoUninitialize();
  }
  WmiServices* services() { return services_.get(); }
  HRESULT connect() const { return connect_; }
  HRESULT security() const { return security_; }

 private:
  Wmi& wmi_;
  bool initialized_ = false;
  HRESULT security_ = E_FAIL;
  HRESULT connect_ = E_FAIL;
  std::unique_ptr<WmiServices> services_;
};

const std::u16string kAccessPath = u"NRVN_NVRAMAccess.InstanceName=\"Skyline Test Adapter\"";

TEST(MachineWmi, SecurityIsSetOncePerProcessAndComNests) {
  MachineFixture fixture(SmallMachine());
  Connection first(fixture.machine(), u"root\\wmi");
  ASSERT_NE(first.services(), nullptr);
  EXPECT_EQ(first.security(), S_OK);
  Connection nested(fixture.machine(), u"ROOT\\WMI");
  ASSERT_NE(nested.services(), nullptr);
  EXPECT_EQ(nested.security(), RPC_E_TOO_LATE);
  EXPECT_EQ(fixture.machine().wmi().CoInitializeEx(COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
}

TEST(MachineWmi, StaThreadAndUnreachableNamespaceFaults) {
  auto sta = SmallMachine();
  sta["faults"]["sta_thread"] = true;
  MachineFixture sta_machine(sta);
  EXPECT_EQ(sta_machine.machine().wmi().CoInitializeEx(COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  std::unique_ptr<WmiLocator> locator;
  EXPECT_EQ(sta_machine.machine().wmi().CoCreateLocator(locator), CO_E_NOTINITIALIZED);

  auto unreachable = SmallMachine();
  unreachable["faults"]["unreachable_namespaces"] = {"root\\standardcimv2"};
  MachineFixture machine(unreachable);
  EXPECT_EQ(Connection(machine.machine(), u"root\\standardcimv2").connect(),
            WBEM_E_TRANSPORT_FAILURE);
  EXPECT_EQ(Connection(machine.machine(), u"root\\wmi").connect(), S_OK);
  EXPECT_EQ(Connection(machine.machine(), u"root\\nowhere").connect(), WBEM_E_INVALID_NAMESPACE);
}

TEST(MachineWmi, MethodRoundTripThroughTheDriver) {
  MachineFixture fixture(SmallMachine());
  Connection connection(fixture.machine(), u"root\\wmi");
  WmiServices& services = *connection.services();

  // A method without inputs.
  WmiObjectPtr info;
  ASSERT_EQ(services.ExecMethod(kAccessPath, u"GetDirectoryInfo", nullptr, &info), S_OK);
  Variant count, length;
  ASSERT_EQ(info->Get(u"num_dir_entries", count, nullptr), S_OK);
  ASSERT_EQ(info->Get(u"dir_entry_length", length, nullptr), S_OK);
  EXPECT_GE(count.Low32(), 2u);  // package log and update area at least
  EXPECT_GE(length.Low32(), 24u);

  // ReadReg32 of the chip number register: PutInt32-style input, any-type output.
  WmiObjectPtr hardware, in;
  ASSERT_EQ(services.GetObject(u"NRVN_HwDeviceAccess", hardware), S_OK);
  ASSERT_EQ(hardware->GetMethod(u"ReadReg32", in, nullptr), S_OK);
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(in->Put(u"offset", Variant::I4(static_cast<int32_t>(kChipNumberRegister))), S_OK);
  WmiObjectPtr out;
  ASSERT_EQ(services.ExecMethod(u"NRVN_HwDeviceAccess.InstanceName=\"Skyline Test Adapter\"",
                                u"ReadReg32", in, &out),
            S_OK);
  Variant value;
  ASSERT_EQ(out->Get(u"value", value, nullptr), S_OK);
  EXPECT_EQ(value.Low32(), 4u);

  // An instance the driver does not have.
  WmiObjectPtr none;
  EXPECT_TRUE(FAILED(services.ExecMethod(u"NRVN_NVRAMAccess.InstanceName=\"Nobody\"",
                                         u"GetDirectoryInfo", nullptr, &none)));
  EXPECT_EQ(services.ExecMethod(u"NRVN_NVRAMAccess.Name=\"Skyline Test Adapter\"",
                                u"GetDirectoryInfo", nullptr, &none),
            WBEM_E_INVALID_OBJECT_PATH);
}

TEST(MachineWmi, InstancesByPathIncludingHostAndNamespace) {
  MachineFixture fixture(SmallMachine());
  Connection wmi(fixture.machine(), u"root\\wmi");
  WmiObjectPtr package;
  ASSERT_EQ(wmi.services()->GetObject(
                u"\\\\TESTHOST\\root\\wmi:NRVN_NVRAMPackage.InstanceName=\"Skyline Test Adapter\"",
                package),
            S_OK);
  Variant version;
  ASSERT_EQ(package->Get(u"Version", version, nullptr), S_OK);
  EXPECT_EQ(version.vt, VT_BSTR);
  EXPECT_EQ(version.text, u"1.2.3");

  Connection cimv2(fixture.machine(), u"root\\standardcimv2");
  WmiObjectPtr sriov;
  ASSERT_EQ(cimv2.services()->GetObject(
                u"\\\\TESTHOST\\root\\standardcimv2:MSFT_NetAdapterSriovSettingData.InstanceID="
                u"\"{11111111-2222-3333-4444-555555555555}\"",
                sriov),
            S_OK);
  Variant enabled;
  ASSERT_EQ(sriov->Get(u"Enabled", enabled, nullptr), S_OK);
  EXPECT_EQ(enabled.vt, VT_BOOL);
  // Another computer is not reachable.
  WmiObjectPtr remote;
  EXPECT_EQ(wmi.services()->GetObject(
                u"\\\\OTHERHOST\\root\\wmi:NRVN_NVRAMPackage.InstanceName=\"Skyline Test Adapter\"",
                remote),
            WBEM_E_TRANSPORT_FAILURE);
  EXPECT_EQ(remote, nullptr);
}

TEST(MachineWmi, ObjectPathsUnescapeTheKey) {
  WmiObjectPath path;
  ASSERT_TRUE(
      ParseWmiObjectPath(u"\\\\H\\root\\wmi:C_1.InstanceName=\"a \\\"q\\\" \\\\ b\"", path));
  EXPECT_EQ(path.host, u"H");
  EXPECT_EQ(path.name_space, u"root\\wmi");
  EXPECT_EQ(path.class_name, u"C_1");
  EXPECT_EQ(path.key_name, u"InstanceName");
  EXPECT_EQ(path.key_value, u"a \"q\" \\ b");
  ASSERT_TRUE(ParseWmiObjectPath(u"NRVN_FWTime", path));
  EXPECT_TRUE(path.key_name.empty());
  // A colon inside the instance name is the name's: the path once split there.
  ASSERT_TRUE(ParseWmiObjectPath(u"root\\wmi:C.InstanceName=\"Port 1: a:b\"", path));
  EXPECT_EQ(path.name_space, u"root\\wmi");
  EXPECT_EQ(path.class_name, u"C");
  EXPECT_EQ(path.key_value, u"Port 1: a:b");
  ASSERT_TRUE(ParseWmiObjectPath(u"C.InstanceName=\"a:b\"", path));
  EXPECT_TRUE(path.name_space.empty());
  EXPECT_EQ(path.class_name, u"C");
  EXPECT_EQ(path.key_value, u"a:b");
  EXPECT_FALSE(ParseWmiObjectPath(u"C.InstanceName=\"unclosed", path));
  EXPECT_FALSE(ParseWmiObjectPath(u"C.InstanceName=\"a\"b\"", path));
  EXPECT_FALSE(ParseWmiObjectPath(u"", path));
}

// Put coerces a VARIANT to the parameter's declared CIM type or refuses it:
// the rule PutUInt16's fallback chain depends on.
struct Coercion {
  const char* name;
  Variant value;
  CimType type;
  bool accepted;
  uint64_t bits;
};

// Logs and test listings show the case by its name, not as raw bytes.
void PrintTo(const Coercion& coercion, std::ostream* out) { *out << coercion.name; }

class MachineWmiCoercion : public ::testing::TestWithParam<Coercion> {};

TEST_P(MachineWmiCoercion, FollowsTheDeclaredType) {
  Variant coerced;
  EXPECT_EQ(CoerceToCimType(GetParam().value, GetParam().type, coerced), GetParam().accepted);
  if (GetParam().accepted) {
    EXPECT_EQ(coerced.bits, GetParam().bits);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MachineWmiCoercion,
    ::testing::Values(Coercion{"Ui2IntoUint16", Variant::UI2(0xFFFF), CIM_UINT16, true, 0xFFFF},
                      Coercion{"Ui2IntoSint16", Variant::UI2(5), CIM_SINT16, false, 0},
                      Coercion{"I2IntoSint16", Variant::I2(-2), CIM_SINT16, true,
                               static_cast<uint64_t>(-2)},
                      Coercion{"I2IntoUint32", Variant::I2(5), CIM_UINT32, false, 0},
                      Coercion{"I4IntoUint32", Variant::I4(-1), CIM_UINT32, true, 0xFFFFFFFF},
                      Coercion{"I4IntoUint16InRange", Variant::I4(65535), CIM_UINT16, true, 65535},
                      Coercion{"I4IntoUint16TooBig", Variant::I4(65536), CIM_UINT16, false, 0},
                      Coercion{"I4IntoUint8", Variant::I4(300), CIM_UINT8, false, 0},
                      Coercion{"Ui1IntoUint8", Variant::UI1(200), CIM_UINT8, true, 200},
                      Coercion{"BoolIntoString", Variant::Bool(true), CIM_STRING, false, 0},
                      Coercion{"BytesIntoByteArray", Variant::ByteArray({1, 2}),
                               static_cast<CimType>(CIM_UINT8 | CIM_FLAG_ARRAY), true, 0},
                      Coercion{"I4IntoByteArray", Variant::I4(1),
                               static_cast<CimType>(CIM_UINT8 | CIM_FLAG_ARRAY), false, 0}),
    [](const ::testing::TestParamInfo<Coercion>& param) { return std::string(param.param.name); });

TEST(MachineWmi, SignedSixteenBitDeclarationRefusesUnsignedPut) {
  auto description = SmallMachine();
  description["adapters"][0]["faults"]["sixteen_bit_inputs"] = "sint16";
  MachineFixture fixture(description);
  Connection connection(fixture.machine(), u"root\\wmi");
  WmiObjectPtr access, in;
  ASSERT_EQ(connection.services()->GetObject(u"NRVN_NVRAMAccess", access), S_OK);
  ASSERT_EQ(access->GetMethod(u"GetNvmOpt", in, nullptr), S_OK);
  ASSERT_NE(in, nullptr);
  CimType type = CIM_EMPTY;
  Variant unset;
  ASSERT_EQ(in->Get(u"option_num", unset, &type), S_OK);
  EXPECT_EQ(type, CIM_SINT16);
  EXPECT_EQ(in->Put(u"option_num", Variant::UI2(1)), WBEM_E_TYPE_MISMATCH);
  EXPECT_EQ(in->Put(u"option_num", Variant::I2(1)), S_OK);
}

TEST(MachineWmi, FailedMethodLeavesItsDriverErrorForGetNvmLastError) {
  auto description = SmallMachine();
  description["adapters"][0]["faults"]["calls"] =
      testing::Json::array({{{"call", "ReadReg32"}, {"error", 41}, {"at", 2}}});
  MachineFixture fixture(description);
  Connection connection(fixture.machine(), u"root\\wmi");
  WmiServices& services = *connection.services();
  const std::u16string path = u"NRVN_HwDeviceAccess.InstanceName=\"Skyline Test Adapter\"";
  auto read_register = [&] {
    WmiObjectPtr hardware, in, out;
    EXPECT_EQ(services.GetObject(u"NRVN_HwDeviceAccess", hardware), S_OK);
    EXPECT_EQ(hardware->GetMethod(u"ReadReg32", in, nullptr), S_OK);
    EXPECT_EQ(in->Put(u"offset", Variant::I4(16)), S_OK);
    return services.ExecMethod(path, u"ReadReg32", in, &out);
  };
  EXPECT_EQ(read_register(), S_OK);
  EXPECT_TRUE(FAILED(read_register()));  // the second call is struck
  WmiObjectPtr last;
  ASSERT_EQ(services.ExecMethod(kAccessPath, u"GetNvmLastError", nullptr, &last), S_OK);
  Variant code;
  ASSERT_EQ(last->Get(u"ErrorCode", code, nullptr), S_OK);
  EXPECT_EQ(code.vt, VT_I4);  // what GetUInt16 accepts
  EXPECT_EQ(code.Low32() & 0xFFFF, 41u);
  EXPECT_EQ(read_register(), S_OK);
}

}  // namespace
}  // namespace skyfw::sim
