// Machine-wide named mutexes through the Win32 platform, across processes.
#include <gtest/gtest.h>

#include <thread>

#include "win32_test_support.h"

namespace skyfw::win32::testing {
namespace {

using namespace platform;

std::string MutexName() { return "Global\\" + UniqueName("skyfw-contract-mutex"); }

// The descriptor the adapter library builds: every account may use the mutex.
struct OpenSecurity {
  OpenSecurity() {
    System& system = Win32().system();
    EXPECT_TRUE(system.InitializeSecurityDescriptor(descriptor));
    EXPECT_TRUE(system.SetSecurityDescriptorDacl(descriptor, true, true, false));
    attributes.descriptor = &descriptor;
  }
  SecurityDescriptor descriptor;
  SecurityAttributes attributes;
};

// A wait from another thread of this process, which does not own the mutex.
uint32_t WaitFromAnotherThread(NamedMutex& mutex, uint32_t timeout_ms) {
  uint32_t result = WAIT_FAILED;
  std::thread waiter([&] {
    result = mutex.Wait(timeout_ms);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) mutex.Release();
  });
  waiter.join();
  return result;
}

TEST(MutexContract, CreatedThenAlreadyExistsWithAValidHandle) {
  OpenSecurity security;
  std::string name = MutexName();
  std::unique_ptr<NamedMutex> first;
  ASSERT_EQ(Win32().mutexes().CreateMutex(&security.attributes, false, name, first), ERROR_SUCCESS);
  std::unique_ptr<NamedMutex> second;
  // initial_owner is ignored for a mutex that exists.
  ASSERT_EQ(Win32().mutexes().CreateMutex(&security.attributes, true, name, second),
            ERROR_ALREADY_EXISTS);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(second->Release(), ERROR_SUCCESS);
}

TEST(MutexContract, AMutexHeldByAnotherProcessTimesOutAndIsNotOurs) {
  std::string name = MutexName();
  MutexHolderProcess holder(name, MutexHolderProcess::kHold);
  ASSERT_TRUE(holder.WaitUntilOwned());

  std::unique_ptr<NamedMutex> mutex;
  ASSERT_EQ(Win32().mutexes().CreateMutex(nullptr, false, name, mutex), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(mutex->Wait(50), WAIT_TIMEOUT);
  EXPECT_EQ(mutex->Release(), ERROR_NOT_OWNER);

  EXPECT_EQ(holder.Finish(), 0u);
  EXPECT_EQ(mutex->Wait(10000), WAIT_OBJECT_0);
  EXPECT_EQ(mutex->Release(), ERROR_SUCCESS);
}

TEST(MutexContract, AnOwnerThatDiesLeavesItAbandoned) {
  std::string name = MutexName();
  MutexHolderProcess holder(name, MutexHolderProcess::kAbandon);
  ASSERT_TRUE(holder.WaitUntilOwned());
  std::unique_ptr<NamedMutex> mutex;
  ASSERT_EQ(Win32().mutexes().CreateMutex(nullptr, false, name, mutex), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(holder.Finish(), 0u);
  EXPECT_EQ(mutex->Wait(10000), WAIT_ABANDONED);
  // Abandoned, then owned: the next wait of its owner is an ordinary one.
  EXPECT_EQ(mutex->Release(), ERROR_SUCCESS);
}

TEST(MutexContract, ReleasingWithoutOwningIsRefused) {
  std::unique_ptr<NamedMutex> mutex;
  ASSERT_EQ(Win32().mutexes().CreateMutex(nullptr, false, MutexName(), mutex), ERROR_SUCCESS);
  EXPECT_EQ(mutex->Release(), ERROR_NOT_OWNER);
}

TEST(MutexContract, OwnershipIsRecursiveForItsThread) {
  std::unique_ptr<NamedMutex> mutex;
  ASSERT_EQ(Win32().mutexes().CreateMutex(nullptr, true, MutexName(), mutex), ERROR_SUCCESS);
  EXPECT_EQ(mutex->Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(mutex->Release(), ERROR_SUCCESS);
  EXPECT_EQ(WaitFromAnotherThread(*mutex, 0), WAIT_TIMEOUT);  // still owned once
  EXPECT_EQ(mutex->Release(), ERROR_SUCCESS);
  EXPECT_EQ(WaitFromAnotherThread(*mutex, 0), WAIT_OBJECT_0);
}

TEST(MutexContract, ClosingTheOwningHandleGivesOwnershipUp) {
  // What the adapter library relies on: a start that fails drops its owned
  // instance mutex by closing it, and no one is locked out afterwards.
  std::string name = MutexName();
  std::unique_ptr<NamedMutex> owner;
  ASSERT_EQ(Win32().mutexes().CreateMutex(nullptr, true, name, owner), ERROR_SUCCESS);
  EXPECT_EQ(owner->Wait(0), WAIT_OBJECT_0);  // owned twice
  std::unique_ptr<NamedMutex> other;
  ASSERT_EQ(Win32().mutexes().CreateMutex(nullptr, false, name, other), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitFromAnotherThread(*other, 0), WAIT_TIMEOUT);
  owner.reset();
  EXPECT_EQ(WaitFromAnotherThread(*other, 0), WAIT_OBJECT_0);
}

TEST(MutexContract, ADescriptorThatWasNeverInitialisedIsRefused) {
  SecurityDescriptor descriptor;  // InitializeSecurityDescriptor not called
  SecurityAttributes attributes;
  attributes.descriptor = &descriptor;
  std::unique_ptr<NamedMutex> mutex;
  EXPECT_NE(Win32().mutexes().CreateMutex(&attributes, false, MutexName(), mutex), ERROR_SUCCESS);
  EXPECT_EQ(mutex, nullptr);
}

}  // namespace
}  // namespace skyfw::win32::testing
