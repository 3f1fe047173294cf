#include "pkg_common.h"

#include "base/nvm_status.h"
#include "os/file_reader.h"
#include "os/file_writer.h"

namespace skyfw::tool {

bool WriteFileWhole(const std::string& path, ByteView bytes, std::string& error) {
  if (int reason = platform::WriteWholeFile(path, bytes); reason != 0) {
    error = "cannot write " + path + ": " + platform::FileErrorText(reason);
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  if (int reason = platform::ReadRegularFile(path, bytes); reason != 0) {
    error = "cannot read " + path + ": " + platform::FileErrorText(reason);
    return false;
  }
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string StatusText(int32_t status) {
  return std::string(NvmStatusText(status)) + " (" + std::to_string(status) + ")";
}

}  // namespace skyfw::tool
