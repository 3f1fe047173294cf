#include "os/lockable_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace skyfw::platform {
namespace {

int Flock(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

int Descriptor(intptr_t file) { return static_cast<int>(file); }

}  // namespace

int LockableFile::Open(const std::filesystem::path& path, Access access) {
  Close();
  const int fd = access == Access::kReadOnly
                     ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC)
                     : ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  file_ = fd;
  return 0;
}

void LockableFile::Close() {
  Unmap();
  if (file_ != kNoFile) ::close(Descriptor(file_));  // closing drops the flock
  file_ = kNoFile;
}

LockableFile::Outcome LockableFile::TakeLock(Lock kind, bool wait, int* reason) {
  int error = EBADF;
  if (file_ != kNoFile) {
    int operation = (kind == Lock::kExclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    if (Flock(Descriptor(file_), operation) == 0) return Outcome::kLocked;
    if (errno == EWOULDBLOCK) return Outcome::kBusy;
    error = errno;
  }
  if (reason != nullptr) *reason = error;
  return Outcome::kFailed;
}

void LockableFile::Unlock() {
  if (file_ != kNoFile) Flock(Descriptor(file_), LOCK_UN);
}

long LockableFile::ReadFromFile(uint8_t* bytes, size_t length) const {
  ssize_t read;
  do {
    read = ::pread(Descriptor(file_), bytes, length, 0);
  } while (read < 0 && errno == EINTR);
  return static_cast<long>(read);
}

int LockableFile::WritePrefix(std::string_view bytes) {
  if (file_ == kNoFile) return EBADF;
  if (bytes.empty()) return 0;
  const ssize_t written = ::pwrite(Descriptor(file_), bytes.data(), bytes.size(), 0);
  if (written < 0) return errno;
  return written == static_cast<ssize_t>(bytes.size()) ? 0 : EIO;
}

bool LockableFile::MapPrefix(size_t length) {
  Unmap();
  struct stat status {};
  if (file_ == kNoFile || length == 0 || ::fstat(Descriptor(file_), &status) != 0 ||
      static_cast<uint64_t>(status.st_size) < length) {
    return false;
  }
  void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, Descriptor(file_), 0);
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

}  // namespace skyfw::platform
