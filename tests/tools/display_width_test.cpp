// Table columns are padded by what a terminal shows, not by bytes.
#include "display_width.h"

#include <gtest/gtest.h>

namespace skyfw::tool {
namespace {

TEST(DisplayWidthTest, CountsColumnsNotBytes) {
  struct Case {
    const char* text;
    size_t width;
  };
  const Case cases[] = {
      {"", 0},
      {"Skyline S2", 10},
      {"Carte réseau", 12},  // é is two bytes, one column
      {"Cafe\xCC\x81", 4},   // e + combining acute: one column
      {"网卡 S2", 7},        // two wide letters, a blank, two ASCII
      {"\xEF\xBC\xA1", 2},   // fullwidth A
      {"a\xE2\x80\x8B"
       "b",
       2},              // zero-width space
      {"\xFF\xFE", 2},  // not UTF-8: one column per byte
      {"\xE7\xBD", 2},  // a cut-off wide letter
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
}

TEST(DisplayWidthTest, PadsToTheSameColumn) {
  // The fault this fixes: padding by bytes left accented names short.
  EXPECT_EQ(PadToWidth("réseau", 8), "réseau  ");
  EXPECT_EQ(PadToWidth("网卡", 5), "网卡 ");
  EXPECT_EQ(PadToWidth("toolong", 3), "toolong");
  EXPECT_EQ(DisplayWidth(PadToWidth("网卡", 8)), DisplayWidth(PadToWidth("réseau", 8)));
}

}  // namespace
}  // namespace skyfw::tool
