#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace skyfw {
namespace {

TEST(TextTest, HexDigitValueTakesBothCasesAndNothingElse) {
  const struct {
    char c;
    int value;
  } cases[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15},
               {'g', -1}, {'G', -1}, {'/', -1}, {':', -1}, {'@', -1}, {'`', -1},
               {' ', -1}, {'\0', -1}, {'x', -1}};
  for (const auto& c : cases) EXPECT_EQ(HexDigitValue(c.c), c.value) << "'" << c.c << "'";
  EXPECT_EQ(UpperHexDigit(0), '0');
  EXPECT_EQ(UpperHexDigit(10), 'A');
  EXPECT_EQ(UpperHexDigit(0x1F), 'F');  // only the low four bits count
}

TEST(TextTest, ParseNumberTakesDecimalOrHexWithinTheMaximum) {
  constexpr std::optional<uint64_t> kNone;
  const struct {
    const char* text;
    uint64_t maximum;
    std::optional<uint64_t> number;
    std::optional<uint64_t> hex;  // ParseHexNumber of the same text
  } cases[] = {
      {"0", 10, 0, 0},
      {"10", 10, 10, kNone},  // 0x10 = 16 is too large
      {"11", 10, kNone, kNone},
      {"255", 255, 255, kNone},
      {"0x1F", 255, 31, 31},
      {"0X1f", 255, 31, 31},
      {"1F", 255, kNone, 31},  // hex digits without 0x are not decimal
      {"0x", 255, kNone, kNone},
      {"x1", 255, kNone, kNone},
      {"", 255, kNone, kNone},
      {"-1", 255, kNone, kNone},
      {"+1", 255, kNone, kNone},
      {" 1", 255, kNone, kNone},
      {"1 ", 255, kNone, kNone},
      {"12a", 1000, kNone, 0x12A},
      {"18446744073709551615", UINT64_MAX, UINT64_MAX, kNone},
      {"18446744073709551616", UINT64_MAX, kNone, kNone},  // wraps to 0 unchecked
      {"0xFFFFFFFFFFFFFFFF", UINT64_MAX, UINT64_MAX, UINT64_MAX},
      {"0x10000000000000000", UINT64_MAX, kNone, kNone},
      {"4294967296", UINT32_MAX, kNone, kNone},
      // A digit above a small maximum: maximum - digit must not wrap round.
      {"9", 7, kNone, kNone},
      {"0xF", 7, kNone, kNone},
      {"7", 7, 7, 7},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseNumber(c.text, c.maximum), c.number) << '"' << c.text << '"';
    EXPECT_EQ(ParseHexNumber(c.text, c.maximum), c.hex) << '"' << c.text << '"';
  }
}

TEST(TextTest, ParseDigitsRefusesDigitsOfAnotherBase) {
  EXPECT_EQ(ParseDigits("19", 10, 99), 19u);
  EXPECT_EQ(ParseDigits("1a", 10, 99), std::nullopt);
  EXPECT_EQ(ParseDigits("1a", 16, 99), 26u);
  EXPECT_EQ(ParseDigits("17", 8, 99), std::nullopt);  // only 10 and 16
}

TEST(TextTest, CaseIsIgnoredForAsciiLettersOnly) {
  const struct {
    std::string_view a, b;
    bool equal;
  } cases[] = {
      {"PCI", "pci", true},
      {"Pci\\Ven_1", "pCI\\vEN_1", true},
      {"", "", true},
      {"abc", "abcd", false},
      {"@", "`", false},  // 0x40 and 0x60 differ only in the case bit
      {"[", "{", false},
      {"\xC3\x84", "\xC3\xA4", false},  // no folding beyond ASCII
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    std::u16string a16(c.a.begin(), c.a.end()), b16(c.b.begin(), c.b.end());
    EXPECT_EQ(EqualsNoCase(std::u16string_view(a16), b16), c.equal) << c.a << " / " << c.b;
  }
  EXPECT_FALSE(EqualsNoCase(std::u16string_view(u"\u00C4"), u"\u00E4"));
  EXPECT_TRUE(StartsWithNoCase("\\\\?\\PCI#x", "\\\\?\\pci"));
  EXPECT_FALSE(StartsWithNoCase("\\\\?", "\\\\?\\"));
  EXPECT_EQ(AsciiUpper("ven_8086&dev_15b8 \xC3\xA4"), "VEN_8086&DEV_15B8 \xC3\xA4");
  EXPECT_EQ(AsciiLower("{4D36E972-E325}"), "{4d36e972-e325}");
}

TEST(TextTest, TextUpToZeroNeverReadsPastTheBound) {
  const char field[6] = {'a', 'b', 'c', 'd', 'e', 'f'};  // no terminator
  EXPECT_EQ(TextUpToZero(field), "abcdef");
  const char cut[6] = {'a', 'b', '\0', 'd', 'e', 'f'};
  EXPECT_EQ(TextUpToZero(cut), "ab");
  EXPECT_EQ(TextUpToZero(cut, 1), "a");
  EXPECT_EQ(TextUpToZero(static_cast<const char*>(nullptr), 5), "");
  EXPECT_EQ(TextUpToZero(std::string_view("1.2\0junk", 8)), "1.2");
  const char16_t wide[4] = {u'x', u'y', 0, u'z'};
  EXPECT_EQ(TextUpToZero(wide), u"xy");
}

}  // namespace
}  // namespace skyfw
