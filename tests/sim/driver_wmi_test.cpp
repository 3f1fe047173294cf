#include "sim/driver/driver_wmi.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "driver_fixture.h"
#include "nvm/chip_registers.h"
#include "support/package_builder.h"

namespace skyfw::sim {
namespace {

using platform::S_OK;
using platform::Variant;
using platform::WBEM_E_FAILED;
using testing::BytesInput;
using testing::HasOutput;
using testing::Output;
using testing::U32Input;

struct Entry {
  uint16_t type, ordinal, ext, attr;
  uint32_t item_length, data_length;
};

class DriverWmiTest : public testing::DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    StartDriver();
  }

  std::vector<Entry> Directory(std::u16string_view title = u"Skyline NX-2 #1") {
    WmiValues out;
    EXPECT_EQ(Exec(u"NRVN_NVRAMAccess", u"GetDirectoryInfo", {}, out, title), S_OK);
    uint32_t count = Output(out, u"num_dir_entries").Low32();
    uint32_t entry_length = Output(out, u"dir_entry_length").Low32();
    EXPECT_EQ(entry_length, 24u);
    EXPECT_EQ(
        Exec(u"NRVN_NVRAMAccess", u"GetDirectoryEntries", {U32Input(u"length", 4096)}, out, title),
        S_OK);
    const std::vector<uint8_t>& raw = Output(out, u"buffer").bytes;
    EXPECT_EQ(raw.size(), count * 24u);
    std::vector<Entry> entries;
    ByteReader reader(raw);
    for (size_t at = 0; at + 24 <= raw.size(); at += 24) {
      Entry e{};
      reader.U16At(at, e.type);
      reader.U16At(at + 2, e.ordinal);
      reader.U16At(at + 4, e.ext);
      reader.U16At(at + 6, e.attr);
      reader.U32At(at + 12, e.item_length);
      reader.U32At(at + 16, e.data_length);
      entries.push_back(e);
    }
    return entries;
  }

  uint32_t IndexOf(uint16_t type) {
    std::vector<Entry> entries = Directory();
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].type == type) return static_cast<uint32_t>(i);
    }
    ADD_FAILURE() << "no item of type " << type;
    return 0;
  }

  std::vector<uint8_t> ReadBytes(uint32_t index, uint32_t offset, uint32_t length) {
    WmiValues out;
    EXPECT_EQ(Exec(u"NRVN_NVRAMAccess", u"Read",
                   {U32Input(u"dir_index", index), U32Input(u"length", length),
                    U32Input(u"offset", offset)},
                   out),
              S_OK);
    return Output(out, u"buffer").bytes;
  }

  platform::HRESULT Modify(uint32_t index, uint32_t offset, std::vector<uint8_t> bytes) {
    WmiValues out;
    uint32_t length = static_cast<uint32_t>(bytes.size());
    return Exec(u"NRVN_NVRAMAccess", u"Modify",
                {U32Input(u"dir_index", index), U32Input(u"offset", offset),
                 U32Input(u"length", length), BytesInput(u"buffer", std::move(bytes))},
                out);
  }

  std::optional<std::u16string> VersionProperty() {
    WmiValues properties;
    EXPECT_EQ(driver_.wmi->GetInstance(kDriverNamespace, u"NRVN_NVRAMPackage", u"Skyline NX-2 #1",
                                       properties),
              S_OK);
    if (!HasOutput(properties, u"Version")) return std::nullopt;
    const Variant& version = Output(properties, u"Version");
    if (version.vt != platform::VT_BSTR) return u"<not a text>";
    return version.text;
  }
};

