#include "base/unicode.h"

#include <cstdint>

namespace skyfw {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Calls emit(code_point) for each code point of the UTF-16 text (char16_t,
// or Windows' wchar_t).
template <typename Unit, typename Emit>
bool DecodeUtf16(std::basic_string_view<Unit> text, Emit emit) {
  bool valid = true;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      char32_t low = text[++i];
      emit(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      valid = false;
      emit(kReplacement);
    } else {
      emit(unit);
    }
  }
  return valid;
}

void AppendUtf8(char32_t code_point, std::string& out) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

template <typename Unit>
void AppendUtf16(char32_t code_point, std::basic_string<Unit>& out) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<Unit>(code_point));
  } else {
    code_point -= 0x10000;
    out.push_back(static_cast<Unit>(0xD800 + (code_point >> 10)));
    out.push_back(static_cast<Unit>(0xDC00 + (code_point & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence starting at text[i]; advances i past what was
// consumed. A malformed sequence consumes its lead byte only and gives false.
bool DecodeUtf8Sequence(std::string_view text, size_t& i, char32_t& code_point) {
  auto byte = [&](size_t at) { return static_cast<uint8_t>(text[at]); };
  uint8_t lead = byte(i);
  size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code_point = lead;
    ++i;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code_point = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code_point = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code_point = lead & 0x07;
    minimum = 0x10000;
  } else {
    ++i;
    return false;
  }
  if (length > text.size() - i) {
    ++i;
    return false;
  }
  for (size_t k = 1; k < length; ++k) {
    uint8_t next = byte(i + k);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    code_point = (code_point << 6) | (next & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += length;
  return true;
}

}  // namespace

bool Utf16ToUtf8(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  return DecodeUtf16(text, [&out](char32_t code_point) { AppendUtf8(code_point, out); });
}

bool Utf8ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  out.reserve(text.size());
  bool valid = true;
  size_t i = 0;
  while (i < text.size()) {
    char32_t code_point = 0;
    if (!DecodeUtf8Sequence(text, i, code_point)) {
      valid = false;
      code_point = kReplacement;
    }
    AppendUtf16(code_point, out);
  }
  return valid;
}

bool Utf16ToUtf32(std::u16string_view text, std::u32string& out) {
  out.clear();
  out.reserve(text.size());
  return DecodeUtf16(text, [&out](char32_t code_point) { out.push_back(code_point); });
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  Utf16ToUtf8(text, out);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  Utf8ToUtf16(text, out);
  return out;
}

namespace platform {

std::optional<std::wstring> ToWide(std::string_view utf8) {
  std::wstring wide;
  wide.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t code_point = 0;
    if (!DecodeUtf8Sequence(utf8, i, code_point)) return std::nullopt;
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
      AppendUtf16(code_point, wide);
    } else {
      wide.push_back(static_cast<wchar_t>(code_point));
    }
  }
  return wide;
}

bool FromWide(std::wstring_view wide, std::string& out) {
  out.clear();
  out.reserve(wide.size());
  if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
    return DecodeUtf16(wide, [&out](char32_t code_point) { AppendUtf8(code_point, out); });
  } else {
    bool valid = true;
    for (wchar_t unit : wide) {
      auto code_point = static_cast<char32_t>(unit);
      if (code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
        valid = false;
        code_point = kReplacement;
      }
      AppendUtf8(code_point, out);
    }
    return valid;
  }
}

std::string FromWide(std::wstring_view wide) {
  std::string out;
  FromWide(wide, out);
  return out;
}

}  // namespace platform

}  // namespace skyfw
