// The driver inside a whole simulated machine, reached only through the
// platform seam, the way the NVM layer reaches it: COM and WMI with typed
// Puts (and the 16-bit fallbacks), object paths, instances, and the direct
// firmware-command interface found through the configuration manager.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <stdlib.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "sim/driver/firmware_requests.h"
#include "sim/driver/wide_text.h"
#include "sim/machine/driver_interface.h"
#include "sim/machine/machine.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace skyfw::sim {
namespace {

using platform::HRESULT;
using platform::S_OK;
using platform::Variant;
using platform::WmiObjectPtr;

constexpr char16_t kTitle[] = u"Norvane Skyline S2 25GbE Adapter";

struct Input {
  enum Kind { k32, k16, k8, kBytes };
  std::u16string name;
  Kind kind = k32;
  uint32_t value = 0;
  std::vector<uint8_t> bytes;
};
Input In32(std::u16string name, uint32_t value) { return {std::move(name), Input::k32, value, {}}; }
Input In16(std::u16string name, uint16_t value) { return {std::move(name), Input::k16, value, {}}; }
Input In8(std::u16string name, uint8_t value) { return {std::move(name), Input::k8, value, {}}; }
Input InBytes(std::u16string name, std::vector<uint8_t> bytes) {
  return {std::move(name), Input::kBytes, 0, std::move(bytes)};
}

// What one WMI operation of the NVM layer does, in miniature.
class WmiClient {
 public:
  WmiClient(platform::Platform& machine, std::u16string_view name_space) : machine_(machine) {
    // S_FALSE when an outer operation of this thread has COM already.
    EXPECT_TRUE(platform::SUCCEEDED(machine_.wmi().CoInitializeEx(platform::COINIT_MULTITHREADED)));
    std::unique_ptr<platform::WmiLocator> locator;
    EXPECT_EQ(machine_.wmi().CoCreateLocator(locator), S_OK);
    EXPECT_EQ(
        locator->ConnectServer(name_space, platform::WBEM_FLAG_CONNECT_USE_MAX_WAIT, services_),
        S_OK);
  }
  ~WmiClient() {
    services_.reset();
    machine_.wmi().CoUninitialize();
  }

  HRESULT Exec(std::u16string_view class_name, std::u16string_view method,
               const std::vector<Input>& inputs, WmiObjectPtr& result) {
    WmiObjectPtr class_object, signature;
    if (services_->GetObject(class_name, class_object) != S_OK) return platform::E_FAIL;
    if (class_object->GetMethod(method, signature, nullptr) != S_OK) return platform::E_FAIL;
    for (const Input& input : inputs) {
      if (!Put(*signature, input)) return platform::WBEM_E_TYPE_MISMATCH;
    }
    std::u16string path = std::u16string(class_name) + u".InstanceName=\"" + kTitle + u"\"";
    return services_->ExecMethod(path, method, signature, &result);
  }

  HRESULT Instance(std::u16string_view class_name, std::u16string_view key, WmiObjectPtr& object,
                   std::u16string_view name_space = u"root\\wmi",
                   std::u16string_view key_name = u"InstanceName") {
    std::u16string path = u"\\\\SKYHOST01\\" + std::u16string(name_space) + u":" +
                          std::u16string(class_name) + u"." + std::u16string(key_name) + u"=\"" +
                          std::u16string(key) + u"\"";
    return services_->GetObject(path, object);
  }

 private:
  // PutUInt16's chain: VT_UI2, then VT_I2, then VT_I4.
  static bool Put(platform::WmiObject& object, const Input& input) {
    switch (input.kind) {
      case Input::k32:
        return object.Put(input.name, Variant::I4(static_cast<int32_t>(input.value))) == S_OK;
      case Input::k8:
        return object.Put(input.name, Variant::UI1(static_cast<uint8_t>(input.value))) == S_OK;
      case Input::kBytes:
        return object.Put(input.name, Variant::ByteArray(input.bytes)) == S_OK;
      case Input::k16:
        return object.Put(input.name, Variant::UI2(static_cast<uint16_t>(input.value))) == S_OK ||
               object.Put(input.name, Variant::I2(static_cast<int16_t>(input.value))) == S_OK ||
               object.Put(input.name, Variant::I4(static_cast<int32_t>(input.value))) == S_OK;
    }
    return false;
  }

