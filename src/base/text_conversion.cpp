#include "base/text_conversion.h"

namespace skyfw {

bool Utf16ToWide(std::u16string_view text, std::wstring& out) {
  if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
    // Windows: wchar_t holds UTF-16 already; the round trip only replaces
    // unpaired surrogates.
    std::string utf8;
    bool valid = Utf16ToUtf8(text, utf8);
    std::u16string repaired = Utf8ToUtf16(utf8);
    out.assign(repaired.begin(), repaired.end());
    return valid;
  } else {
    std::u32string code_points;
    bool valid = Utf16ToUtf32(text, code_points);
    out.assign(code_points.begin(), code_points.end());
    return valid;
  }
}

}  // namespace skyfw