TEST_F(DriverWmiTest, FactoryNvramHoldsVpdPackageLogAndUpdateArea) {
  std::vector<Entry> entries = Directory();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].type, 5);
  EXPECT_EQ(entries[1].type, 1);
  EXPECT_EQ(entries[2].type, 2);
  EXPECT_EQ(entries[2].item_length, 65536u);
  EXPECT_EQ(entries[2].data_length, 0u);

  // The VPD proper behind its 4-byte prefix sums to zero through RV's checksum.
  std::vector<uint8_t> vpd = ReadBytes(0, 0, entries[0].data_length);
  ASSERT_GT(vpd.size(), 8u);
  EXPECT_EQ(vpd[4], 0x82);
  EXPECT_EQ(vpd.back(), 0x78);
  std::string text(vpd.begin(), vpd.end());
  size_t rv = text.find("RV");
  ASSERT_NE(rv, std::string::npos);
  uint8_t sum = 0;
  for (size_t i = 4; i <= rv + 3; ++i) sum = static_cast<uint8_t>(sum + vpd[i]);
  EXPECT_EQ(sum, 0);
  EXPECT_NE(text.find("SN\x09NV1234567"), std::string::npos);
  EXPECT_EQ(VersionProperty(), u"20.1.1");
}

TEST_F(DriverWmiTest, CreateModifyReadRoundTripSharedByBothPorts) {
  WmiValues out;
  ASSERT_EQ(Exec(u"NRVN_NVRAMAccess", u"Create",
                 {U32Input(u"dir_type", 0x40), U32Input(u"dir_ordinal", 1), U32Input(u"dir_ext", 2),
                  U32Input(u"dir_attr", 0), U32Input(u"dir_item_length", 256)},
                 out),
            S_OK);
  uint32_t index = Output(out, u"dir_index").Low32();
  EXPECT_EQ(index, 3u);
  EXPECT_EQ(Output(out, u"dir_index").vt, platform::VT_I4);
  ASSERT_EQ(Modify(index, 0, testing::Bytes("hello")), S_OK);
  ASSERT_EQ(Modify(index, 5, testing::Bytes(", world")), S_OK);
  EXPECT_EQ(ReadBytes(index, 0, 12), testing::Bytes("hello, world"));
  EXPECT_EQ(ReadBytes(index, 7, 5), testing::Bytes("world"));

  // The second port is the same physical adapter: one NVRAM.
  std::vector<Entry> other = Directory(u"skyline nx-2 #2");
  ASSERT_EQ(other.size(), 4u);
  EXPECT_EQ(other[3].data_length, 12u);

  // A restarted driver (another process opening the machine) keeps it.
  StartDriver();
  EXPECT_EQ(ReadBytes(index, 0, 12), testing::Bytes("hello, world"));
}

TEST_F(DriverWmiTest, FailedMethodsLeaveTheirErrorForGetNvmLastError) {
  EXPECT_EQ(Modify(1, 4090, std::vector<uint8_t>(10, 0)), WBEM_E_FAILED);
  EXPECT_EQ(LastError(), kDriverInsufficientSpace);
  WmiValues out;
  EXPECT_EQ(Exec(u"NRVN_NVRAMAccess", u"Read",
                 {U32Input(u"dir_index", 42), U32Input(u"length", 1), U32Input(u"offset", 0)}, out),
            WBEM_E_FAILED);
  EXPECT_TRUE(out.empty());  // a failed method delivers no outputs
  EXPECT_EQ(LastError(), kDriverInvalidIndex);
  // A success does not clear it.
  ReadBytes(0, 0, 4);
  EXPECT_EQ(LastError(), kDriverInvalidIndex);
  // Nor does asking for it.
  EXPECT_EQ(LastError(), kDriverInvalidIndex);
}