  platform::Platform& machine_;
  std::unique_ptr<platform::WmiServices> services_;
};

Variant Get(const WmiObjectPtr& object, std::u16string_view name) {
  Variant value;
  EXPECT_EQ(object->Get(name, value, nullptr), S_OK);
  return value;
}

class MachineRoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = skyfw::testing::MakeTempDirectory("skyfw-machine-").string();
    ASSERT_FALSE(directory_.empty());
  }
  void TearDown() override {
    machine_.reset();
    skyfw::testing::RemoveTree(directory_);
  }

  // The demo machine, its first adapter given `faults`.
  void Open(const nlohmann::json& faults = nlohmann::json::object()) {
    nlohmann::json description = nlohmann::json::parse(DemoMachineJson());
    if (!faults.empty()) description["adapters"][0]["faults"] = faults;
    std::string error;
    ASSERT_TRUE(InitMachine(directory_ / "m", description.dump(), error)) << error;
    Reopen();
  }
  void Reopen() {
    machine_.reset();
    std::string error;
    ASSERT_TRUE(OpenMachine(directory_ / "m", machine_, error)) << error;
  }

  std::vector<uint8_t> ReadItem(WmiClient& wmi, uint32_t index, uint32_t length) {
    WmiObjectPtr result;
    EXPECT_EQ(
        wmi.Exec(u"NRVN_NVRAMAccess", u"Read",
                 {In32(u"dir_index", index), In32(u"length", length), In32(u"offset", 0)}, result),
        S_OK);
    return result ? Get(result, u"buffer").bytes : std::vector<uint8_t>{};
  }

  std::u16string InstalledVersion() {
    WmiClient wmi(*machine_, u"root\\wmi");
    WmiObjectPtr package;
    EXPECT_EQ(wmi.Instance(u"NRVN_NVRAMPackage", kTitle, package), S_OK);
    return package ? Get(package, u"Version").text : u"";
  }

  std::filesystem::path directory_;
  std::unique_ptr<platform::Platform> machine_;
};

TEST_F(MachineRoundTripTest, DirectoryCreateModifyReadThroughWmi) {
  Open();
  WmiClient wmi(*machine_, u"root\\wmi");
  WmiObjectPtr result;
  ASSERT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"GetDirectoryInfo", {}, result), S_OK);
  uint32_t count = Get(result, u"num_dir_entries").Low32();
  EXPECT_EQ(Get(result, u"dir_entry_length").Low32(), 24u);

  ASSERT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"Create",
                     {In32(u"dir_type", 0x40), In32(u"dir_ordinal", 0), In32(u"dir_ext", 0),
                      In32(u"dir_attr", 0), In32(u"dir_item_length", 4096)},
                     result),
            S_OK);
  uint32_t index = Get(result, u"dir_index").Low32();
  EXPECT_EQ(index, count);
  ASSERT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"Modify",
                     {In32(u"dir_index", index), In32(u"offset", 0), In32(u"length", 5),
                      InBytes(u"buffer", testing::Bytes("skyfw"))},
                     result),
            S_OK);
  EXPECT_EQ(ReadItem(wmi, index, 5), testing::Bytes("skyfw"));

  ASSERT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"GetDirectoryEntries", {In32(u"length", 4096)}, result),
            S_OK);
  EXPECT_EQ(Get(result, u"buffer").bytes.size(), (count + 1) * 24u);
  EXPECT_EQ(Get(result, u"buffer").vt, platform::VT_ARRAY | platform::VT_UI1);
}

