// What the adapter management library's tests share: a fake machine
// installed as the platform, the library's log switched on through its
// configuration file, and a stop of the library after every test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fake_machine.h"
#include "nmapi/library_state.h"
#include "nmapi/lifecycle.h"
#include "nmapi/nmapi.h"
#include "support/temp_dir.h"

namespace skyfw::test {

// Stops the library and lets go of everything it may still hold from a
// failed start (log file, mutexes), before the machine behind them goes.
inline void StopLibrary() {
  ngNmapiUninitialize();
  NmapiState& state = State();
  LibraryLock guard = LockLibrary();
  FreeInternalData();
  state.instanceMutex.reset();
  state.logMutex.reset();
  state.logFile.reset();
  state.levelMask = 0;
}

inline std::filesystem::path ConfigurationFile(const FakeMachine& machine) {
  return machine.commonAppData / "Norvane" / "Mgmt Apps" / "config" / "mgmtapps.conf";
}

inline std::filesystem::path LogFile(const FakeMachine& machine) {
  return machine.commonAppData / "Norvane" / "Mgmt Apps" / "log" / "ngnmapi.log";
}

inline void WriteConfiguration(const FakeMachine& machine, const std::string& text) {
  std::filesystem::create_directories(ConfigurationFile(machine).parent_path());
  testing::WriteFile(ConfigurationFile(machine).string(), text);
}

class NmapiTest : public ::testing::Test {
 protected:
  NmapiTest() { WriteConfiguration(machine, "ngnmapi 1\n"); }
  ~NmapiTest() override { StopLibrary(); }

  // Starts the library; the test fails when it does not start.
  void Start() { ASSERT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_OK) << machine.DebugText(); }

  // The records of every adapter, refreshed at hand-out.
  std::vector<AdapterInfo> AllRecords() {
    uint32_t count = 0;
    EXPECT_EQ(ngNmapiGetNumPhyNic(&count), ngNMAPI_OK);
    std::vector<AdapterInfo> records(count);
    if (count != 0) {
      EXPECT_EQ(ngNmapiGetAllPhyNic(records.data(), count), ngNMAPI_OK);
    }
    return records;
  }

  bool Logged(const std::string& text) const {
    return machine.DebugText().find(text) != std::string::npos;
  }

  FakeMachine machine;
};

}  // namespace skyfw::test
