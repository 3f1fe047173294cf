// Building the adapter list: filters, identity, location, listing calls.
#include "nmapi/enumeration.h"

#include <string>

#include "nmapi/adapter_info.h"
#include "base/fixed_text.h"
#include "nmapi_fixture.h"

namespace skyfw::test {
namespace {

using platform::RegistryValue;

class EnumerationTest : public NmapiTest {
 protected:
  std::string ClassKey(uint32_t index) {
    return "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}\\" +
           FakeMachine::ClassSubkey(index);
  }
};

TEST_F(EnumerationTest, CharacteristicsDecideWhichDevicesAreListed) {
  struct Case {
    uint32_t characteristics;
    bool listed;
    const char* message;
  };
  const Case cases[] = {
      {0x84, true, nullptr},
      {0x04, true, nullptr},
      {0x01, false, "GetNicInfoW2k() virtual ComponentId (PCI\\VEN_1D6A&DEV_0B10),Port 2\r\n"},
      {0x05, false, "GetNicInfoW2k() virtual ComponentId (PCI\\VEN_1D6A&DEV_0B10),Port 3\r\n"},
      {0x0C, false, "GetNicInfoW2k() hidden ComponentId (PCI\\VEN_1D6A&DEV_0B10),Port 4\r\n"},
      {0x02, false, "adapter characteristics(0x00000002),Port 5\r\n"},
  };
  uint32_t index = 0;
  for (const Case& c : cases) {
    FakeMachine::PortSpec port;
    port.characteristics = c.characteristics;
    port.description = "Port " + std::to_string(index);
    port.function = index;
    machine.AddSkylinePort(index++, port);
  }
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(TextUpToZero(records[0].description), "Port 0");
  EXPECT_EQ(TextUpToZero(records[1].description), "Port 1");
  for (const Case& c : cases) {
    if (c.message != nullptr) {
      EXPECT_TRUE(Logged(c.message)) << c.message;
    }
  }
}

TEST_F(EnumerationTest, OnlyTheCurrentDriverImageIsListed) {
  const char* images[] = {"velond.sys", "VELOND.SYS", "vlnd60a.sys", "velond.sys.old"};
  uint32_t index = 0;
  for (const char* image : images) {
    FakeMachine::PortSpec port;
    port.image = image;
    port.description = image;
    port.function = index;
    size_t device = machine.AddSkylinePort(index, port);
    // Each device gets its own service so that the images differ.
    std::string service = "svc" + std::to_string(index++);
    machine.devices[device].service = service;
    machine.SetRegistryValue("SYSTEM\\CurrentControlSet\\Services\\" + service, "ImagePath",
                             RegistryValue::Text(std::string("\\SystemRoot\\drivers\\") + image));
  }
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(TextUpToZero(records[0].driverImage), "velond.sys");
  EXPECT_EQ(records[0].driverKind, kDriverKindCurrent);
  EXPECT_EQ(TextUpToZero(records[0].serviceName), "svc0");
}

TEST_F(EnumerationTest, DevicesFailingARequiredReadAreSkippedWithTheirMessage) {
  machine.AddSkylinePort(0, {});
  FakeMachine::PortSpec port;
  port.description = "No interface";
  machine.AddSkylinePort(1, port);
  machine.RemoveRegistryValue(ClassKey(1), "NetCfgInstanceId");
  port.description = "No characteristics";
  machine.AddSkylinePort(2, port);
  machine.RemoveRegistryValue(ClassKey(2), "Characteristics");
  port.description = "No class key";
  size_t device = machine.AddSkylinePort(3, port);
  machine.devices[device].driverKey = "{4d36e972-e325-11ce-bfc1-08002be10318}\\0099";
  Start();
  EXPECT_EQ(AllRecords().size(), 1u);
  EXPECT_TRUE(
      Logged("GetNicInfoW2k() RegQueryValueEx() 'NetCfgInstanceId' failed(2),No "
             "interface\r\n"));
  EXPECT_TRUE(
      Logged("GetNicInfoW2k() RegQueryValueEx() 'Characteristics' failed(2),No "
             "characteristics\r\n"));
  EXPECT_TRUE(Logged("GetNicInfoW2k() RegOpenKeyEx() failed(2),No class key\r\n"));
}

TEST_F(EnumerationTest, PortsAtFunctionsZeroToThreeGetHandlesInEnumerationOrder) {
  for (uint32_t function = 0; function < 4; ++function) {
    FakeMachine::PortSpec port;
    port.bus = 0x3B;
    port.device = 2;
    port.function = function;
    port.friendlyName = "Skyline port " + std::to_string(function);
    machine.AddSkylinePort(function, port);
  }
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i].handle, i + 1);
    EXPECT_EQ(records[i].bus, 0x3Bu);
    EXPECT_EQ(records[i].device, 2u);
    EXPECT_EQ(records[i].function, i);
    EXPECT_EQ(records[i].segment, 0u);
    EXPECT_EQ(records[i].busType, kBusTypePci);
    EXPECT_EQ(TextUpToZero(records[i].title), "Skyline port " + std::to_string(i));
    EXPECT_EQ(TextUpToZero(records[i].description), "Norvane Skyline 25GbE Adapter");
    EXPECT_EQ(TextUpToZero(records[i].interfaceId), FakeMachine::InterfaceGuid(i));
    EXPECT_EQ(TextUpToZero(records[i].manufacturer), "Norvane");
    EXPECT_EQ(records[i].flaggedDeviceId, 1u);
  }
  EXPECT_TRUE(Logged("bus 59, device 2, function 3\r\n"));
}

