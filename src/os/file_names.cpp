#include "os/file_names.h"

namespace skyfw::platform {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  std::filesystem::path path;
  ToFileSystemPath(utf8, path);
  return path;
}

}  // namespace skyfw::platform
