// What the Win32 contract tests share: the platform under test, names no
// other test process uses, and a second process that holds a mutex. No
// Windows header here, so the tests speak the seam's names.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace skyfw::win32::testing {

// The real platform, as the plug-in gets it on Windows.
platform::Platform& Win32();

// Registry paths and object names unique to this process and call, so that
// parallel test processes in one Wine prefix never meet.
std::string UniqueName(const std::string& stem);

// RegDeleteTree below HKEY_LOCAL_MACHINE; the tests' own keys only.
void DeleteRegistryTree(const std::string& path);

// The folder of this test program, with its trailing backslash (UTF-8).
std::string ProgramFolder();

// skyfw_test_mutex_holder in a second process: it creates `mutex_name`
// owned, says so, and holds it until Finish(); then it releases it (kHold)
// or ends without releasing it (kAbandon).
class MutexHolderProcess {
 public:
  enum Mode { kHold, kAbandon };
  MutexHolderProcess(const std::string& mutex_name, Mode mode);
  ~MutexHolderProcess();
  MutexHolderProcess(const MutexHolderProcess&) = delete;
  MutexHolderProcess& operator=(const MutexHolderProcess&) = delete;

  // True once the process owns the mutex (false when it could not start).
  bool WaitUntilOwned();
  // Lets the process go on and waits for its end. Its exit code: 0 when it
  // did as asked.
  uint32_t Finish();

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

}  // namespace skyfw::win32::testing
