// skyfw_test_mutex_holder NAME hold|abandon OWNED_EVENT FINISH_EVENT
// Creates the named mutex owned through the Win32 platform, signals
// OWNED_EVENT and waits for FINISH_EVENT. Then "hold" releases it and ends
// with 0; "abandon" ends without releasing it, as a crashed owner would.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "win32/wide_text.h"
#include "win32/win32_platform.h"
#include "win32/windows_api.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  std::unique_ptr<skyfw::platform::Platform> platform = skyfw::win32::CreateWin32Platform();
  std::unique_ptr<skyfw::platform::NamedMutex> mutex;
  uint32_t created =
      platform->mutexes().CreateMutex(nullptr, true, skyfw::win32::Narrow(argv[1]), mutex);
  if (created != ERROR_SUCCESS || !mutex) return 3;
  HANDLE owned = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
  HANDLE finish = ::OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
  if (owned == nullptr || finish == nullptr) return 4;
  ::SetEvent(owned);
  if (::WaitForSingleObject(finish, 60000) != WAIT_OBJECT_0) return 5;
  if (std::wcscmp(argv[2], L"abandon") == 0) {
    // No destructor may run: the handle must die with the process, owned.
    ::ExitProcess(0);
  }
  if (mutex->Release() != ERROR_SUCCESS) return 6;
  mutex.reset();
  ::CloseHandle(owned);
  ::CloseHandle(finish);
  return 0;
}
