#include "os/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace skyfw::platform {

FileStream OpenRegularFile(const std::string& path, int& error, uint64_t* size) {
  // Without blocking: a FIFO would otherwise wait for a writer here.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    error = errno;
    return nullptr;
  }
  struct stat status {};
  error = 0;
  if (::fstat(descriptor, &status) != 0) {
    error = errno;
  } else if (S_ISDIR(status.st_mode)) {
    error = EISDIR;
  } else if (!S_ISREG(status.st_mode)) {
    error = kNotRegularFile;
  } else if (const int flags = ::fcntl(descriptor, F_GETFL);
             flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error = errno;
  }
  std::FILE* file = error == 0 ? ::fdopen(descriptor, "rb") : nullptr;
  if (file == nullptr) {
    if (error == 0) error = errno;
    ::close(descriptor);
    return nullptr;
  }
  if (size != nullptr) *size = static_cast<uint64_t>(status.st_size);
  return FileStream(file);
}

}  // namespace skyfw::platform