TEST_F(EnumerationTest, FlaggedDeviceIdComesFromTheProductList) {
  FakeMachine::PortSpec other;
  other.deviceId = 0x0C77;
  machine.AddSkylinePort(0, other);
  machine.AddSkylinePort(1, {});
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].deviceId, 0x0C77);
  EXPECT_EQ(records[0].flaggedDeviceId, 0u);
  EXPECT_EQ(records[1].flaggedDeviceId, 1u);
}

TEST(InstanceIdentity, FromFixedPositionsOfTheInstanceId) {
  struct Case {
    const char* instanceId;
    int32_t busType;
    uint16_t vendorId, deviceId, subDeviceId, subVendorId;
    uint8_t revision;
  };
  const Case cases[] = {
      {"PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&2B8E0A1&0&0018", kBusTypePci, 0x1D6A,
       0x0B10, 0x0001, 0x1D6A, 0x02},
      {"pci\\ven_1d6a&dev_0b1f&subsys_abcd1d6a&rev_0c\\x", kBusTypePci, 0x1D6A, 0x0B1F, 0xABCD,
       0x1D6A, 0x0C},
      // Shortened: every position that holds no hexadecimal digit reads 0.
      {"PCI\\VEN_1D6A&DEV_0B", kBusTypePci, 0x1D6A, 0x0B00, 0, 0, 0},
      {"PCI\\VEN_1D", kBusTypePci, 0x1D00, 0, 0, 0, 0},
      {"PCI", kBusTypePci, 0, 0, 0, 0, 0},
      {"PCI\\VEN_1D6A&DEV_XYZ1&SUBSYS_00011D6A&REV_02", kBusTypePci, 0x1D6A, 0x0001, 0x0001, 0x1D6A,
       0x02},
      {"USB\\VID_0B95&PID_1790\\0001", kBusTypeUsb, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFF},
      {"PCMCIA\\X", kBusTypePcmcia, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFF},
      {"V1394\\X", kBusType1394, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFF},
      {"ROOT\\KDNIC\\0000", kBusTypeOther, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.instanceId);
    AdapterInfo info{};
    ReadIdentityFromInstanceId(c.instanceId, info);
    EXPECT_EQ(info.busType, c.busType);
    EXPECT_EQ(info.vendorId, c.vendorId);
    EXPECT_EQ(info.deviceId, c.deviceId);
    EXPECT_EQ(info.subDeviceId, c.subDeviceId);
    EXPECT_EQ(info.subVendorId, c.subVendorId);
    EXPECT_EQ(info.revision, c.revision);
    if (c.busType != kBusTypePci) {
      EXPECT_EQ(info.bus, kUnknownLocation);
    }
  }
}

TEST_F(EnumerationTest, LocationFromTheBusTypeGuidWhenThereIsNoLegacyBusType) {
  FakeMachine::PortSpec port;
  port.bus = 9;
  port.device = 1;
  port.function = 2;
  size_t pci = machine.AddSkylinePort(0, port);
  machine.devices[pci].legacyBusType.reset();
  machine.devices[pci].busTypeGuid = platform::GUID_BUS_TYPE_PCI;
  size_t usb = machine.AddSkylinePort(1, port);
  machine.devices[usb].legacyBusType = 15;  // neither PCI nor PCMCIA
  machine.devices[usb].busTypeGuid = platform::GUID_BUS_TYPE_USB;
  size_t unknown = machine.AddSkylinePort(2, port);
  machine.devices[unknown].legacyBusType.reset();
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].busType, kBusTypePci);
  EXPECT_EQ(records[0].bus, 9u);
  EXPECT_EQ(records[0].function, 2u);
  EXPECT_EQ(records[1].busType, kBusTypeUsb);
  EXPECT_EQ(records[1].bus, kUnknownLocation);
  EXPECT_EQ(records[1].device, kUnknownLocation);
  // The identity still comes from the PCI instance identifier.
  EXPECT_EQ(records[1].deviceId, 0x0B10);
  EXPECT_EQ(records[2].busType, kBusTypeUnknown);
}

