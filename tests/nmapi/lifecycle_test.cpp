// Starting and stopping the library.
#include <string>

#include "base/fixed_text.h"
#include "nmapi_fixture.h"

namespace skyfw::test {
namespace {

using testing::ReadFile;

const std::string kInstanceMutex = "Global\\{FBCBECF0-D87B-11d5-A4CF-00104BCD3937}";
const std::string kLogMutex = "Global\\{A9E87B9A-5DF5-456E-A7B0-541403816CE6}";

class LifecycleTest : public NmapiTest {};

TEST_F(LifecycleTest, WrongVersionWordsChangeNothing) {
  machine.AddSkylinePort(0, {});
  EXPECT_EQ(ngNmapiInitialize(216, 0, 40), ngNMAPI_VERSION_MISMATCH);
  EXPECT_EQ(ngNmapiInitialize(215, 0, 41), ngNMAPI_VERSION_MISMATCH);
  EXPECT_EQ(ngNmapiInitialize(216, 1, 41), ngNMAPI_VERSION_MISMATCH);
  EXPECT_TRUE(machine.mutexHandles.empty());
  EXPECT_TRUE(machine.debugOutput.empty());
  EXPECT_FALSE(std::filesystem::exists(LogFile(machine)));
  uint32_t count = 0;
  EXPECT_EQ(ngNmapiGetNumPhyNic(&count), ngNMAPI_NOT_INITIALIZED);
}

TEST_F(LifecycleTest, NoAdapterStartLeavesTheLibraryUninitialized) {
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  EXPECT_TRUE(Logged("ngNmapiInitialize(): initialize failed(21)"));
  uint32_t count = 0;
  EXPECT_EQ(ngNmapiGetNumPhyNic(&count), ngNMAPI_NOT_INITIALIZED);
  AdapterInfo record{};
  EXPECT_EQ(ngNmapiGetAllPhyNic(&record, 1), ngNMAPI_NOT_INITIALIZED);
  EXPECT_EQ(ngNmapiUninitialize(), ngNMAPI_OK);
  EXPECT_TRUE(Logged("ngNmapiUninitialize(): NMAPI had already uninitialized"));
}

TEST_F(LifecycleTest, FailedStartHoldsNoMutex) {
  // Found by the fault sweep: a start that failed kept the instance mutex
  // owned and the log mutex open after the host's call had returned.
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  EXPECT_TRUE(Logged("ngNmapiInitialize(): initialize failed(21)"));
  EXPECT_TRUE(machine.mutexHandles.empty());
  // The next start creates them again.
  machine.AddSkylinePort(0, {});
  Start();
  EXPECT_EQ(machine.mutexHandles.size(), 2u);
}

TEST_F(LifecycleTest, StartAndStopWriteTheirLogLines) {
  machine.AddSkylinePort(0, {});
  Start();
  EXPECT_EQ(ngNmapiUninitialize(), ngNMAPI_OK);
  std::string log = ReadFile(LogFile(machine).string());
  const char* expected[] = {
      "NMAPI INFORMATION 123456 4242.77: Enter InitInternalData()",
      "NMAPI INFORMATION 123456 4242.77: Read configuration\r\n",
      "NMAPI INFORMATION 123456 4242.77: InitInternalData() return ngNMAPI_OK",
      "NMAPI INFORMATION 123456 4242.77: ngNmapiInitialize() return ngNMAPI_OK",
      "NMAPI INFORMATION 123456 4242.77: Enter ngNmapiUninitialize()",
      "NMAPI INFORMATION 123456 4242.77: ngNmapiUninitialize(): refcnt(1)",
      "NMAPI INFORMATION 123456 4242.77: ngNmapiUninitialize() return ngNMAPI_OK",
      "NMAPI INFORMATION 123456 4242.77: UnInitializeLogFile() close logging system\r\n",
  };
  size_t position = 0;
  for (const char* line : expected) {
    size_t found = log.find(line, position);
    ASSERT_NE(found, std::string::npos) << line << "\n" << log;
    position = found;
  }
  // Stopping let go of the instance and log mutexes.
  EXPECT_TRUE(machine.mutexHandles.empty());
}

TEST_F(LifecycleTest, InitializeTwiceThenUninitializeTwice) {
  machine.AddSkylinePort(0, {});
  machine.AddSkylinePort(1, {});
  Start();
  ASSERT_EQ(ngNmapiInitDiag(2), ngNMAPI_OK);
  EXPECT_EQ(machine.mutexHandles[kInstanceMutex], 1);

  // The second start replaces the first: new list, count 1, the old session
  // and the old instance mutex handle released.
  machine.AddSkylinePort(2, {});
  Start();
  EXPECT_EQ(machine.mutexHandles[kInstanceMutex], 1);
  EXPECT_EQ(machine.mutexHandles[kLogMutex], 1);
  EXPECT_EQ(machine.mutexHandles.size(), 2u);
  EXPECT_FALSE(Logged("ngNmapiInitializeEx() get mutex failed"));
  std::vector<AdapterInfo> records = AllRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].handle, 3u);
  EXPECT_EQ(records[1].lockHeld, 0u);
  EXPECT_EQ(State().referenceCount, 1u);

  EXPECT_EQ(ngNmapiUninitialize(), ngNMAPI_OK);
  EXPECT_TRUE(machine.mutexHandles.empty());
  EXPECT_EQ(State().referenceCount, 0u);
  EXPECT_TRUE(State().adapters.empty());

  // The second stop finds nothing to stop and succeeds. The first closed the
  // log and cleared its level mask, and a stop does not read the
  // configuration again (logging is on there): its messages reach neither
  // the log file nor the debugger, and it takes no mutex.
  const std::string log_after_first_stop = ReadFile(LogFile(machine).string());
  ASSERT_NE(log_after_first_stop.find("ngNmapiUninitialize() return ngNMAPI_OK"),
            std::string::npos);
  machine.debugOutput.clear();
  EXPECT_EQ(ngNmapiUninitialize(), ngNMAPI_OK);
  EXPECT_EQ(ReadFile(LogFile(machine).string()), log_after_first_stop);
  EXPECT_TRUE(machine.debugOutput.empty());
  EXPECT_EQ(State().levelMask, 0u);
  EXPECT_EQ(State().referenceCount, 0u);
  EXPECT_TRUE(machine.mutexHandles.empty());
}

TEST_F(LifecycleTest, InstanceMutexHeldElsewhereIsLoggedAndTheStartGoesOn) {
  machine.AddSkylinePort(0, {});
  auto otherLibrary = machine.HoldMutex(kInstanceMutex);
  Start();
  EXPECT_TRUE(Logged("ngNmapiInitializeEx() get mutex failed(183)\r\n"));
  EXPECT_EQ(machine.mutexHandles[kInstanceMutex], 1);  // only the other holder's
  EXPECT_EQ(AllRecords().size(), 1u);
}

}  // namespace
}  // namespace skyfw::test
