#include "os/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/temporary_names.h"

namespace skyfw::platform {
namespace {

// Follows symbolic links, as an open for writing would, to the file a write
// through path lands in. A name that cannot be examined is left for the open
// that follows to report.
int ResolveLinks(const std::string& path, std::string& target) {
  constexpr int kMaxLinks = 40;
  target = path;
  for (int links = 0; links < kMaxLinks; ++links) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return 0;
    std::string link(static_cast<size_t>(status.st_size) + 1, '\0');
    const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
    if (length < 0) return errno;
    // Changed under us: let the next round look again.
    if (static_cast<size_t>(length) == link.size()) continue;
    link.resize(static_cast<size_t>(length));
    target = link.starts_with('/') ? link : FolderOf(target) + link;
  }
  return ELOOP;
}

void SyncFolder(const std::string& folder) {
  // Best effort: some file systems refuse to sync a folder, and the file is
  // already in place by now.
  const int descriptor =
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  ::fsync(descriptor);
  ::close(descriptor);
}

}  // namespace

void FileWriter::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

int FileWriter::Open(const std::string& path) {
  Discard();
  if (path.empty()) return ENOENT;
  if (int error = ResolveLinks(path, target_); error != 0) return error;

  bool exists = false;
  struct stat existing {};
  if (::stat(target_.c_str(), &existing) == 0) {
    exists = true;
    // Checked before any open: opening a FIFO could block.
    if (S_ISDIR(existing.st_mode)) return EISDIR;
    if (!S_ISREG(existing.st_mode)) return kNotRegularFile;
    // Opening for writing is the test of what the caller may do.
    const int probe = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) return errno;
    const bool regular = ::fstat(probe, &existing) == 0 && S_ISREG(existing.st_mode);
    ::close(probe);
    if (!regular) return kNotRegularFile;
  }

  const std::string folder = FolderOf(target_);
  int descriptor = -1;
  int error = EEXIST;
  for (int tries = 0; tries < kTemporaryNameTries && error == EEXIST; ++tries) {
    temporary_ = TemporaryName(folder, static_cast<unsigned long>(::getpid()));
    descriptor = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    error = descriptor < 0 ? errno : 0;
  }
  if (descriptor < 0) {
    temporary_.clear();
    if (!exists || (error != EACCES && error != EPERM)) return error;
    // The folder is closed to us but the file is not: write it in place.
    descriptor = ::open(target_.c_str(), O_RDWR | O_TRUNC | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return errno;
  } else if (exists) {
    // Owner first: a change of owner clears the set-user-ID bits that the
    // mode then restores. Only root may give a file away; for others the
    // new file is theirs, as after any rewrite.
    if (::fchown(descriptor, existing.st_uid, existing.st_gid) != 0) {
      // Keep what can be kept; the mode below still applies.
    }
    if (::fchmod(descriptor, existing.st_mode & 07777) != 0) {
      error = errno;
      ::close(descriptor);
      Discard();
      return error;
    }
  }
  stream_ = ::fdopen(descriptor, "w+b");
  if (stream_ == nullptr) {
    error = errno;
    ::close(descriptor);
    Discard();
    return error;
  }
  return 0;
}

int FileWriter::Commit() {
  if (stream_ == nullptr) return EBADF;
  int error = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
  if (error == 0 && ::fsync(::fileno(stream_)) != 0) error = errno;
  if (std::fclose(stream_) != 0 && error == 0) error = errno;
  stream_ = nullptr;
  if (error == 0 && !temporary_.empty()) {
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
      error = errno;
    } else {
      temporary_.clear();
      SyncFolder(FolderOf(target_));
    }
  }
  Discard();
  return error;
}

int EmptyStream(std::FILE* stream) {
  if (std::fflush(stream) != 0) return errno != 0 ? errno : EIO;
  if (::ftruncate(::fileno(stream), 0) != 0) return errno;
  return std::fseek(stream, 0, SEEK_SET) == 0 ? 0 : EIO;
}

}  // namespace skyfw::platform
