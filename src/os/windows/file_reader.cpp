#include "os/file_reader.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/unicode.h"

namespace skyfw::platform {

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

}  // namespace skyfw::platform
