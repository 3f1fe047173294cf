#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "os/environment.h"
#include "base/unicode.h"

namespace skyfw::platform {
namespace {

struct WellFormed {
  const char* utf8;
  const wchar_t* wide;
};

// wchar_t literals are UTF-16 on Windows and UTF-32 elsewhere, as ToWide's
// result must be.
TEST(WideText, WellFormedUtf8RoundTrips) {
  for (const WellFormed& row : {
           WellFormed{"", L""}, WellFormed{"plain\\path.pkg", L"plain\\path.pkg"},
           WellFormed{"\xCE\xA9", L"\u03A9"},                        // two bytes
           WellFormed{"\xE2\x82\xAC\xE6\xBC\xA2", L"\u20AC\u6F22"},  // three
           WellFormed{"\xEF\xBF\xBD", L"\uFFFD"},          // the substitute itself is a character
           WellFormed{"\xF0\x9F\x98\x80", L"\U0001F600"},  // four: a surrogate pair on Windows
           WellFormed{"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},  // the last code point
       }) {
    const std::optional<std::wstring> wide = ToWide(row.utf8);
    ASSERT_TRUE(wide.has_value()) << row.utf8;
    EXPECT_EQ(*wide, row.wide) << row.utf8;
    std::string back;
    EXPECT_TRUE(FromWide(*wide, back));
    EXPECT_EQ(back, row.utf8);
  }
}

// A substitute would make a bad name another file's (or variable's) name.
TEST(WideText, MalformedUtf8IsRefused) {
  for (const char* bad : {
           "name-\xFF.pkg",     // no lead byte
           "\x80",              // a continuation alone
           "\xC3(",             // a lead byte without its continuation
           "\xE2\x82",          // cut at the end
           "\xC0\xAF",          // overlong '/'
           "\xE0\x80\xAF",      // overlong '/' in three bytes
           "\xED\xA0\x80",      // an encoded surrogate
           "\xF4\x90\x80\x80",  // past U+10FFFF
       }) {
    EXPECT_EQ(ToWide(bad), std::nullopt) << ::testing::PrintToString(bad);
  }
}

TEST(WideText, NonCharactersBecomeTheSubstituteAndAreReported) {
  std::wstring lone_surrogate = L"a";
  lone_surrogate.push_back(static_cast<wchar_t>(0xD800));
  lone_surrogate.push_back(L'b');
  std::string utf8;
  EXPECT_FALSE(FromWide(lone_surrogate, utf8));
  EXPECT_EQ(utf8,
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(FromWide(lone_surrogate), utf8);
  if constexpr (sizeof(wchar_t) == 4) {
    EXPECT_FALSE(FromWide(std::wstring(1, static_cast<wchar_t>(0x110000)), utf8));
    EXPECT_EQ(utf8, "\xEF\xBF\xBD");
  }
}

TEST(WideText, EnvironmentValuesAreUtf8) {
  ASSERT_TRUE(SetEnvironmentText("SKYFW_TEST_WIDE", "\xCE\xA9-\xE2\x82\xAC"));
  EXPECT_EQ(GetEnvironmentText("SKYFW_TEST_WIDE"), "\xCE\xA9-\xE2\x82\xAC");
  // Windows keeps the environment in UTF-16: bytes that are not UTF-8 cannot
  // be stored there and must not replace the value with a substitute.
  const bool stored = SetEnvironmentText("SKYFW_TEST_WIDE", "bad-\xFF");
#if defined(_WIN32)
  EXPECT_FALSE(stored);
  EXPECT_EQ(GetEnvironmentText("SKYFW_TEST_WIDE"), "\xCE\xA9-\xE2\x82\xAC");
#else
  EXPECT_TRUE(stored);
  EXPECT_EQ(GetEnvironmentText("SKYFW_TEST_WIDE"), "bad-\xFF");
#endif
  EXPECT_TRUE(SetEnvironmentText("SKYFW_TEST_WIDE", ""));
  EXPECT_EQ(GetEnvironmentText("SKYFW_TEST_WIDE"), std::nullopt);
}

}  // namespace
}  // namespace skyfw::platform
