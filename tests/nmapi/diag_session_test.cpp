// Diagnostic sessions, the lock probe at hand-out, chip identity and SR-IOV.
#include "nmapi/diag_session.h"

#include <string>

#include "nmapi/chip_identity.h"
#include "nmapi/library_state.h"
#include "nmapi_fixture.h"

namespace skyfw::test {
namespace {

std::string LockName(uint32_t index) {
  return "Global\\{FBCBECF0-D87B-11d5-A4CF-00104BCD3937}" + FakeMachine::InterfaceGuid(index);
}

class DiagSessionTest : public NmapiTest {
 protected:
  DiagSessionTest() {
    machine.AddSkylinePort(0, {});
    FakeMachine::PortSpec second;
    second.function = 1;
    machine.AddSkylinePort(1, second);
  }
  FakeNdisDevice& Port(uint32_t index) { return machine.ndis[FakeMachine::InterfaceGuid(index)]; }
};

TEST_F(DiagSessionTest, LockHeldByAnotherProcessIsReportedForThatAdapterOnly) {
  Start();
  auto otherProcess = machine.HoldMutex(LockName(1));
  EXPECT_EQ(ngNmapiInitDiag(2), ngNMAPI_LOCK_NIC_FAILED);
  EXPECT_TRUE(Logged("InitDiag() mutex exist, return ngNMAPI_LOCK_NIC_FAILED\r\n"));
  EXPECT_TRUE(Logged("ngNmapiInitDiag() InitDiag() return 24\r\n"));

  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].lockHeld, 0u);
  EXPECT_EQ(records[1].lockHeld, 1u);
  // The lock stays with its holder; the probe of adapter 1 left nothing behind.
  EXPECT_EQ(machine.mutexHandles[LockName(1)], 1);
  EXPECT_EQ(machine.mutexHandles.count(LockName(0)), 0u);
}

TEST_F(DiagSessionTest, SessionHoldsTheLockUntilClosed) {
  Start();
  ASSERT_EQ(ngNmapiInitDiag(1), ngNMAPI_OK);
  EXPECT_EQ(machine.mutexHandles[LockName(0)], 1);
  {
    LibraryLock guard = LockLibrary();
    AdapterNode* node = FindNode(1);
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(node->sessionDevice);
    EXPECT_EQ(node->ownerProcessId, 4242u);
    EXPECT_EQ(node->ownerThreadId, 77u);
  }
  // A second session on the same adapter finds the lock and leaves the first alone.
  EXPECT_EQ(ngNmapiInitDiag(1), ngNMAPI_LOCK_NIC_FAILED);
  EXPECT_EQ(machine.mutexHandles[LockName(0)], 1);
  EXPECT_EQ(ngNmapiUnInitDiag(1), ngNMAPI_OK);
  EXPECT_EQ(machine.mutexHandles.count(LockName(0)), 0u);
  {
    LibraryLock guard = LockLibrary();
    EXPECT_FALSE(FindNode(1)->sessionDevice);
    EXPECT_EQ(FindNode(1)->ownerProcessId, 0u);
  }
  // Closing a closed session changes nothing.
  EXPECT_EQ(ngNmapiUnInitDiag(1), ngNMAPI_OK);
}

TEST_F(DiagSessionTest, HandleAndStateChecks) {
  EXPECT_EQ(ngNmapiInitDiag(1), ngNMAPI_NOT_INITIALIZED);
  EXPECT_EQ(ngNmapiUnInitDiag(1), ngNMAPI_NOT_INITIALIZED);
  Start();
  EXPECT_EQ(ngNmapiInitDiag(3), ngNMAPI_INVALID_HANDLE);
  EXPECT_EQ(ngNmapiUnInitDiag(0), ngNMAPI_INVALID_HANDLE);
  EXPECT_TRUE(Logged("ngNmapiInitDiag(): invalid adapter handle"));
}

TEST_F(DiagSessionTest, DisabledOrStoppedDeviceNodeIsNotOpened) {
  machine.devices[0].problem = platform::CM_PROB_DISABLED;
  machine.devices[1].status = platform::DN_DRIVER_LOADED;  // not started
  Start();
  EXPECT_EQ(ngNmapiInitDiag(1), ngNMAPI_DRIVER_NOT_LOADED);
  EXPECT_TRUE(Logged("is disabled\r\n"));
  EXPECT_EQ(ngNmapiInitDiag(2), ngNMAPI_DRIVER_NOT_LOADED);
  EXPECT_TRUE(Logged("is not started\r\n"));
  EXPECT_TRUE(machine.mutexHandles.empty() ||
              machine.mutexHandles.count(LockName(0)) + machine.mutexHandles.count(LockName(1)) ==
                  0);
  std::vector<AdapterInfo> records = AllRecords();
  EXPECT_EQ(records[0].lockHeld, 0u);
  EXPECT_EQ(records[1].lockHeld, 0u);
}

