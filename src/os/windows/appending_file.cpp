#include "os/appending_file.h"

#include <windows.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "os/windows/win32_errors.h"

namespace skyfw::platform {
namespace {

// The whole range, so that every lock of one file conflicts with every other.
bool LockWhole(HANDLE handle, DWORD flags) {
  OVERLAPPED at{};
  return ::LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

bool WriteAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (::WriteFile(handle, bytes.data(), chunk, &written, nullptr) == 0 || written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

int WriteFileTail(const std::filesystem::path& path, uint64_t offset, std::string_view bytes) {
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrnoFromWin32(::GetLastError());
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  bool ok = ::SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) != 0 &&
            ::SetEndOfFile(handle) != 0 && WriteAll(handle, bytes) &&
            ::FlushFileBuffers(handle) != 0;
  int error = ok ? 0 : ErrnoFromWin32(::GetLastError());
  if (::CloseHandle(handle) == 0 && error == 0) error = EIO;
  return error;
}

int AppendLine(const std::filesystem::path& path, std::string_view line) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  HANDLE handle = ::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrnoFromWin32(::GetLastError());
  std::string text(line);
  text.push_back('\n');
  const bool ok = LockWhole(handle, LOCKFILE_EXCLUSIVE_LOCK) && WriteAll(handle, text);
  const int error = ok ? 0 : ErrnoFromWin32(::GetLastError());
  ::CloseHandle(handle);
  return error;
}

}  // namespace skyfw::platform
