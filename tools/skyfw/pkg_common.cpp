#include "pkg_common.h"

#include "base/nvm_status.h"

namespace skyfw::tool {

namespace {

std::optional<uint64_t> ParseDigits(const std::string& text, size_t start, int base,
                                    uint64_t maximum) {
  if (start >= text.size()) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    if (value > (maximum - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
      return std::nullopt;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  return value;
}

bool HasHexPrefix(const std::string& text) {
  return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

}  // namespace

std::optional<uint64_t> ParseNumber(const std::string& text, uint64_t maximum) {
  return HasHexPrefix(text) ? ParseDigits(text, 2, 16, maximum) : ParseDigits(text, 0, 10, maximum);
}

std::optional<uint64_t> ParseHex(const std::string& text, uint64_t maximum) {
  return ParseDigits(text, HasHexPrefix(text) ? 2 : 0, 16, maximum);
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