TEST_F(DiagSessionTest, DeviceOpeningAtTheFifthTry) {
  Start();
  FakeNdisDevice& port = Port(0);
  port.openAttempts = 0;
  port.openAtTry = 5;
  machine.sleeps.clear();
  machine.debugOutput.clear();
  EXPECT_EQ(ngNmapiInitDiag(1), ngNMAPI_OK);
  EXPECT_EQ(machine.sleeps, (std::vector<uint32_t>{10, 10, 10, 10}));
  size_t failures = 0;
  for (const std::string& line : machine.debugOutput) {
    if (line.find("InitDiag() CreateFile() failed 0x00000002(" + FakeMachine::InterfaceGuid(0) +
                  ")\r\n") != std::string::npos) {
      ++failures;
    }
  }
  EXPECT_EQ(failures, 4u);
  EXPECT_EQ(ngNmapiUnInitDiag(1), ngNMAPI_OK);
}

TEST_F(DiagSessionTest, DeviceThatNeverOpensReleasesTheLock) {
  Start();
  machine.ndis.erase(FakeMachine::InterfaceGuid(0));
  machine.sleeps.clear();
  EXPECT_EQ(ngNmapiInitDiag(1), ngNMAPI_DRIVER_NOT_LOADED);
  EXPECT_EQ(machine.sleeps.size(), 19u);
  EXPECT_TRUE(Logged("InitDiag() CreateFile() failed after 20 tries(" +
                     FakeMachine::InterfaceGuid(0) + ")\r\n"));
  EXPECT_EQ(machine.mutexHandles.count(LockName(0)), 0u);
  LibraryLock guard = LockLibrary();
  EXPECT_EQ(FindNode(1)->info.deviceOpen, 0u);
}

TEST_F(DiagSessionTest, UninitializeClosesAnOpenSession) {
  Start();
  ASSERT_EQ(ngNmapiInitDiag(2), ngNMAPI_OK);
  EXPECT_EQ(ngNmapiUninitialize(), ngNMAPI_OK);
  EXPECT_EQ(machine.mutexHandles.count(LockName(1)), 0u);
}

TEST(ChipIdentity, CombinesNumberRevisionAndMetal) {
  EXPECT_EQ(ChipId(0x4, 0x1, 0x0), 0x40100u);
  EXPECT_EQ(ChipId(0x3, 0x2, 0x1), 0x30201u);
  // Full register values, in 32 bits.
  EXPECT_EQ(ChipId(0x1234, 0x1FF, 0x2), 0x1235FF02u);
}

TEST_F(DiagSessionTest, ChipRegisterFailureLeavesChipIdAndIsLogged) {
  machine.registers["Norvane Skyline 25GbE Adapter"].erase(kChipRevisionRegister);
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  EXPECT_EQ(records[0].chipId, 0u);
  EXPECT_TRUE(Logged("VeloGetChipInfo(). Reading Chip Revision info failed \n"));
}

TEST_F(DiagSessionTest, VeloGetChipInfoRefusesOtherDriverKinds) {
  EXPECT_EQ(VeloGetChipInfo(nullptr), ngNMAPI_INVALID_PARAMETER);
  AdapterNode node;  // driverKind 4
  EXPECT_EQ(VeloGetChipInfo(&node), ngNMAPI_INVALID_PARAMETER);
  EXPECT_EQ(GetSriovInfo(nullptr), ngNMAPI_INVALID_PARAMETER);
}

TEST_F(DiagSessionTest, SriovStates) {
  // Port 0: enabled with counts. Port 1: no settings instance.
  machine.sriov[FakeMachine::InterfaceGuid(0)] = FakeSriov{true, true, 8, 2};
  machine.sriov[FakeMachine::InterfaceGuid(1)].present = false;
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  EXPECT_EQ(records[0].sriovState, kSriovEnabled);
  EXPECT_EQ(records[0].numVfs, 8);
  EXPECT_EQ(records[0].numAllocatedVfs, 2);
  EXPECT_EQ(records[1].sriovState, kSriovUndetermined);

  // Undetermined is asked again at the next hand-out; determined is kept.
  uint32_t queries = machine.sriovQueries;
  machine.sriov[FakeMachine::InterfaceGuid(1)] = FakeSriov{true, false, 0, 0};
  records = AllRecords();
  EXPECT_EQ(records[1].sriovState, kSriovDisabled);
  EXPECT_EQ(machine.sriovQueries, queries + 1);
  records = AllRecords();
  EXPECT_EQ(machine.sriovQueries, queries + 1);
}

TEST_F(NmapiTest, SriovFixedListDevicesAreNotQueried) {
  FakeMachine::PortSpec firstGeneration;
  firstGeneration.deviceId = 0x0B04;
  machine.AddSkylinePort(0, firstGeneration);
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].sriovState, kSriovFixedList);
  EXPECT_EQ(records[0].numVfs, 0);
  EXPECT_EQ(machine.sriovQueries, 0u);
}

TEST_F(NmapiTest, UnreachableWmiLeavesChipAndSriovUndetermined) {
  machine.AddSkylinePort(0, {});
  machine.wmiReachable = false;
  Start();
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].chipId, 0u);
  EXPECT_EQ(records[0].bar[0], 0u);
  EXPECT_EQ(records[0].sriovState, kSriovUndetermined);
  EXPECT_TRUE(Logged("VeloGetChipInfo(). Reading Chip number info failed \n"));
}

}  // namespace
}  // namespace skyfw::test
