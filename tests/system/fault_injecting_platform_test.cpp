// The counting, failing platform the sweep runs on.
#include "support/fault_injecting_platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "sim/machine/machine.h"
#include "support/temp_dir.h"
#include "system/sweep_scene.h"

namespace skyfw::testing {
namespace {

using namespace platform;

class FaultInjectingPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim::InitMachine(dir_.File("machine"), SweepMachineJson(), error)) << error;
    ASSERT_TRUE(sim::OpenMachine(dir_.File("machine"), machine_, error)) << error;
    faults_ = std::make_unique<FaultInjectingPlatform>(*machine_);
  }

  TempDir dir_;
  std::unique_ptr<Platform> machine_;
  std::unique_ptr<FaultInjectingPlatform> faults_;
};

TEST_F(FaultInjectingPlatformTest, FailsTheChosenCallAsWindowsWould) {
  struct Case {
    const char* name;
    std::function<int64_t(Platform&)> call;
    int64_t failure;
  };
  const Case cases[] = {
      {"Registry.OpenKey",
       [](Platform& p) {
         std::unique_ptr<RegistryKey> key;
         return p.registry().OpenKey("SYSTEM", KEY_READ, key);
       },
       ERROR_ACCESS_DENIED},
      {"Devices.GetClassDevs",
       [](Platform& p) {
         std::unique_ptr<DeviceInfoSet> set;
         return p.devices().GetClassDevs(GUID_DEVCLASS_NET, DIGCF_PRESENT, set);
       },
       ERROR_NOT_ENOUGH_MEMORY},
      {"Devices.GetDeviceInterfaceList",
       [](Platform& p) {
         std::vector<std::u16string> paths;
         return p.devices().GetDeviceInterfaceList(GUID_DEVCLASS_NET, 0, paths);
       },
       CR_FAILURE},
      {"DeviceIo.CreateFile",
       [](Platform& p) {
         std::unique_ptr<DeviceHandle> device;
         return p.deviceIo().CreateFile("\\\\.\\Global\\{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B10}",
                                        GENERIC_READ, FILE_SHARE_READ, device);
       },
       ERROR_ACCESS_DENIED},
      {"IpHelper.GetAdaptersInfo",
       [](Platform& p) {
         std::vector<IpAdapterInfo> adapters;
         return p.ipHelper().GetAdaptersInfo(adapters);
       },
       ERROR_NOT_ENOUGH_MEMORY},
      {"Services.OpenSCManager",
       [](Platform& p) {
         std::unique_ptr<ServiceManager> manager;
         return p.services().OpenSCManager(SC_MANAGER_ALL_ACCESS, manager);
       },
       ERROR_ACCESS_DENIED},
      {"Wmi.CoInitializeEx",
       [](Platform& p) {
         HRESULT result = p.wmi().CoInitializeEx(COINIT_MULTITHREADED);
         if (SUCCEEDED(result)) p.wmi().CoUninitialize();
         return result;
       },
       E_OUTOFMEMORY},
      {"EventLog.RegisterEventSource",
       [](Platform& p) {
         std::unique_ptr<EventSource> source;
         return p.eventLog().RegisterEventSource("Norvane", source);
       },
       ERROR_ACCESS_DENIED},
      {"Mutexes.CreateMutex",
       [](Platform& p) {
         std::unique_ptr<NamedMutex> mutex;
         return p.mutexes().CreateMutex(nullptr, false, "Global\\sweep", mutex);
       },
       ERROR_ACCESS_DENIED},
      {"System.InitializeSecurityDescriptor",
       [](Platform& p) {
         SecurityDescriptor descriptor;
         // A false answer tells its failure through the last error.
         return p.system().InitializeSecurityDescriptor(descriptor)
                    ? 0
                    : static_cast<int64_t>(p.system().GetLastError());
       },
       ERROR_NOT_ENOUGH_MEMORY},
  };
  for (const Case& c : cases) {
    FaultInjectingPlatform passing(*machine_);
    EXPECT_EQ(c.call(passing), 0) << c.name;
    EXPECT_EQ(passing.CallNames(), std::vector<std::string>{c.name});
    EXPECT_FALSE(passing.FailureInjected()) << c.name;

    FaultInjectingPlatform failing(*machine_);
    failing.FailCall(1);
    EXPECT_EQ(c.call(failing), c.failure) << c.name;
    EXPECT_TRUE(failing.FailureInjected()) << c.name;
  }
}

TEST_F(FaultInjectingPlatformTest, HandlesAreCountedFromOpeningToClosing) {
  std::unique_ptr<NamedMutex> mutex;
  ASSERT_EQ(faults_->mutexes().CreateMutex(nullptr, false, "Global\\sweep", mutex), ERROR_SUCCESS);
  EXPECT_EQ(faults_->OpenHandles(), 1);
  // The handle's own calls are numbered with the platform's.
  faults_->FailCall(3);
  EXPECT_EQ(mutex->Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(mutex->Release(), ERROR_NOT_OWNER);  // failed: still owned
  EXPECT_TRUE(faults_->FailureInjected());
  EXPECT_EQ(mutex->Release(), ERROR_SUCCESS);
  EXPECT_EQ(faults_->CallNames(),
            (std::vector<std::string>{"Mutexes.CreateMutex", "NamedMutex.Wait",
                                      "NamedMutex.Release", "NamedMutex.Release"}));
  mutex.reset();
  EXPECT_EQ(faults_->OpenHandles(), 0);

  EXPECT_TRUE(SUCCEEDED(faults_->wmi().CoInitializeEx(COINIT_MULTITHREADED)));
  EXPECT_EQ(faults_->ComInitializations(), 1);
  faults_->wmi().CoUninitialize();
  EXPECT_EQ(faults_->ComInitializations(), 0);
}

TEST_F(FaultInjectingPlatformTest, CallsThatCannotFailAreCountedApartAndPassedOn) {
  faults_->FailCall(1);
  System& system = faults_->system();
  EXPECT_EQ(system.GetCurrentProcessId(), machine_->system().GetCurrentProcessId());
  system.GetTickCount();
  system.SetLastError(ERROR_GEN_FAILURE);
  EXPECT_EQ(system.GetLastError(), ERROR_GEN_FAILURE);
  system.OutputDebugString("line");
  faults_->FixClock(1234);
  EXPECT_EQ(system.CurrentTime(), 1234);
  EXPECT_EQ(faults_->OtherCalls(), 6u);
  EXPECT_EQ(faults_->FailableCalls(), 0u);
  EXPECT_FALSE(faults_->FailureInjected());
}

}  // namespace
}  // namespace skyfw::testing
