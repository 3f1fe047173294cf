#include "os/shared_library.h"

#include <filesystem>

#include "os/file_names.h"
#include "os/process_facts.h"

#if defined(_WIN32)
#include <windows.h>

#include "base/unicode.h"
#else
#include <dlfcn.h>
#endif

namespace skyfw::platform {

namespace {

bool IsBareName(const std::string& path) {
#if defined(_WIN32)
  return path.find_first_of("\\/:") == std::string::npos;
#else
  return path.find('/') == std::string::npos;
#endif
}

}  // namespace

SharedLibrary::~SharedLibrary() { Close(); }

#if defined(_WIN32)

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

#else

bool SharedLibrary::Open(const std::string& path, std::string& error) {
  Close();
  std::string file = IsBareName(path) ? "./" + path : path;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown error";
    return false;
  }
  return true;
}

void SharedLibrary::Close() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* SharedLibrary::Find(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

#endif

std::string ProgramFolder() {
  std::string program;
  if (!OsProgramFileName(program)) return {};
  const size_t separator = program.find_last_of(kPathSeparator);
  return separator == std::string::npos ? std::string() : program.substr(0, separator);
}

}  // namespace skyfw::platform
