#include "package/version_compare.h"

namespace skyfw {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The digit run starting at `position`, without its leading zeros; moves
// `position` past the run.
std::string_view TakeNumber(std::string_view text, size_t& position) {
  while (position < text.size() && text[position] == '0') ++position;
  const size_t start = position;
  while (position < text.size() && IsDigit(text[position])) ++position;
  return text.substr(start, position - start);
}

}  // namespace

int CompareVersions(std::string_view left, std::string_view right) {
  size_t i = 0;
  size_t j = 0;
  while (i < left.size() && j < right.size()) {
    if (IsDigit(left[i]) && IsDigit(right[j])) {
      std::string_view a = TakeNumber(left, i);
      std::string_view b = TakeNumber(right, j);
      // Without leading zeros the longer run is the larger number.
      if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
      if (int order = a.compare(b); order != 0) return order < 0 ? -1 : 1;
      continue;
    }
    const auto a = static_cast<unsigned char>(left[i]);
    const auto b = static_cast<unsigned char>(right[j]);
    if (a != b) return a < b ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < left.size()) return 1;
  if (j < right.size()) return -1;
  return 0;
}

}  // namespace skyfw
