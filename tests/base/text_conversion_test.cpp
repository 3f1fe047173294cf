#include "base/text_conversion.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "base/malformed_utf8.h"

namespace skyfw {
namespace {

TEST(TextConversionTest, RoundTripsEveryPlane) {
  const std::u16string wide = u"A\u00e9\u20ac\U0001F600z";
  std::string narrow;
  ASSERT_TRUE(Utf16ToUtf8(wide, narrow));
  EXPECT_EQ(narrow, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
  std::u16string back;
  ASSERT_TRUE(Utf8ToUtf16(narrow, back));
  EXPECT_EQ(back, wide);
}

TEST(TextConversionTest, UnpairedSurrogatesAreReportedAndReplaced) {
  struct Case {
    std::u16string wide;
    std::string narrow;
  };
  const Case cases[] = {
      {std::u16string(u"a") + char16_t(0xD800) + u"b",
       "a\xEF\xBF\xBD"
       "b"},
      {std::u16string(u"a") + char16_t(0xDC00), "a\xEF\xBF\xBD"},
      {std::u16string(1, char16_t(0xD83D)), "\xEF\xBF\xBD"},  // cut pair at the end
      {std::u16string{char16_t(0xDE00), char16_t(0xD83D)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    std::string narrow;
    EXPECT_FALSE(Utf16ToUtf8(c.wide, narrow));
    EXPECT_EQ(narrow, c.narrow);
  }
}

TEST(TextConversionTest, MalformedUtf8IsReportedAndReplaced) {
  for (const testing::MalformedUtf8& bad : testing::kMalformedUtf8) {
    const std::string bytes = bad.bytes;
    std::u16string wide;
    EXPECT_FALSE(Utf8ToUtf16(bytes, wide)) << ::testing::PrintToString(bytes);
    ASSERT_GT(wide.size(), bad.bad_at) << ::testing::PrintToString(bytes);
    EXPECT_EQ(
        wide.substr(0, bad.bad_at),
        std::u16string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bad.bad_at)));
    EXPECT_EQ(wide[bad.bad_at], 0xFFFD) << ::testing::PrintToString(bytes);
  }
  std::u16string wide;
  EXPECT_FALSE(Utf8ToUtf16("a\xC3z", wide));
  EXPECT_EQ(wide, u"a\uFFFDz");  // the next byte is not swallowed
}

TEST(TextConversionTest, WideTextForPercentLs) {
  std::wstring wide;
  EXPECT_TRUE(Utf16ToWide(u"x\U0001F600", wide));
  EXPECT_EQ(wide, L"x\U0001F600");
  EXPECT_FALSE(Utf16ToWide(std::u16string(1, char16_t(0xDC00)), wide));
  EXPECT_EQ(wide, L"\uFFFD");
}

TEST(TextConversionTest, TextUpToZeroStopsAtTheEndMarkOrTheBound) {
  EXPECT_EQ(TextUpToZero(static_cast<const char16_t*>(nullptr), 10), u"");
  EXPECT_EQ(TextUpToZero(u"abc", 10), u"abc");
  EXPECT_EQ(TextUpToZero(u"abcdef", 3), u"abc");
  EXPECT_EQ(TextUpToZero(u"", 3), u"");
}

}  // namespace
}  // namespace skyfw