TEST_F(MachineRoundTripTest, InstallsAPackageAsTheNvmLayerWould) {
  Open();
  EXPECT_EQ(InstalledVersion(), u"21.6.2");
  testing::TestPackage package;
  package.version = "22.1.0";
  package.description = "Skyline S2 NVM";
  package.items = {{0, 0x20, 0, 0, 0, 0, std::vector<uint8_t>(70000, 0x5A)}};
  std::vector<uint8_t> bytes = testing::BuildPackage(package);
  {
    WmiClient wmi(*machine_, u"root\\wmi");
    WmiObjectPtr result;
    for (size_t at = 0; at < bytes.size(); at += 65536) {
      size_t length = std::min<size_t>(65536, bytes.size() - at);
      std::vector<uint8_t> chunk(bytes.begin() + static_cast<long>(at),
                                 bytes.begin() + static_cast<long>(at + length));
      ASSERT_EQ(
          wmi.Exec(u"NRVN_NVRAMAccess", u"Modify",
                   {In32(u"dir_index", 2), In32(u"offset", static_cast<uint32_t>(at)),
                    In32(u"length", static_cast<uint32_t>(length)), InBytes(u"buffer", chunk)},
                   result),
          S_OK);
    }
    ASSERT_EQ(
        wmi.Exec(u"NRVN_FWTime", u"SetFwTime",
                 {In16(u"time_zone", 0), In16(u"year", 2026), In8(u"month", 12), In8(u"day", 10),
                  In8(u"hour", 3), In8(u"minute", 30), In8(u"second", 0), In8(u"millisecond", 0)},
                 result),
        S_OK);
    ASSERT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"InstallUpdate", {In32(u"install_type", 0)}, result),
              S_OK);
    EXPECT_EQ(Get(result, u"result").vt, platform::VT_UI1);
    EXPECT_EQ(Get(result, u"result").Low32(), 0u);
    EXPECT_EQ(Get(result, u"installed_items_0").vt, platform::VT_I4);
    EXPECT_EQ(Get(result, u"installed_items_0").Low32(), 1u);
  }
  EXPECT_EQ(InstalledVersion(), u"22.1.0");
  Reopen();  // another process opening the machine sees the same NVRAM
  EXPECT_EQ(InstalledVersion(), u"22.1.0");
}

TEST_F(MachineRoundTripTest, SixteenBitInputsGetThroughHoweverTheyAreDeclared) {
  for (const char* declared : {"uint16", "sint16", "uint32", "sint32"}) {
    machine_.reset();  // it holds files of the folder open, which Windows would not remove
    skyfw::testing::RemoveTree(directory_ / "m");
    Open({{"sixteen_bit_inputs", declared}});
    WmiClient wmi(*machine_, u"root\\wmi");
    WmiObjectPtr result;
    ASSERT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"GetNvmOpt",
                       {In16(u"length", 64), In16(u"option_num", 1), In16(u"dimensions", 1),
                        In16(u"index_0", 0), In16(u"index_1", 0), In16(u"index_2", 0),
                        In16(u"index_3", 0)},
                       result),
              S_OK)
        << declared;
    std::vector<uint8_t> option = Get(result, u"out_buff").bytes;
    ASSERT_EQ(option.size(), 8u) << declared;
    uint64_t value = 0;
    ByteReader(option).U64At(0, value);
    EXPECT_EQ(value, 0x1D6A0B1000A1C3E5u) << declared;
  }
}

TEST_F(MachineRoundTripTest, MethodFaultAndLastErrorThroughWmi) {
  Open({{"calls", {{{"call", "Read"}, {"error", 80}, {"at", 2}}}}});
  WmiClient wmi(*machine_, u"root\\wmi");
  WmiObjectPtr result;
  std::vector<Input> read = {In32(u"dir_index", 0), In32(u"length", 4), In32(u"offset", 0)};
  EXPECT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"Read", read, result), S_OK);
  EXPECT_TRUE(platform::FAILED(wmi.Exec(u"NRVN_NVRAMAccess", u"Read", read, result)));
  ASSERT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"GetNvmLastError", {}, result), S_OK);
  EXPECT_EQ(Get(result, u"ErrorCode").vt, platform::VT_I4);
  EXPECT_EQ(Get(result, u"ErrorCode").Low32(), 80u);
  EXPECT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"Read", read, result), S_OK);
}

TEST_F(MachineRoundTripTest, SriovAndVersionFaultsThroughWmi) {
  Open({{"version_property", "missing"}});
  WmiClient wmi(*machine_, u"root\\wmi");
  WmiObjectPtr package;
  ASSERT_EQ(wmi.Instance(u"NRVN_NVRAMPackage", kTitle, package), S_OK);
  Variant version;
  EXPECT_EQ(package->Get(u"Version", version, nullptr), platform::WBEM_E_NOT_FOUND);

  WmiClient cimv2(*machine_, u"root\\standardcimv2");
  WmiObjectPtr sriov;
  ASSERT_EQ(
      cimv2.Instance(u"MSFT_NetAdapterSriovSettingData", u"{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B10}",
                     sriov, u"root\\standardcimv2", u"InstanceID"),
      S_OK);
  EXPECT_EQ(Get(sriov, u"Enabled").vt, platform::VT_BOOL);
}

