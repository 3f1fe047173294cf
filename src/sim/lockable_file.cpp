#include "sim/lockable_file.h"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace skyfw::sim {

#if defined(_WIN32)

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

HANDLE AsHandle(void* handle) { return static_cast<HANDLE>(handle); }

}  // namespace

LockableFile::LockableFile(LockableFile&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

LockableFile& LockableFile::operator=(LockableFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

bool LockableFile::Open(const std::filesystem::path& path, Access access) {
  Close();
  const bool read_only = access == Access::kReadOnly;
  HANDLE handle =
      CreateFileW(path.c_str(), read_only ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  read_only ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  handle_ = handle;
  return true;
}

bool LockableFile::is_open() const { return handle_ != nullptr; }

void LockableFile::Close() {
  if (handle_ != nullptr) CloseHandle(AsHandle(handle_));  // closing drops the lock
  handle_ = nullptr;
}

LockableFile::Outcome LockableFile::TakeLock(Lock kind, bool wait) {
  if (handle_ == nullptr) return Outcome::kFailed;
  DWORD flags = kind == Lock::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
  if (!wait) flags |= LOCKFILE_FAIL_IMMEDIATELY;
  OVERLAPPED range = LockRange();
  if (LockFileEx(AsHandle(handle_), flags, 0, 1, 0, &range)) return Outcome::kLocked;
  return GetLastError() == ERROR_LOCK_VIOLATION ? Outcome::kBusy : Outcome::kFailed;
}

void LockableFile::Unlock() {
  if (handle_ == nullptr) return;
  OVERLAPPED range = LockRange();
  UnlockFileEx(AsHandle(handle_), 0, 1, 0, &range);
}

bool LockableFile::ReadContent(std::string& text, size_t max_bytes) const {
  text.clear();
  if (handle_ == nullptr) return false;
  text.resize(max_bytes);
  OVERLAPPED start{};
  DWORD read = 0;
  if (!ReadFile(AsHandle(handle_), text.data(), static_cast<DWORD>(max_bytes), &read, &start) &&
      GetLastError() != ERROR_HANDLE_EOF) {
    text.clear();
    return false;
  }
  text.resize(read);
  return true;
}

bool LockableFile::ReplaceContent(std::string_view text) {
  if (handle_ == nullptr) return false;
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(AsHandle(handle_), zero, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(AsHandle(handle_))) {
    return false;
  }
  DWORD written = 0;
  return text.empty() || (WriteFile(AsHandle(handle_), text.data(), static_cast<DWORD>(text.size()),
                                    &written, nullptr) &&
                          written == text.size());
}

#else

namespace {

int Flock(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

LockableFile::LockableFile(LockableFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

LockableFile& LockableFile::operator=(LockableFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool LockableFile::Open(const std::filesystem::path& path, Access access) {
  Close();
  fd_ = access == Access::kReadOnly ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC)
                                    : ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool LockableFile::is_open() const { return fd_ >= 0; }

void LockableFile::Close() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the flock
  fd_ = -1;
}

LockableFile::Outcome LockableFile::TakeLock(Lock kind, bool wait) {
  if (fd_ < 0) return Outcome::kFailed;
  int operation = (kind == Lock::kExclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
  if (Flock(fd_, operation) == 0) return Outcome::kLocked;
  return errno == EWOULDBLOCK ? Outcome::kBusy : Outcome::kFailed;
}

void LockableFile::Unlock() {
  if (fd_ >= 0) Flock(fd_, LOCK_UN);
}

bool LockableFile::ReadContent(std::string& text, size_t max_bytes) const {
  text.clear();
  if (fd_ < 0) return false;
  text.resize(max_bytes);
  ssize_t length = ::pread(fd_, text.data(), max_bytes, 0);
  if (length < 0) {
    text.clear();
    return false;
  }
  text.resize(static_cast<size_t>(length));
  return true;
}

bool LockableFile::ReplaceContent(std::string_view text) {
  if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return false;
  return text.empty() ||
         ::pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

#endif

}  // namespace skyfw::sim
