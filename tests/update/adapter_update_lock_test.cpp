// The per-adapter update lock that installations and backups hold: a second
// holder waits, another adapter does not, and a machine without named
// mutexes leaves the update unguarded rather than impossible.
#include "update/adapter_update_lock.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "sim/machine/machine.h"
#include "support/s2_machine.h"

namespace skyfw::testing {
namespace {

using State = AdapterUpdateLock::State;

class AdapterUpdateLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim::OpenMachine(WriteS2Machine(dir_), machine_, error)) << error;
    platform::Install(machine_.get());
  }
  void TearDown() override { platform::Install(nullptr); }

  // The lock as another thread sees it while this one may hold it.
  static State StateElsewhere(const char* adapter, uint32_t wait_ms) {
    return std::async(std::launch::async,
                      [adapter, wait_ms] { return AdapterUpdateLock(adapter, wait_ms).state(); })
        .get();
  }

  TempDir dir_;
  std::unique_ptr<platform::Platform> machine_;
};

TEST_F(AdapterUpdateLockTest, OneHolderPerAdapter) {
  {
    AdapterUpdateLock held("Skyline a0", 0);
    ASSERT_EQ(held.state(), State::kHeld);
    EXPECT_EQ(StateElsewhere("Skyline a0", 20), State::kBusy);
    EXPECT_EQ(StateElsewhere("Skyline a1", 0), State::kHeld);
  }
  EXPECT_EQ(StateElsewhere("Skyline a0", 0), State::kHeld);
}

TEST_F(AdapterUpdateLockTest, ASecondHolderGoesWhenTheFirstIsDone) {
  auto first = std::make_unique<AdapterUpdateLock>("Skyline a0", 0);
  ASSERT_EQ(first->state(), State::kHeld);
  std::future<State> second = std::async(std::launch::async, [] {
    return AdapterUpdateLock("Skyline a0", kAdapterUpdateWaitMs).state();
  });
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  first.reset();
  EXPECT_EQ(second.get(), State::kHeld);
}

TEST_F(AdapterUpdateLockTest, NamesFitAnyAdapterName) {
  const std::string long_name(2000, 'x');
  for (const std::string& adapter :
       {std::string("Skyline a0"), long_name, std::string("Skyline \\ #2 \xC3\xA9")}) {
    SCOPED_TRACE(adapter.size());
    EXPECT_EQ(AdapterUpdateLock(adapter, 0).state(), State::kHeld);
  }
  EXPECT_NE(AdapterUpdateLockName("Skyline a0"), AdapterUpdateLockName("Skyline a1"));
}

TEST(AdapterUpdateLockWithoutMutexes, LeavesTheUpdateUnguarded) {
  platform::Install(&platform::Minimal());  // refuses named mutexes
  AdapterUpdateLock lock("Skyline a0", 0);
  EXPECT_EQ(lock.state(), State::kUnavailable);
  EXPECT_FALSE(lock.busy());
  platform::Install(nullptr);
}

}  // namespace
}  // namespace skyfw::testing
