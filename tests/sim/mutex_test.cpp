// Named mutexes between processes and threads: existence while any handle is
// open, ownership, release, abandonment when the owner dies.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <thread>

#include "machine_fixture.h"
#include "os/environment.h"
#include "os/process_facts.h"
#include "sim/machine/machine_mutexes.h"
#include "support/child_process.h"

namespace skyfw::sim {
namespace {

using namespace skyfw::platform;
using testing::MachineFixture;
using testing::SmallMachine;

constexpr const char* kLockName = "Global\\{FBCBECF0-D87B-11d5-A4CF-00104BCD3937}{guid}";

// What a ChildHolder's process is told, through its environment.
constexpr const char* kChildMachine = "SKYFW_TEST_MUTEX_CHILD_MACHINE";
constexpr const char* kChildOwned = "SKYFW_TEST_MUTEX_CHILD_OWNED";

// A child process (this test program again, running only the test below)
// that opens the machine itself, creates the mutex, owned when asked, reports
// the result and keeps everything until told to die.
class ChildHolder {
 public:
  ChildHolder(const std::filesystem::path& machine_directory, bool owned) {
    std::string program;
    EXPECT_TRUE(OsProgramFileName(program));
    SetEnvironmentText(kChildMachine, machine_directory.string());
    SetEnvironmentText(kChildOwned, owned ? "1" : "0");
    std::string error;
    EXPECT_TRUE(child_.Start(program, {"--gtest_filter=MachineMutexesChild.*"}, error)) << error;
    SetEnvironmentText(kChildMachine, "");
    SetEnvironmentText(kChildOwned, "");
    // The test framework's own lines come first.
    std::string line;
    while (child_.ReadLine(line)) {
      if (line.rfind("result ", 0) == 0) {
        result_ = static_cast<uint32_t>(std::strtoul(line.c_str() + 7, nullptr, 10));
        return;
      }
    }
    ADD_FAILURE() << "the child did not report";
  }
  ~ChildHolder() { Kill(); }

  uint32_t result() const { return result_; }
  void Kill() {
    if (!child_.running()) return;
    EXPECT_TRUE(child_.Write("g"));
    child_.Wait();
  }

 private:
  skyfw::testing::ChildProcess child_;
  uint32_t result_ = 0xFFFFFFFF;
};

// The child's half of ChildHolder; skipped when the test program runs as
// itself.
TEST(MachineMutexesChild, HoldsTheMutexUntilToldToDie) {
  std::optional<std::string> machine_directory = GetEnvironmentText(kChildMachine);
  if (!machine_directory || machine_directory->empty()) {
    GTEST_SKIP() << "runs only as a ChildHolder's process";
  }
  const bool owned = GetEnvironmentText(kChildOwned).value_or("") == "1";
  std::unique_ptr<Platform> machine;
  std::string error;
  uint32_t result = 0xFFFFFFFF;
  std::unique_ptr<NamedMutex> mutex;
  if (OpenMachine(*machine_directory, machine, error)) {
    result = machine->mutexes().CreateMutex(nullptr, owned, kLockName, mutex);
  }
  std::printf("result %u\n", static_cast<unsigned>(result));
  std::fflush(stdout);
  char go = 0;
  if (std::fread(&go, 1, 1, stdin) != 1) std::_Exit(3);
  std::_Exit(0);  // dies holding the handle (and the ownership)
}

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

  // Their lock files differ in more than case, so they stay apart on a file
  // system that ignores case (Windows), and each name reads back whole.
  std::set<std::string> folded;
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(fixture.directory() / "locks")) {
    std::string name = entry.path().filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    folded.insert(name);
    ++files;
  }
  EXPECT_EQ(folded.size(), files);
  std::vector<std::string> names;
  for (const MutexState& state : ListMutexes(fixture.directory())) names.push_back(state.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Global\\ABC", "Global\\abc"}));
}

}  // namespace
}  // namespace skyfw::sim
