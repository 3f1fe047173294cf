#include "sim/driver/wide_text.h"

#include <cstdint>

namespace skyfw::sim {
namespace {

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

}  // namespace

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // the usual case, compared a block at a time
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

size_t HashIgnoringCase(std::u16string_view text) {
  uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
  for (char16_t c : text) hash = (hash ^ FoldAscii(c)) * 0x100000001B3u;
  return static_cast<size_t>(hash);
}

}  // namespace skyfw::sim