TEST_F(DriverWmiTest, InstallsAHandBuiltPackageAndReportsItsVersion) {
  testing::TestPackage package;
  package.version = "21.6.2";
  package.description = "Skyline NX-2 NVM";
  std::vector<uint8_t> image(100000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
  package.items = {{0, 0x20, 0, 0, 0, 131072, image},
                   {0, 5, 0, 0, 0, 1024, testing::Bytes("new vpd")}};
  std::vector<uint8_t> bytes = testing::BuildPackage(package);
  ASSERT_GT(bytes.size(), 65536u);

  // The update area is too small: it is created anew at a larger size.
  WmiValues out;
  ASSERT_EQ(Exec(u"NRVN_NVRAMAccess", u"Create",
                 {U32Input(u"dir_type", 2), U32Input(u"dir_ordinal", 0), U32Input(u"dir_ext", 0),
                  U32Input(u"dir_attr", 1), U32Input(u"dir_item_length", 106496)},
                 out),
            S_OK);
  uint32_t area = Output(out, u"dir_index").Low32();
  EXPECT_EQ(area, 2u);
  for (size_t at = 0; at < bytes.size(); at += 65536) {
    size_t length = std::min<size_t>(65536, bytes.size() - at);
    ASSERT_EQ(Modify(area, static_cast<uint32_t>(at),
                     std::vector<uint8_t>(bytes.begin() + static_cast<long>(at),
                                          bytes.begin() + static_cast<long>(at + length))),
              S_OK);
  }
  ASSERT_EQ(Exec(u"NRVN_FWTime", u"SetFwTime",
                 {U32Input(u"time_zone", 0),
                  U32Input(u"year", 2026),
                  U32Input(u"month", 12),
                  U32Input(u"day", 10),
                  U32Input(u"hour", 4),
                  U32Input(u"minute", 5),
                  U32Input(u"second", 6),
                  {u"millisecond", Variant::UI1(0)}},
                 out),
            S_OK);
  ASSERT_EQ(Exec(u"NRVN_NVRAMAccess", u"InstallUpdate", {U32Input(u"install_type", 0)}, out), S_OK);
  EXPECT_EQ(Output(out, u"result").vt, platform::VT_UI1);
  EXPECT_EQ(Output(out, u"result").Low32(), 0u);
  EXPECT_EQ(Output(out, u"problem_item").Low32(), 0xFFu);
  EXPECT_EQ(Output(out, u"reset_required").Low32(), 1u);
  EXPECT_EQ(Output(out, u"installed_items_0").Low32(), 0x3u);
  EXPECT_EQ(Output(out, u"installed_items_1").Low32(), 0u);

  EXPECT_EQ(VersionProperty(), u"21.6.2");
  std::vector<Entry> entries = Directory();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[3].type, 0x20);
  EXPECT_EQ(ReadBytes(3, 0, 100000), image);
  EXPECT_EQ(ReadBytes(0, 0, 7), testing::Bytes("new vpd"));
  std::vector<uint8_t> log = ReadBytes(1, 0, entries[1].data_length);
  std::string text(log.begin(), log.end());
  EXPECT_NE(
      text.find("2026-12-10 04:05:06Z\tinstall\t21.6.2\t0000000000000003\tSkyline NX-2 NVM\n"),
      std::string::npos)
      << text;
}

