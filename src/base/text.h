// Small text helpers every layer shares, one way each: hexadecimal digits,
// numbers (decimal or 0x hexadecimal, range-checked), ASCII case folding as
// Windows compares names, and the text of a fixed field up to its zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skyfw {

// --- Hexadecimal digits ---

// The value of one hexadecimal digit (either case), or -1.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The upper-case digit of the low four bits of `value`.
constexpr char UpperHexDigit(unsigned value) { return "0123456789ABCDEF"[value & 15]; }

// --- Numbers ---

// The number `digits` spell in `base` (10 or 16): every character a digit of
// that base, at least one, and the value no more than `maximum`.
std::optional<uint64_t> ParseDigits(std::string_view digits, int base, uint64_t maximum);

// True when the text starts with "0x" or "0X" and has something after it.
bool HasHexPrefix(std::string_view text);

// A decimal number, or a hexadecimal one after "0x", no more than `maximum`.
std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t maximum);

// A hexadecimal number with or without "0x", no more than `maximum`.
std::optional<uint64_t> ParseHexNumber(std::string_view text, uint64_t maximum);

// --- ASCII case ---

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);

// Equal apart from the case of the ASCII letters, as Windows compares names;
// other characters must match exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// --- Text up to a zero ---

// The text at `data` up to its first zero unit, or all `max_units` units when
// none comes first; never reads past them. Null is empty.
template <typename Unit>
std::basic_string_view<Unit> TextUpToZero(const Unit* data, size_t max_units) {
  if (data == nullptr) return {};
  size_t length = 0;
  while (length < max_units && data[length] != Unit{0}) ++length;
  return std::basic_string_view<Unit>(data, length);
}

// The same for a fixed field: its text up to the terminator, or whole.
template <typename Unit, size_t N>
std::basic_string_view<Unit> TextUpToZero(const Unit (&field)[N]) {
  return TextUpToZero(field, N);
}

// A text that may hold a zero, up to the first one (as a C string would end).
inline std::string_view TextUpToZero(std::string_view text) {
  return TextUpToZero(text.data(), text.size());
}

}  // namespace skyfw
