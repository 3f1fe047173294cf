// Environment values are UTF-8 text, on Windows too.
#include "os/environment.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace skyfw::platform {
namespace {

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