TEST_F(DriverWmiTest, OptionsRegistersAndTheirRefusals) {
  WmiValues out;
  WmiValues option = {U32Input(u"length", 64),    U32Input(u"option_num", 1),
                      U32Input(u"dimensions", 1), U32Input(u"index_0", 0),
                      U32Input(u"index_1", 0),    U32Input(u"index_2", 0),
                      U32Input(u"index_3", 0)};
  ASSERT_EQ(Exec(u"NRVN_NVRAMAccess", u"GetNvmOpt", option, out), S_OK);
  EXPECT_EQ(Output(out, u"out_buff").bytes,
            (std::vector<uint8_t>{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
  option[1] = U32Input(u"option_num", 9);
  EXPECT_EQ(Exec(u"NRVN_NVRAMAccess", u"GetNvmOpt", option, out), WBEM_E_FAILED);
  EXPECT_EQ(LastError(), kDriverOptionNotSupported);

  ASSERT_EQ(
      Exec(u"NRVN_HwDeviceAccess", u"ReadReg32", {U32Input(u"offset", kChipNumberRegister)}, out),
      S_OK);
  EXPECT_EQ(Output(out, u"value").Low32(), 4u);
  // Base address 1 is not described: it reads 0.
  ASSERT_EQ(Exec(u"NRVN_HwDeviceAccess", u"ReadReg32",
                 {U32Input(u"offset", kBaseAddressRegister + 4)}, out),
            S_OK);
  EXPECT_EQ(Output(out, u"value").Low32(), 0u);
  // Not on a 4-byte boundary.
  EXPECT_EQ(Exec(u"NRVN_HwDeviceAccess", u"ReadReg32",
                 {U32Input(u"offset", kBaseAddressRegister + 2)}, out),
            WBEM_E_FAILED);
  EXPECT_EQ(LastError(), kDriverInvalidOffset);
  EXPECT_EQ(Exec(u"NRVN_FWTime", u"SetFwTime",
                 {U32Input(u"time_zone", 0), U32Input(u"year", 2026), U32Input(u"month", 13),
                  U32Input(u"day", 1), U32Input(u"hour", 0), U32Input(u"minute", 0),
                  U32Input(u"second", 0), U32Input(u"millisecond", 0)},
                 out),
            WBEM_E_FAILED);
  EXPECT_EQ(LastError(), kDriverInvalidParameterValue);
}

TEST_F(DriverWmiTest, UnknownInstancesMethodsAndMissingInputsAreWmiErrors) {
  WmiValues out;
  EXPECT_EQ(Exec(u"NRVN_NVRAMAccess", u"GetDirectoryInfo", {}, out, u"Other NIC"),
            platform::WBEM_E_NOT_FOUND);
  EXPECT_EQ(Exec(u"NRVN_NVRAMAccess", u"Erase", {}, out), platform::WBEM_E_INVALID_METHOD);
  EXPECT_EQ(Exec(u"NRVN_NVRAMAccess", u"Read", {U32Input(u"dir_index", 0)}, out),
            platform::WBEM_E_INVALID_METHOD_PARAMETERS);
  EXPECT_EQ(Exec(u"NRVN_Unknown", u"Read", {}, out), platform::WBEM_E_INVALID_CLASS);
  WmiClassDefinition definition;
  EXPECT_FALSE(driver_.wmi->FindClass(u"root\\cimv2", u"NRVN_NVRAMAccess", definition));
  ASSERT_TRUE(driver_.wmi->FindClass(u"ROOT\\WMI", u"nrvn_nvramaccess", definition));
  EXPECT_EQ(definition.key_property, u"InstanceName");
}

TEST_F(DriverWmiTest, SriovSettingsPerPortByInterfaceId) {
  WmiValues properties;
  ASSERT_EQ(driver_.wmi->GetInstance(kStandardCimv2Namespace, u"MSFT_NetAdapterSriovSettingData",
                                     u"{11111111-2222-3333-4444-555555555555}", properties),
            S_OK);
  EXPECT_EQ(Output(properties, u"Enabled").vt, platform::VT_BOOL);
  EXPECT_EQ(Output(properties, u"Enabled").AsSigned(), -1);
  EXPECT_EQ(Output(properties, u"NumVFs").Low32(), 8u);
  EXPECT_EQ(Output(properties, u"NumAllocatedVFs").Low32(), 2u);
  properties.clear();
  EXPECT_EQ(driver_.wmi->GetInstance(kStandardCimv2Namespace, u"MSFT_NetAdapterSriovSettingData",
                                     u"{66666666-7777-8888-9999-AAAAAAAAAAAA}", properties),
            platform::WBEM_E_NOT_FOUND);
}

// ---- faults ------------------------------------------------------------------

class DriverFaultTest : public testing::DriverTest {
 protected:
  AdapterDescription& adapter() { return description_.adapters[0]; }
  platform::HRESULT DirectoryInfo() {
    WmiValues out;
    return Exec(u"NRVN_NVRAMAccess", u"GetDirectoryInfo", {}, out);
  }
};

TEST_F(DriverFaultTest, MethodFailsAlwaysOrAtItsNthCall) {
  struct Case {
    MethodFault fault;
    std::vector<bool> fails;  // per call
  };
  const Case cases[] = {
      {{"GetDirectoryInfo", 80, 0}, {true, true, true}},
      {{"GetDirectoryInfo", 41, 2}, {false, true, false}},
      {{"GetDirectoryInfo", 0, 1}, {true, false}},  // fails, yet reports error 0
      {{"Read", 80, 0}, {false, false}},            // another method: untouched
  };
  for (const Case& c : cases) {
    RemoveNvram();
    adapter().faults.calls = {c.fault};
    StartDriver();
    for (size_t call = 0; call < c.fails.size(); ++call) {
      platform::HRESULT result = DirectoryInfo();
      EXPECT_EQ(result != S_OK, c.fails[call]) << c.fault.call << " call " << call + 1;
      if (c.fails[call]) {
        EXPECT_EQ(LastError(), c.fault.error);
      }
    }
  }
}

TEST_F(DriverFaultTest, GetNvmLastErrorItselfCanFail) {
  adapter().faults.calls = {{"GetNvmLastError", 5, 0}};
  StartDriver();
  EXPECT_EQ(LastError(), -1);
}

// The child side of these tests is a fork of the test program; Windows has
// no fork (see "Windows lane" in the README).
#if !defined(_WIN32)
// The n-th call is counted on the adapter, not per process.
TEST_F(DriverFaultTest, CallCountsAreSharedBetweenProcesses) {
  adapter().faults.calls = {{"GetDirectoryInfo", 80, 3}};
  StartDriver();
  ASSERT_EQ(DirectoryInfo(), S_OK);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    StartDriver();
    ::_exit(DirectoryInfo() == S_OK ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(DirectoryInfo(), WBEM_E_FAILED);
  EXPECT_EQ(DirectoryInfo(), S_OK);
}
#endif  // !_WIN32

TEST_F(DriverFaultTest, FirmwareRefusesAnInstall) {
  adapter().faults.install_refusal = InstallRefusalFault{0xEB, 2, 0};
  StartDriver();
  WmiValues out;
  ASSERT_EQ(Exec(u"NRVN_NVRAMAccess", u"InstallUpdate", {U32Input(u"install_type", 0)}, out), S_OK);
  EXPECT_EQ(Output(out, u"result").Low32(), 0xEBu);
  EXPECT_EQ(Output(out, u"problem_item").Low32(), 2u);
  EXPECT_EQ(Output(out, u"installed_items_0").Low32(), 0u);
}

TEST_F(DriverFaultTest, VersionPropertyMissingTooLongOrAbsent) {
  auto version = [&]() -> std::optional<Variant> {
    WmiValues properties;
    EXPECT_EQ(driver_.wmi->GetInstance(kDriverNamespace, u"NRVN_NVRAMPackage", u"Skyline NX-2 #1",
                                       properties),
              S_OK);
    for (const WmiNamedValue& value : properties) {
      if (value.name == u"Version") return value.value;
    }
    return std::nullopt;
  };
  adapter().faults.version_property = VersionPropertyFault::kMissing;
  StartDriver();
  EXPECT_FALSE(version());

  RemoveNvram();
  adapter().faults.version_property = VersionPropertyFault::kTooLong;
  StartDriver();
  ASSERT_TRUE(version());
  EXPECT_EQ(version()->text.size(), 512u);
  EXPECT_EQ(version()->text.substr(0, 7), u"20.1.1 ");

  RemoveNvram();
  adapter().faults.version_property = VersionPropertyFault::kNone;
  adapter().package_log.clear();
  StartDriver();
  ASSERT_TRUE(version());
  EXPECT_EQ(version()->vt, platform::VT_NULL);
}

TEST_F(DriverFaultTest, SixteenBitInputsDeclaredSignedOrThirtyTwoBit) {
  const std::pair<SixteenBitInputs, platform::CimType> cases[] = {
      {SixteenBitInputs::kUint16, platform::CIM_UINT16},
      {SixteenBitInputs::kSint16, platform::CIM_SINT16},
      {SixteenBitInputs::kUint32, platform::CIM_UINT32},
      {SixteenBitInputs::kSint32, platform::CIM_SINT32},
  };
  for (const auto& [declared, type] : cases) {
    adapter().faults.sixteen_bit_inputs = declared;
    StartDriver();
    WmiClassDefinition access, clock;
    ASSERT_TRUE(driver_.wmi->FindClass(kDriverNamespace, u"NRVN_NVRAMAccess", access));
    ASSERT_TRUE(driver_.wmi->FindClass(kDriverNamespace, u"NRVN_FWTime", clock));
    for (const WmiMethodDefinition& method : access.methods) {
      if (method.name != u"GetNvmOpt") continue;
      ASSERT_EQ(method.inputs.size(), 7u);
      for (const WmiParameter& input : method.inputs) EXPECT_EQ(input.type, type);
    }
    EXPECT_EQ(clock.methods[0].inputs[0].type, type);  // time_zone
    EXPECT_EQ(clock.methods[0].inputs[1].type, type);  // year
    EXPECT_EQ(clock.methods[0].inputs[2].type, platform::CIM_UINT8);
  }
}

}  // namespace
}  // namespace skyfw::sim
