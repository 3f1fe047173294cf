#include "os/shared_library.h"

#include <windows.h>

#include <filesystem>

#include "base/unicode.h"
#include "os/file_names.h"

namespace skyfw::platform {

namespace {

// A name without a folder or a drive.
bool IsBareName(const std::string& path) { return path.find_first_of("\\/:") == std::string::npos; }

}  // namespace

namespace {

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : L"";
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
    message.pop_back();
  }
  std::string utf8 = FromWide(message);
  return "error " + std::to_string(code) + (utf8.empty() ? "" : ": " + utf8);
}

}  // namespace

bool SharedLibrary::Open(const std::string& path, std::string& error) {
  Close();
  std::filesystem::path file;
  if (!ToFileSystemPath(IsBareName(path) ? ".\\" + path : path, file)) {
    error = "the name is not UTF-8 text";
    return false;
  }
  // The library's own folder first for its dependencies, as for a host that
  // names the plug-in by its full path.
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    error = SystemMessage(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<void*>(module);
  return true;
}

void SharedLibrary::Close() {
  if (handle_ != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* SharedLibrary::Find(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

}  // namespace skyfw::platform
