#include "diag/text_conversion.h"

namespace skyfw {

bool Utf16ToWide(std::u16string_view text, std::wstring& out) {
  static_assert(sizeof(wchar_t) == 4, "wchar_t holds a whole code point on this platform");
  std::u32string code_points;
  bool valid = Utf16ToUtf32(text, code_points);
  out.assign(code_points.begin(), code_points.end());
  return valid;
}

std::u16string_view BoundedWideText(const char16_t* text, size_t max_units) {
  if (text == nullptr) return {};
  size_t length = 0;
  while (length < max_units && text[length] != u'\0') ++length;
  return {text, length};
}

}  // namespace skyfw