TEST_F(EnumerationTest, MissingAddressIsLoggedAndTheAdapterKept) {
  size_t device = machine.AddSkylinePort(0, {});
  machine.devices[device].address.reset();
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].device, kUnknownLocation);
  EXPECT_EQ(records[0].bus, 3u);
  EXPECT_TRUE(Logged("GetLocationInfoW2k() SPDRP_ADDRESS failed 0x0000000D\r\n"));
}

TEST_F(EnumerationTest, StartFailuresOfTheEnumeration) {
  machine.AddSkylinePort(0, {});
  machine.scmLocked = true;
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_SCM_LOCKED);
  EXPECT_TRUE(Logged("Service control manager is locked by .\\NT Service Control Manager.\r\n"));
  machine.scmLocked = false;

  machine.scmOpenError = platform::ERROR_SHUTDOWN_IN_PROGRESS;
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_SCM_LOCKED);
  machine.scmOpenError = platform::ERROR_ACCESS_DENIED;
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_OK);
  EXPECT_TRUE(Logged("OpenSCManager failed!(5)\r\n"));
  machine.scmOpenError = platform::ERROR_SUCCESS;

  machine.setupLibraryError = platform::ERROR_PROC_NOT_FOUND;
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_SYSTEM_FAILED);
  machine.setupLibraryError = platform::ERROR_MOD_NOT_FOUND;
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_SYSTEM_FAILED);
  EXPECT_TRUE(Logged("ReadConfig() LoadLibraryEx() failed(126)\r\n"));
  machine.setupLibraryError = platform::ERROR_SUCCESS;

  machine.classDevsError = platform::ERROR_INVALID_DATA;
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_SYSTEM_FAILED);
  machine.classDevsError = platform::ERROR_SUCCESS;

  // An enumeration that stops early keeps what it found.
  machine.enumerationStopError = platform::ERROR_GEN_FAILURE;
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_OK);
  EXPECT_TRUE(Logged("ReadConfig() SetupDiEnumDeviceInfo() failed(31)\r\n"));
  EXPECT_EQ(AllRecords().size(), 1u);
}

TEST_F(EnumerationTest, ListingCallsCheckTheirArguments) {
  AdapterInfo record{};
  // Count 0 is refused before the library state is looked at.
  EXPECT_EQ(ngNmapiGetAllPhyNic(&record, 0), ngNMAPI_INVALID_PARAMETER);
  EXPECT_EQ(ngNmapiGetAllPhyNic(&record, 1), ngNMAPI_NOT_INITIALIZED);
  EXPECT_EQ(ngNmapiGetPhyNic(1, &record), ngNMAPI_NOT_INITIALIZED);
  uint32_t count = 99;
  EXPECT_EQ(ngNmapiGetNumPhyNic(&count), ngNMAPI_NOT_INITIALIZED);
  EXPECT_EQ(count, 99u);

  machine.AddSkylinePort(0, {});
  machine.AddSkylinePort(1, {});
  Start();
  EXPECT_EQ(ngNmapiGetAllPhyNic(nullptr, 2), ngNMAPI_INVALID_PARAMETER);
  EXPECT_EQ(ngNmapiGetAllPhyNic(&record, 0), ngNMAPI_INVALID_PARAMETER);
  EXPECT_TRUE(Logged("ngNmapiGetAllPhyNic() is called with zero NICs\n"));
  EXPECT_EQ(ngNmapiGetPhyNic(0, &record), ngNMAPI_INVALID_HANDLE);
  EXPECT_EQ(ngNmapiGetPhyNic(3, &record), ngNMAPI_INVALID_HANDLE);
  EXPECT_TRUE(Logged("ngNmapiGetPhyNic(): invald adapter handle"));
  EXPECT_EQ(ngNmapiGetPhyNic(2, nullptr), ngNMAPI_INVALID_PARAMETER);
  EXPECT_EQ(ngNmapiGetNumPhyNic(nullptr), ngNMAPI_INVALID_PARAMETER);
}

TEST_F(EnumerationTest, GetAllPhyNicFillsNoMoreThanTheListOrTheCount) {
  machine.AddSkylinePort(0, {});
  machine.AddSkylinePort(1, {});
  Start();
  AdapterInfo records[4];
  std::memset(records, 0xA5, sizeof records);
  EXPECT_EQ(ngNmapiGetAllPhyNic(records, 4), ngNMAPI_OK);
  EXPECT_EQ(records[0].handle, 1u);
  EXPECT_EQ(records[1].handle, 2u);
  EXPECT_EQ(records[2].handle, 0xA5A5A5A5u);  // untouched

  std::memset(records, 0xA5, sizeof records);
  EXPECT_EQ(ngNmapiGetAllPhyNic(records, 1), ngNMAPI_OK);
  EXPECT_EQ(records[0].handle, 1u);
  EXPECT_EQ(records[1].handle, 0xA5A5A5A5u);
}

}  // namespace
}  // namespace skyfw::test
