#include "sim/machine/file_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "os/file_names.h"
#include "os/file_writer.h"
#include "os/lockable_file.h"

namespace skyfw::sim {
namespace {

// The change counter: the lock file's first bytes, little-endian.
constexpr int kCounterBytes = 8;

uint64_t LoadCounter(const uint8_t (&bytes)[8]) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

void StoreCounter(uint64_t value, uint8_t (&bytes)[8]) {
  for (uint8_t& byte : bytes) {
    byte = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

#ifdef _WIN32

// The path already holds the wide name: no trip through UTF-8, which would
// throw on a name that is not text.
const std::wstring& WideName(const std::filesystem::path& path) { return path.native(); }

std::string LastErrorText() { return "error " + std::to_string(::GetLastError()); }
bool FolderMissing() { return ::GetLastError() == ERROR_PATH_NOT_FOUND; }

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

#else

std::string LastErrorText() { return std::strerror(errno); }
bool FolderMissing() { return errno == ENOENT; }

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

#endif

}  // namespace

#ifdef _WIN32

FileIdentity IdentifyFile(const std::filesystem::path& path) {
  FileIdentity identity;
  HANDLE handle = ::CreateFileW(WideName(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return identity;
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(handle, &information) != 0) {
    identity.exists = true;
    identity.device = information.dwVolumeSerialNumber;
    identity.file_number = uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
    identity.size = uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow;
    identity.modified =
        static_cast<int64_t>(uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32 |
                             information.ftLastWriteTime.dwLowDateTime);
  }
  ::CloseHandle(handle);
  return identity;
}

GuardedFile::~GuardedFile() = default;

// A file open here could not be removed or replaced by another process, so
// nothing is kept open: every look goes by the name.
FileIdentity GuardedFile::Hold(const std::filesystem::path& path) { return IdentifyFile(path); }

FileIdentity GuardedFile::Identify(const std::filesystem::path& path) const {
  return IdentifyFile(path);
}

bool WriteFileTail(const std::filesystem::path& path, uint64_t offset, std::string_view bytes) {
  HANDLE handle = ::CreateFileW(WideName(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ::GetLastError() == ERROR_FILE_NOT_FOUND ? ENOENT : EIO;
    return false;
  }
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  bool ok = ::SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) != 0 &&
            ::SetEndOfFile(handle) != 0 && WriteAll(handle, bytes) &&
            ::FlushFileBuffers(handle) != 0;
  ok = ::CloseHandle(handle) != 0 && ok;
  if (!ok) errno = EIO;
  return ok;
}

bool AppendLine(const std::filesystem::path& path, std::string_view line) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  HANDLE handle = ::CreateFileW(WideName(path).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  std::string text(line);
  text.push_back('\n');
  bool ok = LockWhole(handle, LOCKFILE_EXCLUSIVE_LOCK) && WriteAll(handle, text);
  ::CloseHandle(handle);
  return ok;
}

#else

namespace {

FileIdentity IdentityOf(const struct stat& status) {
  FileIdentity identity;
  identity.exists = true;
  identity.device = static_cast<uint64_t>(status.st_dev);
  identity.file_number = static_cast<uint64_t>(status.st_ino);
  identity.size = static_cast<uint64_t>(status.st_size);
  identity.modified = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 +
                      static_cast<int64_t>(status.st_mtim.tv_nsec);
  identity.changed = static_cast<int64_t>(status.st_ctim.tv_sec) * 1000000000 +
                     static_cast<int64_t>(status.st_ctim.tv_nsec);
  return identity;
}

}  // namespace

FileIdentity IdentifyFile(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {};
  return IdentityOf(status);
}

GuardedFile::~GuardedFile() {
  if (fd_ >= 0) ::close(fd_);
}

FileIdentity GuardedFile::Hold(const std::filesystem::path& path) {
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return {};
  }
  struct stat held {};
  if (fd_ >= 0 && ::fstat(fd_, &held) == 0 && held.st_dev == named.st_dev &&
      held.st_ino == named.st_ino) {
    return IdentityOf(named);  // still the file held
  }
  if (fd_ >= 0) ::close(fd_);
  // Non-blocking: a FIFO put in the file's place must not stop the open.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ >= 0 && ::fstat(fd_, &held) == 0) return IdentityOf(held);
  // Not held (unreadable, or gone since): looks go by the name.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  return IdentityOf(named);
}

FileIdentity GuardedFile::Identify(const std::filesystem::path& path) const {
  struct stat held {};
  if (fd_ < 0 || ::fstat(fd_, &held) != 0 || held.st_nlink == 0) return IdentifyFile(path);
  return IdentityOf(held);
}

bool WriteFileTail(const std::filesystem::path& path, uint64_t offset, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const auto at = static_cast<off_t>(offset);
  bool ok = ::ftruncate(fd, at) == 0 && ::lseek(fd, at, SEEK_SET) == at && WriteAll(fd, bytes) &&
            ::fdatasync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

bool AppendLine(const std::filesystem::path& path, std::string_view line) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::flock(fd, LOCK_EX) == 0;
  std::string text(line);
  text.push_back('\n');
  ok = ok && WriteAll(fd, text);
  ::close(fd);
  return ok;
}

#endif

FileLock::FileLock(const std::filesystem::path& path, LockMode mode) {
  if (!file_.Open(path) && FolderMissing()) {
    // Only the first lock of a folder makes it.
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    file_.Open(path);
  }
  if (!file_.is_open()) {
    error_ = "cannot open " + platform::FromFileSystemPath(path) + ": " + LastErrorText();
    return;
  }
  if (file_.TakeLock(mode, /*wait=*/true) != LockableFile::Outcome::kLocked) {
    error_ = "cannot lock " + platform::FromFileSystemPath(path) + ": " + LastErrorText();
    file_.Close();
    return;
  }
  // Watchers map the counter's bytes, which must therefore be there. Should
  // this fail, they read the counter through the file instead.
  uint8_t counter[kCounterBytes];
  const long length = file_.ReadPrefix(counter, sizeof counter);
  if (length >= 0 && length < kCounterBytes) {
    file_.WritePrefix(std::string(kCounterBytes, '\0'));
  }
}

uint64_t FileLock::ChangeCounter() const {
  uint8_t bytes[kCounterBytes] = {};
  if (file_.ReadPrefix(bytes, sizeof bytes) != kCounterBytes) return 0;
  return LoadCounter(bytes);
}

bool FileLock::BumpChangeCounter() {
  if (!locked()) return false;
  uint8_t bytes[kCounterBytes];
  StoreCounter(ChangeCounter() + 1, bytes);
  return file_.WritePrefix(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

bool WriteFileWhole(const std::filesystem::path& path, std::string_view contents) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  // The reason stays in errno for the caller's message, on Windows too.
  const int error = platform::WriteWholeFile(platform::FromFileSystemPath(path), contents);
  if (error != 0) errno = error;
  return error == 0;
}

ChangeStamp StampOf(const FileLock& lock, const std::filesystem::path& guarded, GuardedFile* held) {
  ChangeStamp stamp;
  stamp.valid = lock.locked();
  stamp.counter = lock.ChangeCounter();
  stamp.identity = held != nullptr ? held->Hold(guarded) : IdentifyFile(guarded);
  return stamp;
}

bool WatchChangeCounter(LockableFile& lock_file, const std::filesystem::path& lock_path) {
  if (!lock_file.Open(lock_path, LockableFile::Access::kReadOnly)) return false;
  // Unmapped (a lock file too short), the counter is read through the file.
  lock_file.MapPrefix(kCounterBytes);
  return true;
}

ChangeStamp PeekStamp(const LockableFile& lock_file, const std::filesystem::path& guarded,
                      const GuardedFile* held) {
  ChangeStamp stamp;
  uint8_t counter[kCounterBytes] = {};
  long length = lock_file.ReadPrefix(counter, sizeof counter);
  if (length < 0) return stamp;
  if (length != sizeof counter) std::memset(counter, 0, sizeof counter);
  stamp.valid = true;
  stamp.counter = LoadCounter(counter);
  stamp.identity = held != nullptr ? held->Identify(guarded) : IdentifyFile(guarded);
  return stamp;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  contents = buffer.str();
  return true;
}

}  // namespace skyfw::sim
