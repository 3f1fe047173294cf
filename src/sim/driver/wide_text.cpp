#include "sim/driver/wide_text.h"

namespace skyfw::sim {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i` and advances past it.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  unsigned char lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || lead > 0xF4) return kReplacement;
  char32_t point = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      return kReplacement;
    }
    point = point << 6 | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (point < kMinimum[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    return kReplacement;
  }
  return point;
}

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

}  // namespace

std::u16string Utf16(std::string_view utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    char32_t point = DecodeUtf8(utf8, i);
    if (point >= 0x10000) {
      point -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(point));
    }
  }
  return out;
}

std::string Utf8(std::u16string_view utf16) {
  std::string out;
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t point = utf16[i];
    if (point >= 0xD800 && point <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = kReplacement;
    }
    if (point < 0x80) {
      out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
      out.push_back(static_cast<char>(0xC0 | point >> 6));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | point >> 12));
      out.push_back(static_cast<char>(0x80 | (point >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | point >> 18));
      out.push_back(static_cast<char>(0x80 | (point >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
  }
  return out;
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace skyfw::sim
