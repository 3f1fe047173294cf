#include "win32_test_support.h"

#include <atomic>

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32/win32_platform.h"
#include "win32/windows_api.h"

namespace skyfw::win32::testing {

platform::Platform& Win32() {
  static std::unique_ptr<platform::Platform> platform = CreateWin32Platform();
  return *platform;
}

std::string UniqueName(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

void DeleteRegistryTree(const std::string& path) {
  std::wstring wide = platform::ToWide(path).value();
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, wide.c_str());
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, wide.c_str());
}

std::string ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return Narrow(folder.substr(0, folder.rfind(L'\\') + 1));
}

struct MutexHolderProcess::Handles {
  OwnedHandle owned_event;
  OwnedHandle finish_event;
  OwnedHandle process;
};

MutexHolderProcess::MutexHolderProcess(const std::string& mutex_name, Mode mode)
    : handles_(std::make_unique<Handles>()) {
  std::string owned = UniqueName("skyfw-contract-owned");
  std::string finish = UniqueName("skyfw-contract-finish");
  const std::wstring wide_owned = platform::ToWide(owned).value();
  const std::wstring wide_finish = platform::ToWide(finish).value();
  handles_->owned_event.reset(::CreateEventW(nullptr, TRUE, FALSE, wide_owned.c_str()));
  handles_->finish_event.reset(::CreateEventW(nullptr, TRUE, FALSE, wide_finish.c_str()));
  std::wstring program = platform::ToWide(ProgramFolder() + "skyfw_test_mutex_holder.exe").value();
  std::wstring command = L"\"" + program + L"\" \"" + platform::ToWide(mutex_name).value() +
                         L"\" " + (mode == kHold ? L"hold" : L"abandon") + L" \"" + wide_owned +
                         L"\" \"" + wide_finish + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
    ::CloseHandle(process.hThread);
    handles_->process.reset(process.hProcess);
  }
}

MutexHolderProcess::~MutexHolderProcess() {
  if (handles_->process) Finish();
}

bool MutexHolderProcess::WaitUntilOwned() {
  if (!handles_->process || !handles_->owned_event) return false;
  HANDLE either[] = {handles_->owned_event.get(), handles_->process.get()};
  // The process ending first means it failed.
  return ::WaitForMultipleObjects(2, either, FALSE, 60000) == WAIT_OBJECT_0;
}

uint32_t MutexHolderProcess::Finish() {
  if (!handles_->process) return ERROR_INVALID_HANDLE;
  ::SetEvent(handles_->finish_event.get());
  ::WaitForSingleObject(handles_->process.get(), 60000);
  DWORD code = ERROR_GEN_FAILURE;
  ::GetExitCodeProcess(handles_->process.get(), &code);
  handles_->process.reset();
  return code;
}

}  // namespace skyfw::win32::testing
