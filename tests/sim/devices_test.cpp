// Devices, device nodes, interfaces and device I/O through the seam, with
// the OS-side device faults.
#include <gtest/gtest.h>

#include <ostream>

#include "machine_fixture.h"
#include "sim/machine/driver_interface.h"

namespace skyfw::sim {
namespace {

using namespace skyfw::platform;
using testing::MachineFixture;
using testing::SmallMachine;

std::string Text8(const std::vector<uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  return text.substr(0, text.find('\0'));
}

TEST(MachineDevices, ListsPresentNetworkDevicesWithTheirProperties) {
  auto description = SmallMachine();
  description["devices"][1]["present"] = false;
  MachineFixture fixture(description);
  std::unique_ptr<DeviceInfoSet> set;
  ASSERT_EQ(fixture.machine().devices().GetClassDevs(GUID_DEVCLASS_NET, DIGCF_PRESENT, set),
            ERROR_SUCCESS);
  DeviceInfoData device;
  ASSERT_EQ(set->EnumDeviceInfo(0, device), ERROR_SUCCESS);
  EXPECT_EQ(set->EnumDeviceInfo(1, device), ERROR_NO_MORE_ITEMS);
  ASSERT_EQ(set->EnumDeviceInfo(0, device), ERROR_SUCCESS);

  uint32_t type = 0;
  std::vector<uint8_t> value;
  ASSERT_EQ(set->GetDeviceRegistryProperty(device, SPDRP_DEVICEDESC, type, value), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Text8(value), testing::kPortTitle);
  // No friendly name: the property is missing, as on Windows.
  EXPECT_EQ(set->GetDeviceRegistryProperty(device, SPDRP_FRIENDLYNAME, type, value),
            ERROR_INVALID_DATA);
  ASSERT_EQ(set->GetDeviceRegistryProperty(device, SPDRP_SERVICE, type, value), ERROR_SUCCESS);
  EXPECT_EQ(Text8(value), "velond");
  ASSERT_EQ(set->GetDeviceRegistryProperty(device, SPDRP_LEGACYBUSTYPE, type, value),
            ERROR_SUCCESS);
  EXPECT_EQ(value, (std::vector<uint8_t>{5, 0, 0, 0}));
  ASSERT_EQ(set->GetDeviceRegistryProperty(device, SPDRP_BUSNUMBER, type, value), ERROR_SUCCESS);
  EXPECT_EQ(value, (std::vector<uint8_t>{2, 0, 0, 0}));
  ASSERT_EQ(set->GetDeviceRegistryProperty(device, SPDRP_BUSTYPEGUID, type, value), ERROR_SUCCESS);
  auto pci = GUID_BUS_TYPE_PCI.ToBytes();
  EXPECT_EQ(value, std::vector<uint8_t>(pci.begin(), pci.end()));
  std::string instance;
  ASSERT_EQ(set->GetDeviceInstanceId(device, instance), ERROR_SUCCESS);

  uint32_t node = 0, status = 0, problem = 0;
  ASSERT_EQ(fixture.machine().devices().LocateDevNode(instance, CM_LOCATE_DEVNODE_NORMAL, node),
            CR_SUCCESS);
  ASSERT_EQ(fixture.machine().devices().GetDevNodeStatus(node, status, problem), CR_SUCCESS);
  EXPECT_NE(status & DN_STARTED, 0u);
  EXPECT_EQ(problem, 0u);
  // The absent device is found only as a phantom.
  EXPECT_EQ(fixture.machine().devices().LocateDevNode("ROOT\\VMS_MP\\0000",
                                                      CM_LOCATE_DEVNODE_NORMAL, node),
            CR_NO_SUCH_DEVNODE);
  EXPECT_EQ(fixture.machine().devices().LocateDevNode("root\\vms_mp\\0000",
                                                      CM_LOCATE_DEVNODE_PHANTOM, node),
            CR_SUCCESS);
}

// Device-node faults take effect in the node status and in device opening.
struct NodeFault {
  const char* name;
  const char* field;
  uint32_t expected_problem;
};

// Logs and test listings show the case by its name, not as raw bytes.
void PrintTo(const NodeFault& fault, std::ostream* out) { *out << fault.name; }

class MachineDeviceNodeFault : public ::testing::TestWithParam<NodeFault> {};

TEST_P(MachineDeviceNodeFault, ShowsInStatusAndDeviceCannotBeOpened) {
  auto description = SmallMachine();
  description["devices"][0][GetParam().field] = GetParam().field == std::string("disabled");
  MachineFixture fixture(description);
  Devices& devices = fixture.machine().devices();
  uint32_t node = 0, status = 0, problem = 0;
  ASSERT_EQ(devices.LocateDevNode(
                "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&1D000200&0&0000", 0, node),
            CR_SUCCESS);
  ASSERT_EQ(devices.GetDevNodeStatus(node, status, problem), CR_SUCCESS);
  EXPECT_EQ(status & DN_STARTED, 0u);
  EXPECT_EQ(problem, GetParam().expected_problem);

  std::unique_ptr<DeviceHandle> handle;
  EXPECT_EQ(fixture.machine().deviceIo().CreateFile(
                std::string("\\\\.\\Global\\") + testing::kPortInterface,
                GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, handle),
            ERROR_FILE_NOT_FOUND);
  std::vector<std::u16string> paths;
  ASSERT_EQ(devices.GetDeviceInterfaceList(*Guid::Parse(kFirmwareCommandInterfaceClass),
                                           CM_GET_DEVICE_INTERFACE_LIST_PRESENT, paths),
            CR_SUCCESS);
  EXPECT_TRUE(paths.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MachineDeviceNodeFault,
    ::testing::Values(NodeFault{"Disabled", "disabled", CM_PROB_DISABLED},
                      NodeFault{"NotStarted", "started", CM_PROB_FAILED_START}),
    [](const ::testing::TestParamInfo<NodeFault>& param) { return std::string(param.param.name); });

TEST(MachineDeviceIo, DeviceOpensOnlyAtTheNthTry) {
  auto description = SmallMachine();
  description["devices"][0]["open_at_try"] = 5;
  MachineFixture fixture(description);
  std::string name = std::string("\\\\.\\Global\\") + testing::kPortInterface;
  std::unique_ptr<DeviceHandle> handle;
  for (int attempt = 1; attempt <= 4; ++attempt) {
    EXPECT_EQ(fixture.machine().deviceIo().CreateFile(name, GENERIC_READ | GENERIC_WRITE,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE, handle),
              ERROR_FILE_NOT_FOUND)
        << "attempt " << attempt;
  }
  EXPECT_EQ(fixture.machine().deviceIo().CreateFile(name, GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, handle),
            ERROR_SUCCESS);
}

TEST(MachineDeviceIo, NdisQueryReachesTheDriverAndSharingIsEnforced) {
  MachineFixture fixture(SmallMachine());
  DeviceIo& io = fixture.machine().deviceIo();
  std::unique_ptr<DeviceHandle> ndis;
  // Names compare without regard to case, as Windows object names do.
  ASSERT_EQ(io.CreateFile("\\\\.\\GLOBAL\\{11111111-2222-3333-4444-555555555555}",
                          GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, ndis),
            ERROR_SUCCESS);
  const uint8_t permanent_address[4] = {0x01, 0x01, 0x01, 0x01};  // OID 0x01010101
  std::vector<uint8_t> output(260, 0);
  uint32_t returned = 0;
  ASSERT_EQ(
      ndis->DeviceIoControl(IOCTL_NDIS_QUERY_GLOBAL_STATS, permanent_address, output, returned),
      ERROR_SUCCESS);
  ASSERT_EQ(returned, 6u);
  EXPECT_EQ(std::vector<uint8_t>(output.begin(), output.begin() + 6),
            (std::vector<uint8_t>{0x02, 0x0A, 0x3B, 0x1C, 0x2D, 0x4E}));

  // The firmware-command interface opens without sharing: a second open fails.
  std::vector<std::u16string> paths;
  ASSERT_EQ(fixture.machine().devices().GetDeviceInterfaceList(
                *Guid::Parse(kFirmwareCommandInterfaceClass), CM_GET_DEVICE_INTERFACE_LIST_PRESENT,
                paths),
            CR_SUCCESS);
  ASSERT_EQ(paths.size(), 1u);
  uint32_t type = 0;
  std::vector<uint8_t> instance;
  ASSERT_EQ(fixture.machine().devices().GetDeviceInterfaceProperty(
                paths[0], DEVPKEY_Device_InstanceId, type, instance),
            CR_SUCCESS);
  EXPECT_EQ(type, DEVPROP_TYPE_STRING);
  std::string path(paths[0].begin(), paths[0].end());
  EXPECT_EQ(path,
            "\\\\?\\PCI#VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02#4&1D000200&0&0000#"
            "{ebe08dcf-7d4d-427b-9897-7b2994917a86}");
  std::unique_ptr<DeviceHandle> first, second;
  ASSERT_EQ(io.CreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, first), ERROR_SUCCESS);
  EXPECT_EQ(io.CreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, second), ERROR_SHARING_VIOLATION);
  first.reset();
  EXPECT_EQ(io.CreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, second), ERROR_SUCCESS);
}

TEST(MachineDeviceIo, UnknownDeviceIsNotFound) {
  MachineFixture fixture(SmallMachine());
  std::unique_ptr<DeviceHandle> handle;
  EXPECT_EQ(fixture.machine().deviceIo().CreateFile(
                "\\\\.\\Global\\{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}", GENERIC_READ, 0, handle),
            ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace skyfw::sim
