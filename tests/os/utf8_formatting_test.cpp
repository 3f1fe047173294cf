#include "os/utf8_formatting.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace skyfw::platform {
namespace {

// No format attribute: the formats below are data, checked by comparison.
std::string Own(const char* format, ...) {
  char buffer[256];
  va_list arguments;
  va_start(arguments, format);
  int length = FormatWithOwnWideText(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  return length < 0 ? "<refused>" : std::string(buffer);
}

std::string Runtime(const char* format, ...) {
  char buffer[256];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  return length < 0 ? "<refused>" : std::string(buffer);
}

template <typename... Arguments>
void ExpectAsRuntime(const char* format, Arguments... arguments) {
  EXPECT_EQ(Own(format, arguments...), Runtime(format, arguments...)) << format;
}

TEST(FormatWithOwnWideText, NarrowConversionsComeOutAsTheRuntimeWritesThem) {
  int local = 0;
  ExpectAsRuntime("plain text, no conversion");
  ExpectAsRuntime("%d %i %u %x %X %o|", -42, 7, 4000000000u, 0xbeefu, 0xbeefu, 8u);
  ExpectAsRuntime("[%+05d] [%-6d] [% d] [%#x] [%08x] [%04X]", 42, 42, 42, 255u, 0xabu, 0xcu);
  ExpectAsRuntime("%hhd %hu %ld %llu %jd %zu %td", 300, 70000, LONG_MIN, ULLONG_MAX, INTMAX_MIN,
                  SIZE_MAX, PTRDIFF_MIN);
  ExpectAsRuntime("[%*d] [%*d] [%.*d] [%-*s]", 5, 42, -5, 42, 3, 7, 4, "ab");
  ExpectAsRuntime("[%.3s] [%.*s] [%10.4s] [%c%c]", "abcdef", -1, "all", "cut here", 'o', 'k');
  ExpectAsRuntime("%10.2e %g %.0f %La", 12345.678, 0.0001, 2.5, 1.5L);
  ExpectAsRuntime("%p and 100%% of %s", static_cast<void*>(&local), "it");
}

TEST(FormatWithOwnWideText, WideTextComesOutAsUtf8) {
  const wchar_t unpaired[] = {L'a', static_cast<wchar_t>(0xD800), L'b', L'\0'};
  struct Case {
    const char* format;
    const wchar_t* text;
    std::string out;
  };
  const Case cases[] = {
      {"adapter : %ls\n", L"Skyline \u00e9\U0001F600",
       "adapter : Skyline \xC3\xA9\xF0\x9F\x98\x80\n"},
      {"[%.3ls]", L"a\u00e9b", "[a\xC3\xA9]"},           // the precision counts bytes
      {"[%.2ls]", L"a\u00e9", "[a]"},                    // and never cuts a character
      {"[%.4ls]", L"\U0001F600", "[\xF0\x9F\x98\x80]"},  // a surrogate pair on Windows
      {"[%.3ls]", L"\U0001F600", "[]"},
      {"[%ls]", unpaired,
       "[a\xEF\xBF\xBD"
       "b]"},
      {"[%ls]", L"", "[]"},
  };
  for (const Case& c : cases) EXPECT_EQ(Own(c.format, c.text), c.out) << c.format;
  // Widths count bytes too.
  EXPECT_EQ(Own("[%5ls] [%-4ls]", L"\u00e9", L"\u00e9"), "[   \xC3\xA9] [\xC3\xA9  ]");
  EXPECT_EQ(Own("[%ls]", static_cast<const wchar_t*>(nullptr)), "[(null)]");
  EXPECT_EQ(Own("%lc|%3lc", static_cast<wint_t>(L'\u00e9'), static_cast<wint_t>(L'x')),
            "\xC3\xA9|  x");
}

TEST(FormatWithOwnWideText, CutsAtTheBufferAndCountsTheWhole) {
  auto format = [](char* buffer, size_t size, const char* text, ...) {
    va_list arguments;
    va_start(arguments, text);
    int length = FormatWithOwnWideText(buffer, size, text, arguments);
    va_end(arguments);
    return length;
  };
  char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(format(buffer, sizeof buffer, "ab%ls%d", L"\u00e9\u00e9", 12345), 11);
  EXPECT_EQ(std::string(buffer), "ab\xC3\xA9");
  EXPECT_EQ(format(nullptr, 0, "%s-%ls", "abc", L"d"), 5);
  EXPECT_EQ(format(buffer, 1, "%s", "abc"), 3);
  EXPECT_EQ(buffer[0], '\0');
}

TEST(FormatWithOwnWideText, RefusesWhatItCannotFormatSafely) {
  int written = 0;
  EXPECT_EQ(Own("%n", &written), "<refused>");
  EXPECT_EQ(written, 0);
  for (const char* format : {"%q", "trailing %", "%Ld", "%hs", "%lp", "%99999999999d"}) {
    EXPECT_EQ(Own(format, 1), "<refused>") << format;
  }
}

TEST(FormatUtf8, WritesWideTextAsUtf8OnThisPlatform) {
  CreateUtf8Formatting();
  auto format = [](const char* text, ...) {
    char buffer[64];
    va_list arguments;
    va_start(arguments, text);
    int length = FormatUtf8(buffer, sizeof buffer, text, arguments);
    va_end(arguments);
    return length < 0 ? std::string("<refused>") : std::string(buffer);
  };
  EXPECT_EQ(format("%ls|%d", L"\u00e9\U0001F600", 7), "\xC3\xA9\xF0\x9F\x98\x80|7");
  DestroyUtf8Formatting();
}

}  // namespace
}  // namespace skyfw::platform
