#include "win32/win32_system.h"

#include <string>

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

// Fills a growing buffer from a call that answers the units written, or the
// whole buffer when the text was cut (GetModuleFileName, GetSystemDirectory).
template <typename Call>
uint32_t ReadGrowingText(Call call, std::string& text) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD written = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (written == 0) return ::GetLastError();
    if (written < buffer.size()) {
      buffer.resize(written);
      text = Narrow(buffer);
      return ERROR_SUCCESS;
    }
    if (buffer.size() >= 32768) return ERROR_INSUFFICIENT_BUFFER;  // longer than any path
    buffer.resize(buffer.size() * 2);
  }
}

// An address inside this module, to find the module it lies in.
void AnchorInThisModule() {}

}  // namespace

void Win32System::OutputDebugString(std::string_view text) {
  // The wide call keeps UTF-8 text intact; the A call would read it as ANSI.
  // Text, not a name: a bad byte shows as U+FFFD.
  std::wstring wide = Widen(Utf8ToUtf16(text));
  ::OutputDebugStringW(wide.c_str());
}

uint32_t Win32System::GetCurrentProcessId() { return ::GetCurrentProcessId(); }
uint32_t Win32System::GetCurrentThreadId() { return ::GetCurrentThreadId(); }
uint32_t Win32System::GetTickCount() { return ::GetTickCount(); }
void Win32System::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

uint32_t Win32System::GetComputerName(std::string& name) {
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(buffer, &size)) return ::GetLastError();
  name = Narrow(std::wstring_view(buffer, size));
  return ERROR_SUCCESS;
}

uint32_t Win32System::GetCommonAppDataFolder(std::string& path) {
  wchar_t buffer[MAX_PATH] = {};
  HRESULT result =
      ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
  if (FAILED(result)) {
    return HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : ERROR_PATH_NOT_FOUND;
  }
  std::wstring folder(UpToZero(buffer, MAX_PATH));
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  path = Narrow(folder);
  return ERROR_SUCCESS;
}

uint32_t Win32System::GetSystemDirectory(std::string& path) {
  return ReadGrowingText(
      [](wchar_t* buffer, DWORD size) {
        // Answers the size needed (with terminator) when the buffer is short.
        UINT written = ::GetSystemDirectoryW(buffer, size);
        return written >= size ? size : written;
      },
      path);
}

uint32_t Win32System::LibraryExportsFunction(std::string_view library_path,
                                             std::string_view function) {
  const std::optional<std::wstring> path = platform::ToWide(library_path);
  if (!path) return ERROR_NO_UNICODE_TRANSLATION;
  OwnedLibrary library(::LoadLibraryExW(path->c_str(), nullptr, 0));
  if (!library) return ERROR_MOD_NOT_FOUND;
  std::string name(function);
  if (::GetProcAddress(library.get(), name.c_str()) == nullptr) return ERROR_PROC_NOT_FOUND;
  return ERROR_SUCCESS;
}

uint32_t Win32System::GetModuleFileName(std::string& path) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&AnchorInThisModule), &module)) {
    return ::GetLastError();
  }
  return ReadGrowingText(
      [module](wchar_t* buffer, DWORD size) { return ::GetModuleFileNameW(module, buffer, size); },
      path);
}

void Win32System::SetLastError(uint32_t error) {
  // The seam's last error is its own (other seam calls never change it);
  // Windows' copy is kept in step for debuggers and the host.
  platform::System::SetLastError(error);
  ::SetLastError(error);
}

bool Win32System::FormatMessage(uint32_t code, std::string& text) {
  wchar_t* message = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  OwnedLocal owned(message);
  if (length == 0 || message == nullptr) return false;
  text = Narrow(std::wstring_view(message, length));
  return true;
}

}  // namespace skyfw::win32