// The direct transport's way in: the interface of the firmware-command
// class whose device description is the adapter's name.
TEST_F(MachineRoundTripTest, DirectRequestsOnTheFirmwareCommandInterface) {
  Open();
  platform::Guid interface_class = *platform::Guid::Parse(kFirmwareCommandInterfaceClass);
  std::vector<std::u16string> paths;
  ASSERT_EQ(machine_->devices().GetDeviceInterfaceList(
                interface_class, platform::CM_GET_DEVICE_INTERFACE_LIST_PRESENT, paths),
            platform::CR_SUCCESS);
  std::string found;
  for (const std::u16string& path : paths) {
    uint32_t type = 0;
    std::vector<uint8_t> value;
    ASSERT_EQ(machine_->devices().GetDeviceInterfaceProperty(
                  path, platform::DEVPKEY_Device_InstanceId, type, value),
              platform::CR_SUCCESS);
    std::u16string instance_id;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
      if (value[i] == 0 && value[i + 1] == 0) break;
      instance_id.push_back(static_cast<char16_t>(value[i] | value[i + 1] << 8));
    }
    uint32_t node = 0;
    ASSERT_EQ(machine_->devices().LocateDevNode(Utf16ToUtf8(instance_id),
                                                platform::CM_LOCATE_DEVNODE_PHANTOM, node),
              platform::CR_SUCCESS);
    ASSERT_EQ(machine_->devices().GetDevNodeProperty(node, platform::DEVPKEY_Device_DeviceDesc,
                                                     type, value),
              platform::CR_SUCCESS);
    std::u16string description;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
      if (value[i] == 0 && value[i + 1] == 0) break;
      description.push_back(static_cast<char16_t>(value[i] | value[i + 1] << 8));
    }
    if (EqualsNoCase(description, kTitle)) {
      found = Utf16ToUtf8(path);
      break;
    }
  }
  ASSERT_FALSE(found.empty());
  std::unique_ptr<platform::DeviceHandle> device;
  ASSERT_EQ(machine_->deviceIo().CreateFile(found, platform::GENERIC_READ | platform::GENERIC_WRITE,
                                            0, device),
            platform::ERROR_SUCCESS);
  namespace info = driver_requests::dir_info;
  std::vector<uint8_t> request(info::kRequestBytes, 0);
  ByteWriter(request).SetU16At(driver_requests::kType.offset, kNvmGetDirInfo);
  std::vector<uint8_t> response(info::kResponseBytes, 0xCC);
  uint32_t returned = 0;
  ASSERT_EQ(device->DeviceIoControl(platform::IOCTL_NRVN_FWCMD, request, response, returned),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(returned, info::kResponseBytes);
  uint16_t status = 1;
  uint32_t count = 0;
  ByteReader(response).U16At(driver_requests::kStatus.offset, status);
  ByteReader(response).U32At(info::kCount.offset, count);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(count, 6u);
}

// The child side of these tests is a fork of the test program; Windows has
// no fork (see "Windows lane" in the README).
#if !defined(_WIN32)
// Two processes, each with the machine open, write one adapter's NVRAM.
TEST_F(MachineRoundTripTest, TwoProcessesWritingOneNvramThroughTheMachine) {
  Open();
  auto create_items = [&](uint16_t first_type) {
    WmiClient wmi(*machine_, u"root\\wmi");
    for (uint16_t type = first_type; type < first_type + 20; ++type) {
      WmiObjectPtr result;
      if (wmi.Exec(u"NRVN_NVRAMAccess", u"Create",
                   {In32(u"dir_type", type), In32(u"dir_ordinal", 0), In32(u"dir_ext", 0),
                    In32(u"dir_attr", 0), In32(u"dir_item_length", 64)},
                   result) != S_OK) {
        return false;
      }
    }
    return true;
  };
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Reopen();
    ::_exit(create_items(0x100) ? 0 : 1);
  }
  EXPECT_TRUE(create_items(0x200));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);

  WmiClient wmi(*machine_, u"root\\wmi");
  WmiObjectPtr result;
  ASSERT_EQ(wmi.Exec(u"NRVN_NVRAMAccess", u"GetDirectoryInfo", {}, result), S_OK);
  EXPECT_EQ(Get(result, u"num_dir_entries").Low32(), 6u + 40u);
}
#endif  // !_WIN32

}  // namespace
}  // namespace skyfw::sim
