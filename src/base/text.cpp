#include "base/text.h"

namespace skyfw {

std::optional<uint64_t> ParseDigits(std::string_view digits, int base, uint64_t maximum) {
  if (digits.empty() || (base != 10 && base != 16)) return std::nullopt;
  const auto radix = static_cast<uint64_t>(base);
  uint64_t value = 0;
  for (char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || digit >= base) return std::nullopt;
    // Checked before the multiply and the subtraction, so neither can wrap.
    if (static_cast<uint64_t>(digit) > maximum ||
        value > (maximum - static_cast<uint64_t>(digit)) / radix) {
      return std::nullopt;
    }
    value = value * radix + static_cast<uint64_t>(digit);
  }
  return value;
}

bool HasHexPrefix(std::string_view text) {
  return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t maximum) {
  return HasHexPrefix(text) ? ParseDigits(text.substr(2), 16, maximum)
                            : ParseDigits(text, 10, maximum);
}

std::optional<uint64_t> ParseHexNumber(std::string_view text, uint64_t maximum) {
  return ParseDigits(HasHexPrefix(text) ? text.substr(2) : text, 16, maximum);
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // the usual case, compared a block at a time
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace skyfw
