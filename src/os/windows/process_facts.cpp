#include "os/process_facts.h"

#include <windows.h>

#include "base/unicode.h"

namespace skyfw::platform {

namespace {

// A module's file name of any length.
bool ModuleFileName(HMODULE module, std::string& path) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return false;
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    if (name.size() >= 32768) return false;
    name.resize(name.size() * 2);
  }
  path = FromWide(name);
  return true;
}

}  // namespace

uint32_t OsProcessId() { return GetCurrentProcessId(); }
uint32_t OsThreadId() { return GetCurrentThreadId(); }
uint32_t OsTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

bool OsHostName(std::string& name) {
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buffer, &length)) return false;
  name = FromWide(std::wstring_view(buffer, length));
  return true;
}

bool OsModuleFileName(std::string& path) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&OsModuleFileName), &module)) {
    return false;
  }
  return ModuleFileName(module, path);
}

bool OsProgramFileName(std::string& path) { return ModuleFileName(nullptr, path); }

}  // namespace skyfw::platform
