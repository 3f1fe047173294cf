#include "sim/driver/wide_text.h"

namespace skyfw::sim {
namespace {

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

}  // namespace

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace skyfw::sim
