#include "os/lockable_file.h"

#include <atomic>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace skyfw::sim {
namespace {

// Another process may write the mapped bytes at any moment: each is read
// once, and what follows is not read before them.
long CopyMapped(const volatile uint8_t* mapped, uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) bytes[i] = mapped[i];
  std::atomic_thread_fence(std::memory_order_acquire);
  return static_cast<long>(length);
}

}  // namespace

bool LockableFile::ReadContent(std::string& text, size_t max_bytes) const {
  text.resize(max_bytes);
  long length = ReadPrefix(reinterpret_cast<uint8_t*>(text.data()), max_bytes);
  if (length < 0) {
    text.clear();
    return false;
  }
  text.resize(static_cast<size_t>(length));
  return true;
}

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
    : handle_(std::exchange(other.handle_, nullptr)),
      mapped_(std::exchange(other.mapped_, nullptr)),
      mapped_length_(std::exchange(other.mapped_length_, 0)) {}

LockableFile& LockableFile::operator=(LockableFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    mapped_ = std::exchange(other.mapped_, nullptr);
    mapped_length_ = std::exchange(other.mapped_length_, 0);
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
  Unmap();
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

long LockableFile::ReadPrefix(uint8_t* bytes, size_t length) const {
  if (mapped_ != nullptr && length <= mapped_length_) return CopyMapped(mapped_, bytes, length);
  if (handle_ == nullptr) return -1;
  OVERLAPPED start{};
  DWORD read = 0;
  if (!ReadFile(AsHandle(handle_), bytes, static_cast<DWORD>(length), &read, &start) &&
      GetLastError() != ERROR_HANDLE_EOF) {
    return -1;
  }
  return static_cast<long>(read);
}

bool LockableFile::WritePrefix(std::string_view bytes) {
  if (handle_ == nullptr) return false;
  OVERLAPPED start{};
  DWORD written = 0;
  return bytes.empty() || (WriteFile(AsHandle(handle_), bytes.data(),
                                     static_cast<DWORD>(bytes.size()), &written, &start) &&
                           written == bytes.size());
}

bool LockableFile::MapPrefix(size_t length) {
  Unmap();
  LARGE_INTEGER size{};
  if (handle_ == nullptr || length == 0 || !GetFileSizeEx(AsHandle(handle_), &size) ||
      static_cast<uint64_t>(size.QuadPart) < length) {
    return false;
  }
  HANDLE mapping = CreateFileMappingW(AsHandle(handle_), nullptr, PAGE_READONLY, 0, 0, nullptr);
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

LockableFile::LockableFile(LockableFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      mapped_(std::exchange(other.mapped_, nullptr)),
      mapped_length_(std::exchange(other.mapped_length_, 0)) {}

LockableFile& LockableFile::operator=(LockableFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    mapped_ = std::exchange(other.mapped_, nullptr);
    mapped_length_ = std::exchange(other.mapped_length_, 0);
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
  Unmap();
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

long LockableFile::ReadPrefix(uint8_t* bytes, size_t length) const {
  if (mapped_ != nullptr && length <= mapped_length_) return CopyMapped(mapped_, bytes, length);
  if (fd_ < 0) return -1;
  ssize_t read;
  do {
    read = ::pread(fd_, bytes, length, 0);
  } while (read < 0 && errno == EINTR);
  return static_cast<long>(read);
}

bool LockableFile::WritePrefix(std::string_view bytes) {
  return fd_ >= 0 && (bytes.empty() || ::pwrite(fd_, bytes.data(), bytes.size(), 0) ==
                                           static_cast<ssize_t>(bytes.size()));
}

bool LockableFile::MapPrefix(size_t length) {
  Unmap();
  struct stat status {};
  if (fd_ < 0 || length == 0 || ::fstat(fd_, &status) != 0 ||
      static_cast<uint64_t>(status.st_size) < length) {
    return false;
  }
  void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, 0);
  if (view == MAP_FAILED) return false;
  mapped_ = static_cast<const volatile uint8_t*>(view);
  mapped_length_ = length;
  return true;
}

void LockableFile::Unmap() {
  if (mapped_ != nullptr) ::munmap(const_cast<uint8_t*>(mapped_), mapped_length_);
  mapped_ = nullptr;
  mapped_length_ = 0;
}

#endif

}  // namespace skyfw::sim
