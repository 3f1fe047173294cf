// Wide registry text to the seam's UTF-8 form and back.
#include "win32/registry_text.h"

#include <gtest/gtest.h>

#include "platform/win32_types.h"

namespace skyfw::win32 {
namespace {

using namespace platform;

std::vector<uint8_t> Wide(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(RegistryText, StoredFormsBecomeTerminatedUtf8) {
  using namespace std::string_view_literals;
  std::vector<uint8_t> odd = Wide(u"ab");
  odd.push_back('c');  // a cut last unit is dropped
  const struct {
    const char* name;
    uint32_t type;
    std::vector<uint8_t> stored;
    std::vector<uint8_t> seam;
  } cases[] = {
      {"terminated", REG_SZ, Wide(std::u16string(u"abc\0", 4)), Bytes("abc\0"sv)},
      {"unterminated", REG_SZ, Wide(u"abc"), Bytes("abc\0"sv)},
      {"empty", REG_SZ, {}, Bytes("\0"sv)},
      {"odd length", REG_EXPAND_SZ, odd, Bytes("ab\0"sv)},
      {"ends at its first zero", REG_SZ, Wide(std::u16string(u"a\0junk", 6)), Bytes("a\0"sv)},
      {"non-ASCII", REG_SZ, Wide(u"\u00E9\u4E2D"), Bytes("\xC3\xA9\xE4\xB8\xAD\0"sv)},
      {"multi", REG_MULTI_SZ, Wide(std::u16string(u"a\0bc\0\0", 6)), Bytes("a\0bc\0\0"sv)},
      {"multi cut short", REG_MULTI_SZ, Wide(std::u16string(u"a\0bc", 4)), Bytes("a\0bc\0\0"sv)},
      {"multi empty", REG_MULTI_SZ, {}, Bytes("\0\0"sv)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RegistryTextToUtf8(c.type, c.stored), c.seam);
  }
}

TEST(RegistryText, Utf8TextIsStoredWideWithItsZeros) {
  EXPECT_EQ(Utf8ToRegistryText(Bytes(std::string_view("a\0\xC3\xA9\0", 5))),
            Wide(std::u16string(u"a\0\u00E9\0", 4)));
  EXPECT_TRUE(Utf8ToRegistryText({}).empty());
}

TEST(RegistryText, OnlyTheThreeTextTypesAreText) {
  for (uint32_t type : {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ}) EXPECT_TRUE(IsRegistryTextType(type));
  for (uint32_t type : {REG_NONE, REG_BINARY, REG_DWORD, REG_QWORD}) {
    EXPECT_FALSE(IsRegistryTextType(type));
  }
}

}  // namespace
}  // namespace skyfw::win32
