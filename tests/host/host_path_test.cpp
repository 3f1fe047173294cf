#include "host/host_path.h"

#include <gtest/gtest.h>

namespace skyfw {
namespace {

TEST(HostPathTest, ConvertsWithinTheLimitAndRefusesTheRest) {
  struct Case {
    std::u16string path;
    bool converts;
    size_t bytes;
  };
  const Case cases[] = {
      {u"", true, 0},
      {u"/tmp/trace.log", true, 14},
      {std::u16string(259, u'a'), true, 259},
      {std::u16string(260, u'a'), false, 0},
      {std::u16string(1000, u'a'), false, 0},
      {std::u16string(129, u'\u00e9'), true, 258},  // two bytes each
      {std::u16string(130, u'\u00e9'), false, 0},   // 260 bytes leave no room for the end mark
      {u"/tmp/" + std::u16string(1, char16_t(0xD800)), false, 0},
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(ConvertHostPath(c.path.c_str(), out), c.converts) << c.path.size();
    EXPECT_EQ(out.size(), c.bytes);
  }
  std::string out = "stale";
  EXPECT_FALSE(ConvertHostPath(nullptr, out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace skyfw
