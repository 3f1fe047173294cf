#include "os/file_names.h"

namespace skyfw::platform {

bool ToFileSystemPath(std::string_view utf8, std::filesystem::path& out) {
  out = std::filesystem::path(utf8);
  return true;
}

std::string FromFileSystemPath(const std::filesystem::path& path) { return path.native(); }

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  return std::fopen(utf8_path.c_str(), mode);
}

}  // namespace skyfw::platform
