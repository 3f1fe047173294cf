#include "os/file_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <limits>
#include <new>

#if defined(_WIN32)
#include "base/unicode.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace skyfw::platform {

#if defined(_WIN32)

FileStream OpenRegularFile(const std::string& path, int& error, uint64_t* size) {
  // Text that is not UTF-8 names no file here.
  const std::optional<std::wstring> wide = ToWide(path);
  if (!wide) {
    error = ENOENT;
    return nullptr;
  }
  struct _stat64 status {};
  if (_wstat64(wide->c_str(), &status) != 0) {
    error = errno;
    return nullptr;
  }
  if ((status.st_mode & _S_IFMT) == _S_IFDIR) {
    error = EISDIR;
    return nullptr;
  }
  if ((status.st_mode & _S_IFMT) != _S_IFREG) {
    error = kNotRegularFile;
    return nullptr;
  }
  FileStream file(_wfopen(wide->c_str(), L"rb"));
  if (!file) {
    error = errno;
    return nullptr;
  }
  if (size != nullptr) *size = static_cast<uint64_t>(status.st_size);
  error = 0;
  return file;
}

#else

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

#endif

namespace {

template <typename Bytes>
int ReadWhole(const std::string& path, Bytes& bytes) {
  int error = 0;
  uint64_t size = 0;
  FileStream file = OpenRegularFile(path, error, &size);
  if (!file) return error;
  if (size > std::numeric_limits<size_t>::max() / 2) return EFBIG;
  bytes.clear();
  try {
    // The size is a hint only: the file may grow or shrink while it is read.
    bytes.reserve(static_cast<size_t>(size));
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  } catch (const std::length_error&) {
    return EFBIG;
  }
  return std::ferror(file.get()) != 0 ? EIO : 0;
}

}  // namespace

int ReadRegularFile(const std::string& path, std::string& bytes) { return ReadWhole(path, bytes); }

int ReadRegularFile(const std::string& path, std::vector<uint8_t>& bytes) {
  return ReadWhole(path, bytes);
}

}  // namespace skyfw::platform
