#include "package/version_compare.h"

#include <gtest/gtest.h>

namespace skyfw {
namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareVersions, NumbersByValueEverythingElseByByte) {
  struct Case {
    const char* left;
    const char* right;
    int expected;
  } const cases[] = {
      {"9.0.0", "10.0.0", -1},
      {"21.6.2", "21.10.1", -1},
      {"20.1.5", "20.1.0", 1},
      {"20.1.15", "20.1.2", 1},
      {"1.2.3", "1.2.3", 0},
      {"1.2", "1.2.3", -1},
      {"1.a", "1.9", 1},  // a letter sorts after a digit
      {"1.2a", "1.2.0", 1},
      {"1.2-beta", "1.2.0", -1},  // '-' sorts before '.'
      {"07.1", "7.1", 0},
      {"", "", 0},
      {"", "0", -1},
      {"A1", "a1", -1},
      {"99999999999999999999.1", "100000000000000000000.0", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(CompareVersions(c.left, c.right)), c.expected) << c.left << " vs " << c.right;
    EXPECT_EQ(Sign(CompareVersions(c.right, c.left)), -c.expected) << c.right << " vs " << c.left;
  }
}

}  // namespace
}  // namespace skyfw
