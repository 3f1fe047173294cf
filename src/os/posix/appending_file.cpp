#include "os/appending_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace skyfw::platform {
namespace {

// 0 or the reason.
int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

}  // namespace

int WriteFileTail(const std::filesystem::path& path, uint64_t offset, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const auto at = static_cast<off_t>(offset);
  int error = 0;
  if (::ftruncate(fd, at) != 0 || ::lseek(fd, at, SEEK_SET) != at) error = errno;
  if (error == 0) error = WriteAll(fd, bytes);
  if (error == 0 && ::fdatasync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

int AppendLine(const std::filesystem::path& path, std::string_view line) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  int error = ::flock(fd, LOCK_EX) == 0 ? 0 : errno;
  std::string text(line);
  text.push_back('\n');
  if (error == 0) error = WriteAll(fd, text);
  ::close(fd);
  return error;
}

}  // namespace skyfw::platform
