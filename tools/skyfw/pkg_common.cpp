#include "pkg_common.h"

#include "base/nvm_status.h"

namespace skyfw::tool {

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
