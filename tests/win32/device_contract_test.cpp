// Devices, device I/O, the IP helper, the service control manager and the
// event log through the Win32 platform: their shapes and failure paths,
// which Wine provides; the adapter itself is accepted on Windows
// (docs/windows-acceptance.md).
//
// Where Wine answers otherwise than Windows (not asserted here):
// - SetupDiGetClassDevs on the Net class lists no device under Wine.
// - CM_Locate_DevNode of an unknown instance: Windows CR_NO_SUCH_DEVNODE,
//   Wine CR_FAILURE (a stub); CM_Get_DevNode_Status is a stub too.
// - CM_Get_Device_Interface_List(_Size): Windows CR_SUCCESS with the list
//   (perhaps empty), Wine CR_FAILURE.
// - CM_Get_Device_Interface_Property of an unknown path: Windows
//   CR_NO_SUCH_DEVICE_INTERFACE; Wine lacks the function, so the platform
//   answers CR_CALL_NOT_IMPLEMENTED (0x34), as on a Windows before 8.
// - QueryServiceLockStatus: Windows ERROR_SUCCESS with the status, Wine a
//   stub failing without an error (the platform answers ERROR_NOT_SUPPORTED
//   rather than a success with no status).
// - The event log keeps nothing under Wine; the calls succeed.
#include <gtest/gtest.h>

#include <algorithm>

#include "win32_test_support.h"

namespace skyfw::win32::testing {
namespace {

using namespace platform;

constexpr uint32_t CR_CALL_NOT_IMPLEMENTED = 0x34;

TEST(DeviceContract, TheNetClassEnumerationEnds) {
  std::unique_ptr<DeviceInfoSet> devices;
  ASSERT_EQ(Win32().devices().GetClassDevs(GUID_DEVCLASS_NET, DIGCF_PRESENT, devices),
            ERROR_SUCCESS);
  ASSERT_NE(devices, nullptr);
  DeviceInfoData device;
  uint32_t index = 0;
  uint32_t result = ERROR_SUCCESS;
  while ((result = devices->EnumDeviceInfo(index, device)) == ERROR_SUCCESS && index < 4096) {
    EXPECT_EQ(device.class_guid, GUID_DEVCLASS_NET);
    std::string instance_id;
    EXPECT_EQ(devices->GetDeviceInstanceId(device, instance_id), ERROR_SUCCESS);
    ++index;
  }
  EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
}

TEST(DeviceContract, AnUnknownDeviceNodeIsNotFound) {
  uint32_t dev_inst = 0;
  uint32_t result = Win32().devices().LocateDevNode("PCI\\VEN_1D6A&DEV_FFFF\\SKYFW&CONTRACT&0",
                                                    CM_LOCATE_DEVNODE_NORMAL, dev_inst);
  EXPECT_NE(result, CR_SUCCESS);
}

TEST(DeviceContract, PropertyCallsAnswerWithAConfigurationManagerCode) {
  uint32_t type = 0;
  std::vector<uint8_t> value;
  uint32_t result = Win32().devices().GetDeviceInterfaceProperty(
      u"\\\\?\\skyfw#no#such#interface", DEVPKEY_Device_InstanceId, type, value);
  EXPECT_TRUE(result == CR_NO_SUCH_DEVICE_INTERFACE || result == CR_CALL_NOT_IMPLEMENTED ||
              result == CR_INVALID_DEVICE_ID)
      << result;
}

TEST(DeviceIoContract, ADeviceThatIsNotThereIsFileNotFound) {
  std::unique_ptr<DeviceHandle> handle;
  EXPECT_EQ(Win32().deviceIo().CreateFile("\\\\.\\Global\\{0B0C1D6A-5C2F-4E7A-9D3B-00000000F00D}",
                                          GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, handle),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(handle, nullptr);
}

TEST(IpHelperContract, Ipv4ListShape) {
  std::vector<IpAdapterInfo> adapters;
  uint32_t result = Win32().ipHelper().GetAdaptersInfo(adapters);
  ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_NO_DATA) << result;
  if (result == ERROR_NO_DATA) {
    EXPECT_TRUE(adapters.empty());
  }
  for (const IpAdapterInfo& adapter : adapters) {
    SCOPED_TRACE(adapter.adapter_name);
    EXPECT_FALSE(adapter.adapter_name.empty());
    EXPECT_LE(adapter.address.size(), 8u);
    EXPECT_FALSE(adapter.ip_address_list.empty());  // "0.0.0.0" at least
    for (const IpAddrString& address : adapter.ip_address_list) {
      EXPECT_EQ(std::count(address.address.begin(), address.address.end(), '.'), 3);
    }
  }
}

TEST(IpHelperContract, AddressListsCarryWholeSocketAddresses) {
  // As the adapter library asks for IPv6, and for both families.
  const uint32_t flags = GAA_FLAG_INCLUDE_PREFIX | GAA_FLAG_INCLUDE_WINS_INFO |
                         GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_INCLUDE_ALL_INTERFACES |
                         GAA_FLAG_INCLUDE_ALL_COMPARTMENTS;
  for (uint32_t family : {AF_INET6_WINDOWS, 0u}) {
    SCOPED_TRACE(family);
    std::vector<IpAdapterAddresses> adapters;
    uint32_t result = Win32().ipHelper().GetAdaptersAddresses(family, flags, adapters);
    ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_NO_DATA) << result;
    for (const IpAdapterAddresses& adapter : adapters) {
      EXPECT_FALSE(adapter.adapter_name.empty());
      for (const IpUnicastAddress& unicast : adapter.unicast_addresses) {
        uint16_t got = unicast.address.Family();
        if (family == AF_INET6_WINDOWS) {
          EXPECT_EQ(got, AF_INET6_WINDOWS);
        }
        // SOCKADDR_IN is 16 bytes, SOCKADDR_IN6 28.
        EXPECT_EQ(unicast.address.bytes.size(), got == AF_INET6_WINDOWS ? 28u : 16u);
      }
    }
  }
}

TEST(ServicesContract, TheManagerOpensAndItsLockStatusIsNeverAnEmptySuccess) {
  std::unique_ptr<ServiceManager> manager;
  ASSERT_EQ(Win32().services().OpenSCManager(SC_MANAGER_QUERY_LOCK_STATUS, manager), ERROR_SUCCESS);
  ServiceLockStatus status;
  status.lock_owner = "stale";
  uint32_t result = manager->QueryLockStatus(status);
  if (result == ERROR_SUCCESS) {
    EXPECT_TRUE(status.locked || status.lock_owner != "stale");
  }
}

TEST(EventLogContract, RegisterReportDeregister) {
  std::unique_ptr<EventSource> source;
  ASSERT_EQ(Win32().eventLog().RegisterEventSource(UniqueName("skyfw-contract"), source),
            ERROR_SUCCESS);
  ASSERT_NE(source, nullptr);
  for (uint32_t event_id : {0xC0000101u, 0xC0000102u, 0xC0000103u, 0x00020100u}) {
    EXPECT_EQ(source->ReportEvent(EVENTLOG_INFORMATION_TYPE, 1, event_id,
                                  {"Skyline contract test \xC3\xA9"}),
              ERROR_SUCCESS);
  }
  EXPECT_EQ(source->Deregister(), ERROR_SUCCESS);
  EXPECT_EQ(source->Deregister(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(source->ReportEvent(EVENTLOG_INFORMATION_TYPE, 1, 0x00020100u, {"late"}),
            ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace skyfw::win32::testing
