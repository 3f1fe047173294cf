#include "os/file_identity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skyfw::platform {
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
  if (held_ != kNone) ::close(held_);
}

FileIdentity GuardedFile::Hold(const std::filesystem::path& path) {
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) {
    if (held_ != kNone) ::close(held_);
    held_ = kNone;
    return {};
  }
  struct stat held {};
  if (held_ != kNone && ::fstat(held_, &held) == 0 && held.st_dev == named.st_dev &&
      held.st_ino == named.st_ino) {
    return IdentityOf(named);  // still the file held
  }
  if (held_ != kNone) ::close(held_);
  // Non-blocking: a FIFO put in the file's place must not stop the open.
  held_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (held_ >= 0 && ::fstat(held_, &held) == 0) return IdentityOf(held);
  // Not held (unreadable, or gone since): looks go by the name.
  if (held_ >= 0) ::close(held_);
  held_ = kNone;
  return IdentityOf(named);
}

FileIdentity GuardedFile::Identify(const std::filesystem::path& path) const {
  struct stat held {};
  if (held_ == kNone || ::fstat(held_, &held) != 0 || held.st_nlink == 0) {
    return IdentifyFile(path);
  }
  return IdentityOf(held);
}

}  // namespace skyfw::platform
