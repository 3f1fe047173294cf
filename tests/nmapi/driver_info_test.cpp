// What the driver reports through NDIS queries, the base addresses and the
// settings of the adapter's network-class key.
#include "nmapi/driver_info.h"

#include <algorithm>
#include <string>

#include "nmapi/adapter_class.h"
#include "base/fixed_text.h"
#include "nmapi_fixture.h"

namespace skyfw::test {
namespace {

using platform::RegistryValue;

class DriverInfoTest : public NmapiTest {
 protected:
  DriverInfoTest() { machine.AddSkylinePort(0, {}); }
  FakeNdisDevice& Port() { return machine.ndis[FakeMachine::InterfaceGuid(0)]; }
  std::string ClassKey() { return std::string(kNetClassKey) + "\\" + FakeMachine::ClassSubkey(0); }
  AdapterInfo Record() {
    AdapterInfo record{};
    EXPECT_EQ(ngNmapiGetPhyNic(1, &record), ngNMAPI_OK);
    return record;
  }
  bool Queried(uint32_t oid) {
    const auto& oids = Port().queriedOids;
    return std::find(oids.begin(), oids.end(), oid) != oids.end();
  }
};

TEST_F(DriverInfoTest, NdisSixAdapterWithLinkUp) {
  Port().permanentMac = {0x02, 0x0A, 0x3B, 0x1C, 0x2D, 0x4E};
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(TextUpToZero(record.permanentMac), "020A3B1C2D4E");
  EXPECT_EQ(TextUpToZero(record.currentMac), "001D6A100000");
  EXPECT_EQ(record.driverLoaded, 1u);
  EXPECT_EQ(record.deviceOpen, 1u);
  EXPECT_EQ(record.linkUp, 1u);
  EXPECT_EQ(record.linkSpeedMbps, 10000u);
  EXPECT_EQ(record.medium, 1);
  EXPECT_EQ(record.duplex, 2u);
  EXPECT_EQ(record.xmitLinkSpeed, 10'000'000'000u);
  EXPECT_EQ(record.rcvLinkSpeed, 10'000'000'000u);
  EXPECT_EQ(record.pcieLinkSpeed, 3u);
  EXPECT_EQ(record.pcieLinkWidth, 8u);
  EXPECT_EQ(record.maxFrameSize, 1514u);
  EXPECT_EQ(record.flowControl, 3u);
  EXPECT_EQ(record.wakeOnMagicPacket, 1u);
  EXPECT_EQ(TextUpToZero(record.driverVersion), "4.2.17.0");
  // Base addresses with their low four bits cleared; the chip identity.
  EXPECT_EQ(record.bar[0], 0xF7A00000u);
  EXPECT_EQ(record.bar[1], 0u);
  EXPECT_EQ(record.bar[2], 0xF7B00000u);
  EXPECT_EQ(record.chipId, 0x40100u);
}

TEST_F(DriverInfoTest, LinkDownGivesNoSpeedAndNoSpeedQuery) {
  Port().connectStatus = 1;
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(record.linkUp, 0u);
  EXPECT_EQ(record.linkSpeedMbps, 0u);
  EXPECT_FALSE(Queried(OID_GEN_LINK_SPEED));
}

TEST(LinkSpeed, TableOfReportedValues) {
  struct Case {
    uint32_t reported;
    uint32_t mbps;
  };
  for (Case c : {Case{100000, 10}, Case{1000000, 100}, Case{10000000, 1000}, Case{25000000, 2500},
                 Case{100000000, 10000}, Case{250000000, 25000}, Case{400000000, 40000},
                 Case{500000000, 50000}, Case{1000000000, 0}, Case{0, 0}, Case{99999, 0}}) {
    EXPECT_EQ(LinkSpeedMbps(c.reported), c.mbps) << c.reported;
  }
}

TEST_F(DriverInfoTest, UnknownLinkSpeedGivesZero) {
  Port().linkSpeed = 1000000000;  // 100 Gbit/s: not in the table
  Start();
  EXPECT_EQ(Record().linkSpeedMbps, 0u);
}

TEST_F(DriverInfoTest, NdisFiveKeepsLinkStateDefaults) {
  Port().ndisVersion = 0x0532;
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(record.xmitLinkSpeed, ~uint64_t{0});
  EXPECT_EQ(record.rcvLinkSpeed, ~uint64_t{0});
  EXPECT_EQ(record.duplex, 0u);
  EXPECT_EQ(record.flowControl, 0u);
  EXPECT_EQ(record.pcieLinkWidth, 0u);
  EXPECT_FALSE(Queried(OID_GEN_LINK_STATE));
  EXPECT_FALSE(Queried(OID_GEN_PCI_DEVICE_CUSTOM_PROPERTIES));
  EXPECT_EQ(record.maxFrameSize, 1514u);
}

TEST_F(DriverInfoTest, FailingLinkStateQueryKeepsDefaultsAndGoesOn) {
  Port().failingOids[OID_GEN_LINK_STATE] = platform::ERROR_GEN_FAILURE;
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(record.xmitLinkSpeed, ~uint64_t{0});
  EXPECT_EQ(record.duplex, 0u);
  EXPECT_EQ(record.maxFrameSize, 1514u);
  EXPECT_TRUE(Logged("DeviceIoControl failed(31)\r\n"));
}

TEST_F(DriverInfoTest, FailingMandatoryQueriesEndTheReadWithIoctlFailed) {
  struct Case {
    uint32_t oid;
    const char* message;
  };
  for (Case c :
       {Case{OID_GEN_DRIVER_VERSION, "DeviceIoControl() OID_GEN_DRIVER_VERSION failed(31)"},
        Case{OID_GEN_MEDIA_CONNECT_STATUS, "DeviceIoControl failed(31)"},
        Case{OID_GEN_PHYSICAL_MEDIUM_EX, "DeviceIoControl failed(31)"},
        Case{OID_GEN_LINK_SPEED, "DeviceIoControl failed(31)"}}) {
    SCOPED_TRACE(c.oid);
    Port().failingOids = {{c.oid, platform::ERROR_GEN_FAILURE}};
    Start();
    machine.debugOutput.clear();
    Record();
    EXPECT_TRUE(Logged(std::string("ngNmapiGetPhyNic() ") + FakeMachine::InterfaceGuid(0) +
                       " ReadDriverGenInfo() uRet = 14"));
    EXPECT_TRUE(Logged(c.message));
    // Nothing after the failing query was asked.
    EXPECT_FALSE(Queried(OID_GEN_MAXIMUM_FRAME_SIZE));
    Port().queriedOids.clear();
  }
}

TEST_F(DriverInfoTest, WrongLengthsKeepFieldsAndZeroTheSpeed) {
  Port().returnedLengths[OID_802_3_PERMANENT_ADDRESS] = 4;
  Port().returnedLengths[OID_GEN_LINK_SPEED] = 2;
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(TextUpToZero(record.permanentMac), "");
  EXPECT_EQ(record.linkSpeedMbps, 0u);
  EXPECT_TRUE(Logged("invalid permanent address length(4)\r\n"));
  EXPECT_TRUE(Logged("invalid link speed length(2)\r\n"));
}

TEST_F(DriverInfoTest, DeviceThatDoesNotOpenLeavesDriverFields) {
  machine.ndis.clear();
  Start();
  AdapterInfo record = Record();
  EXPECT_EQ(record.driverLoaded, 0u);
  EXPECT_EQ(record.deviceOpen, 0u);
  EXPECT_EQ(TextUpToZero(record.permanentMac), "");
  EXPECT_TRUE(
      Logged("CreateFile failed(2), driver not loaded(" + FakeMachine::InterfaceGuid(0) + ")\r\n"));
}

TEST_F(DriverInfoTest, VlanIdSetting) {
  struct Case {
    const char* text;  // nullptr: value missing
    uint32_t present;
    uint32_t count;
    uint32_t vlanId;
  };
  for (Case c :
       {Case{"17", 1, 1, 17}, Case{"0", 0, 0, 0}, Case{nullptr, 0, 0, 0}, Case{"abc", 0, 0, 0}}) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "missing");
    if (c.text != nullptr) {
      machine.SetRegistryValue(ClassKey(), "VlanID", RegistryValue::Text(c.text));
    } else {
      machine.RemoveRegistryValue(ClassKey(), "VlanID");
    }
    Start();
    AdapterInfo record = Record();
    EXPECT_EQ(record.vlan.present, c.present);
    EXPECT_EQ(record.vlan.count, c.count);
    EXPECT_EQ(record.vlan.entry.vlanId, c.vlanId);
    if (c.present != 0) {
      EXPECT_EQ(record.vlan.entry.word1, 1u);
    }
  }
}

TEST_F(DriverInfoTest, AdapterClassValueLimitsAndMissingKeys) {
  std::string guid = FakeMachine::InterfaceGuid(0);
  uint32_t type = 0;
  std::string text;
  uint32_t limit = 40;
  EXPECT_EQ(ReadAdapterClassValue(guid, kNetClassKey, "DriverVersion", type, text, limit),
            ngNMAPI_OK);
  EXPECT_EQ(text, "4.2.17.0");
  EXPECT_EQ(limit, 9u);
  EXPECT_EQ(type, platform::REG_SZ);

  limit = 7;
  text = "unchanged";
  EXPECT_EQ(ReadAdapterClassValue(guid, kNetClassKey, "DriverVersion", type, text, limit),
            ngNMAPI_BUFFER_TOO_SMALL);
  EXPECT_EQ(text, "unchanged");

  limit = 40;
  EXPECT_EQ(ReadAdapterClassValue(guid, kNetClassKey, "NoSuchValue", type, text, limit),
            ngNMAPI_REGISTRY_NOT_FOUND);
  EXPECT_EQ(ReadAdapterClassValue("{00000000-0000-0000-0000-000000000000}", kNetClassKey,
                                  "DriverVersion", type, text, limit),
            ngNMAPI_REGISTRY_NOT_FOUND);
  // A value longer than the 510-byte UTF-16 read is not found either.
  machine.SetRegistryValue(ClassKey(), "Long", RegistryValue::Text(std::string(300, 'a')));
  limit = 1000;
  EXPECT_EQ(ReadAdapterClassValue(guid, kNetClassKey, "Long", type, text, limit),
            ngNMAPI_REGISTRY_NOT_FOUND);
  // The subkeys are opened with full access: without it nothing is found.
  machine.DenyFullAccess(ClassKey());
  limit = 40;
  EXPECT_EQ(ReadAdapterClassValue(guid, kNetClassKey, "DriverVersion", type, text, limit),
            ngNMAPI_REGISTRY_NOT_FOUND);
}

TEST_F(DriverInfoTest, TwentyCharacterWakeSettingFitsWithoutOverrun) {
  machine.SetRegistryValue(ClassKey(), "*WakeOnMagicPacket",
                           RegistryValue::Text("00000000000000000042"));
  Start();
  EXPECT_EQ(Record().wakeOnMagicPacket, 42u);
}

TEST_F(DriverInfoTest, SessionDeviceCarriesTheFrameSizeQuery) {
  Start();
  ASSERT_EQ(ngNmapiInitDiag(1), ngNMAPI_OK);
  uint32_t opensBefore = Port().openAttempts;
  AdapterInfo record{};
  EXPECT_EQ(ngNmapiGetPhyNic(1, &record), ngNMAPI_OK);
  // The driver-information read opened the device once; the frame-size
  // query went through the session's handle.
  EXPECT_EQ(Port().openAttempts, opensBefore + 1);
  EXPECT_EQ(record.maxFrameSize, 1514u);
  // Our own session holds the lock, so the probe reports it held.
  EXPECT_EQ(record.lockHeld, 1u);
  EXPECT_EQ(ngNmapiUnInitDiag(1), ngNMAPI_OK);
}

}  // namespace
}  // namespace skyfw::test
