// Named mutexes between processes (fork) and threads: existence while any
// handle is open, ownership, release, abandonment when the owner dies.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "machine_fixture.h"
#include "sim/machine_mutexes.h"

namespace skyfw::sim {
namespace {

using namespace skyfw::platform;
using testing::MachineFixture;
using testing::SmallMachine;

constexpr const char* kLockName = "Global\\{FBCBECF0-D87B-11d5-A4CF-00104BCD3937}{guid}";

// A child process that opens the machine itself, creates the mutex owned,
// reports the result over a pipe and keeps everything until told to die.
class ChildHolder {
 public:
  ChildHolder(const std::filesystem::path& machine_directory, bool owned) {
    int to_parent[2], to_child[2];
    EXPECT_EQ(::pipe(to_parent), 0);
    EXPECT_EQ(::pipe(to_child), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(to_parent[0]);
      ::close(to_child[1]);
      std::unique_ptr<Platform> machine;
      std::string error;
      uint32_t result = 0xFFFFFFFF;
      std::unique_ptr<NamedMutex> mutex;
      if (OpenMachine(machine_directory, machine, error)) {
        result = machine->mutexes().CreateMutex(nullptr, owned, kLockName, mutex);
      }
      if (::write(to_parent[1], &result, sizeof result) != sizeof result) ::_exit(2);
      char go = 0;
      if (::read(to_child[0], &go, 1) != 1) ::_exit(3);
      ::_exit(0);  // dies holding the handle (and the ownership)
    }
    ::close(to_parent[1]);
    ::close(to_child[0]);
    from_child_ = to_parent[0];
    to_child_ = to_child[1];
    EXPECT_EQ(::read(from_child_, &result_, sizeof result_), static_cast<ssize_t>(sizeof result_));
  }
  ~ChildHolder() { Kill(); }

  uint32_t result() const { return result_; }
  void Kill() {
    if (pid_ <= 0) return;
    char go = 1;
    EXPECT_EQ(::write(to_child_, &go, 1), 1);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(from_child_);
    ::close(to_child_);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int from_child_ = -1;
  int to_child_ = -1;
  uint32_t result_ = 0;
};

TEST(MachineMutexes, ExistsWhileAnotherProcessHoldsAHandleAndIsAbandonedWhenItDies) {
  MachineFixture fixture(SmallMachine());
  ChildHolder child(fixture.directory(), /*owned=*/true);
  ASSERT_EQ(child.result(), ERROR_SUCCESS);

  Mutexes& mutexes = fixture.machine().mutexes();
  std::unique_ptr<NamedMutex> mutex;
  ASSERT_EQ(mutexes.CreateMutex(nullptr, true, kLockName, mutex), ERROR_ALREADY_EXISTS);
  ASSERT_NE(mutex, nullptr);
  // initial_owner is ignored for an existing mutex: the child still owns it.
  EXPECT_EQ(mutex->Wait(30), WAIT_TIMEOUT);
  EXPECT_EQ(mutex->Release(), ERROR_NOT_OWNER);

  auto states = ListMutexes(fixture.directory());
  ASSERT_EQ(states.size(), 1u);
  EXPECT_EQ(states[0].name, kLockName);
  EXPECT_TRUE(states[0].exists);
  EXPECT_TRUE(states[0].owned);
  EXPECT_NE(states[0].owner_process, 0u);

  child.Kill();
  EXPECT_EQ(mutex->Wait(1000), WAIT_ABANDONED);
  EXPECT_EQ(mutex->Release(), ERROR_SUCCESS);
  EXPECT_EQ(mutex->Wait(0), WAIT_OBJECT_0);  // a clean release is not abandoned
  EXPECT_EQ(mutex->Release(), ERROR_SUCCESS);

  // The last handle on the machine closes: the mutex is gone.
  mutex.reset();
  EXPECT_FALSE(ListMutexes(fixture.directory())[0].exists);
  ASSERT_EQ(mutexes.CreateMutex(nullptr, false, kLockName, mutex), ERROR_SUCCESS);
}

TEST(MachineMutexes, DiagnosticLockPatternAcrossProcesses) {
  MachineFixture fixture(SmallMachine());
  std::unique_ptr<NamedMutex> mine;
  ASSERT_EQ(fixture.machine().mutexes().CreateMutex(nullptr, true, kLockName, mine), ERROR_SUCCESS);
  {
    ChildHolder child(fixture.directory(), /*owned=*/true);
    EXPECT_EQ(child.result(), ERROR_ALREADY_EXISTS);
  }
  mine.reset();  // closing the handle is the only release
  ChildHolder child(fixture.directory(), /*owned=*/true);
  EXPECT_EQ(child.result(), ERROR_SUCCESS);
}

TEST(MachineMutexes, OwnershipIsPerThreadAndRecursive) {
  MachineFixture fixture(SmallMachine());
  std::unique_ptr<NamedMutex> first, second;
  ASSERT_EQ(fixture.machine().mutexes().CreateMutex(nullptr, true, "Global\\log", first),
            ERROR_SUCCESS);
  // A second handle in the same process: the mutex exists, and the owning
  // thread may wait on it again (recursively).
  ASSERT_EQ(fixture.machine().mutexes().CreateMutex(nullptr, false, "Global\\log", second),
            ERROR_ALREADY_EXISTS);
  EXPECT_EQ(second->Wait(0), WAIT_OBJECT_0);

  uint32_t other_wait = 0, other_release = 0;
  std::thread other([&] {
    other_release = second->Release();
    other_wait = second->Wait(20);
  });
  other.join();
  EXPECT_EQ(other_release, ERROR_NOT_OWNER);
  EXPECT_EQ(other_wait, WAIT_TIMEOUT);

  EXPECT_EQ(first->Release(), ERROR_SUCCESS);
  EXPECT_EQ(first->Release(), ERROR_SUCCESS);
  EXPECT_EQ(first->Release(), ERROR_NOT_OWNER);
  std::thread taker([&] { other_wait = second->Wait(100); });
  taker.join();
  EXPECT_EQ(other_wait, WAIT_OBJECT_0);
}

TEST(MachineMutexes, NamesAreCaseSensitiveAndMayNotBeEmpty) {
  MachineFixture fixture(SmallMachine());
  std::unique_ptr<NamedMutex> upper, lower, empty;
  EXPECT_EQ(fixture.machine().mutexes().CreateMutex(nullptr, false, "Global\\ABC", upper),
            ERROR_SUCCESS);
  EXPECT_EQ(fixture.machine().mutexes().CreateMutex(nullptr, false, "Global\\abc", lower),
            ERROR_SUCCESS);
  EXPECT_EQ(fixture.machine().mutexes().CreateMutex(nullptr, false, "", empty), ERROR_INVALID_NAME);
}

}  // namespace
}  // namespace skyfw::sim
