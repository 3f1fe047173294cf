#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/malformed_utf8.h"
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
  for (const testing::MalformedUtf8& bad : testing::kMalformedUtf8) {
    EXPECT_EQ(ToWide(bad.bytes), std::nullopt) << ::testing::PrintToString(bad.bytes);
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

}  // namespace
}  // namespace skyfw::platform
