#include "base/nvm_status.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

namespace skyfw {
namespace {

TEST(NvmStatus, NamesWithoutPrefix) {
  const std::pair<NvmStatus, const char*> cases[] = {
      {0, "SUCCESS"},
      {-1, "FAILURE"},
      {-24, "INVALID_MANIFEST"},
      {-29, "INVALID_RSA_SIGNATURE"},
      {-133, "VELO_LFC_DRIVER_NOT_LOADED"},
      {-200, "CAP"},
  };
  for (auto [status, name] : cases) {
    ASSERT_NE(NvmStatusName(status), nullptr) << status;
    EXPECT_STREQ(NvmStatusName(status), name);
    EXPECT_STREQ(NvmStatusText(status), name);
  }
}

// Exactly 72 values between 0 and -200 have names, none with the prefix.
TEST(NvmStatus, ExactlySeventyTwoNames) {
  int named = 0;
  std::set<std::string> names;
  for (NvmStatus status = 0; status >= -200; --status) {
    if (const char* name = NvmStatusName(status)) {
      ++named;
      names.insert(name);
      EXPECT_NE(std::string(name).rfind("NVCRETVAL_", 0), 0u) << name;
    }
  }
  EXPECT_EQ(named, 72);
  EXPECT_EQ(names.size(), 72u);
}

TEST(NvmStatus, UnnamedValuesFallBackToUnknown) {
  const std::pair<NvmStatus, const char*> cases[] = {
      {-15, "Unknown: -15"},
      {-56, "Unknown: -56"},
      {-201, "Unknown: -201"},
      {1, "Unknown: 1"},
      {INT_MAX, "Unknown: 2147483647"},
      {INT_MIN, "Unknown: -2147483648"},
  };
  for (auto [status, text] : cases) {
    EXPECT_EQ(NvmStatusName(status), nullptr) << status;
    EXPECT_STREQ(NvmStatusText(status), text);
  }
}

TEST(NvmStatus, FallbackBufferIsShared) {
  const char* first = NvmStatusText(-15);
  const char* second = NvmStatusText(-56);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "Unknown: -56");
}

}  // namespace
}  // namespace skyfw
