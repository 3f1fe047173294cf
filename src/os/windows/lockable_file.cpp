#include "os/lockable_file.h"

#include <windows.h>

#include <cerrno>

#include "os/windows/win32_errors.h"

namespace skyfw::platform {
namespace {

// Windows locks byte ranges, and a locked range cannot be read by others; the
// lock takes one byte far past any content instead, so the content stays
// readable.
constexpr DWORD kLockOffsetHigh = 0x40000000;

OVERLAPPED LockRange() {
  OVERLAPPED range{};
  range.OffsetHigh = kLockOffsetHigh;
  return range;
}

// INVALID_HANDLE_VALUE is kNoFile.
HANDLE AsHandle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

int LockableFile::Open(const std::filesystem::path& path, Access access) {
  Close();
  const bool read_only = access == Access::kReadOnly;
  HANDLE handle =
      CreateFileW(path.c_str(), read_only ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  read_only ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrnoFromWin32(GetLastError());
  file_ = reinterpret_cast<intptr_t>(handle);
  return 0;
}

void LockableFile::Close() {
  Unmap();
  if (file_ != kNoFile) CloseHandle(AsHandle(file_));  // closing drops the lock
  file_ = kNoFile;
}

LockableFile::Outcome LockableFile::TakeLock(Lock kind, bool wait, int* reason) {
  int error = EBADF;
  if (file_ != kNoFile) {
    DWORD flags = kind == Lock::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (!wait) flags |= LOCKFILE_FAIL_IMMEDIATELY;
    OVERLAPPED range = LockRange();
    if (LockFileEx(AsHandle(file_), flags, 0, 1, 0, &range)) return Outcome::kLocked;
    const DWORD code = GetLastError();
    if (code == ERROR_LOCK_VIOLATION) return Outcome::kBusy;
    error = ErrnoFromWin32(code);
  }
  if (reason != nullptr) *reason = error;
  return Outcome::kFailed;
}

void LockableFile::Unlock() {
  if (file_ == kNoFile) return;
  OVERLAPPED range = LockRange();
  UnlockFileEx(AsHandle(file_), 0, 1, 0, &range);
}

long LockableFile::ReadFromFile(uint8_t* bytes, size_t length) const {
  OVERLAPPED start{};
  DWORD read = 0;
  if (!ReadFile(AsHandle(file_), bytes, static_cast<DWORD>(length), &read, &start) &&
      GetLastError() != ERROR_HANDLE_EOF) {
    return -1;
  }
  return static_cast<long>(read);
}

int LockableFile::WritePrefix(std::string_view bytes) {
  if (file_ == kNoFile) return EBADF;
  if (bytes.empty()) return 0;
  OVERLAPPED start{};
  DWORD written = 0;
  if (!WriteFile(AsHandle(file_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                 &start)) {
    return ErrnoFromWin32(GetLastError());
  }
  return written == bytes.size() ? 0 : EIO;
}

bool LockableFile::MapPrefix(size_t length) {
  Unmap();
  LARGE_INTEGER size{};
  if (file_ == kNoFile || length == 0 || !GetFileSizeEx(AsHandle(file_), &size) ||
      static_cast<uint64_t>(size.QuadPart) < length) {
    return false;
  }
  HANDLE mapping = CreateFileMappingW(AsHandle(file_), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, length);
  CloseHandle(mapping);  // the view keeps the mapping alive
  if (view == nullptr) return false;
  mapped_ = static_cast<const volatile uint8_t*>(view);
  mapped_length_ = length;
  return true;
}

void LockableFile::Unmap() {
  if (mapped_ != nullptr) UnmapViewOfFile(const_cast<const uint8_t*>(mapped_));
  mapped_ = nullptr;
  mapped_length_ = 0;
}

}  // namespace skyfw::platform
