#include "diag/critical_section.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "diag/trace_log.h"
#include "support/capturing_platform.h"

namespace skyfw {
namespace {

TEST(NMCCriticalSectionTest, LockIsExclusiveBetweenThreadsAndReentrant) {
  NMCCriticalSection section;
  ASSERT_TRUE(section.Lock(0));
  ASSERT_TRUE(section.Lock(0));  // the owner may enter again
  std::atomic<bool> entered{false};
  std::thread other([&] {
    section.Lock(0);
    entered = true;
    section.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered);
  EXPECT_TRUE(section.Unlock());
  EXPECT_TRUE(section.Unlock());
  other.join();
  EXPECT_TRUE(entered);
}

TEST(NMCCriticalSectionTest, ProbeReportsUnlockedAndLeavesItFree) {
  NMCCriticalSection section;
  EXPECT_FALSE(section.IsLocked());
  CSyncObject& base = section;
  EXPECT_TRUE(base.Lock(0));  // still free after the probe
  EXPECT_TRUE(base.Unlock());
}

TEST(NMCCriticalSectionTest, DumpDescribesBothLayers) {
  testing::CapturingPlatform platform;
  TraceCreateLock();
  TraceOpen(nullptr);
  NMCCriticalSection section;
  section.Dump("lock");
  TraceClose();
  TraceDestroyLock();
  auto lines = platform.debugger_lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "[QVFWUPG LIB :INFO ] 1234.5678: lock::NMCCriticalSection\r\n");
  EXPECT_EQ(lines[2], "[QVFWUPG LIB :INFO ] 1234.5678: lock::CSyncObject\r\n");
  EXPECT_NE(lines[4].find("CSyncObject.m_hObject(0) at address["), std::string::npos);
  EXPECT_NE(lines[5].find("NMCCriticalSection.m_sect at address["), std::string::npos);
}

}  // namespace
}  // namespace skyfw
