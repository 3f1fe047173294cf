// The registry through the Win32 platform, on keys the test seeds itself
// below HKLM\SOFTWARE and on a key every Windows (and Wine) prefix has.
#include <gtest/gtest.h>

#include <algorithm>

#include "win32_test_support.h"

namespace skyfw::win32::testing {
namespace {

using namespace platform;

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = "SOFTWARE\\" + UniqueName("skyfw-contract");
    bool created = false;
    ASSERT_EQ(Win32().registry().CreateKey(root_, KEY_ALL_ACCESS, key_, &created), ERROR_SUCCESS);
    ASSERT_TRUE(created);
  }
  void TearDown() override {
    key_.reset();
    DeleteRegistryTree(root_);
  }

  std::string root_;
  std::unique_ptr<RegistryKey> key_;
};

TEST_F(RegistryContract, ValuesComeBackInTheSeamsForm) {
  struct Case {
    const char* name;
    RegistryValue written;
    std::vector<uint8_t> read;  // what QueryValue must give
  };
  const Case cases[] = {
      {"text", RegistryValue::Text("Skyline"), {'S', 'k', 'y', 'l', 'i', 'n', 'e', 0}},
      // Non-ASCII text travels as UTF-8 both ways (U+00E9, U+4E2D).
      {"utf8",
       RegistryValue::Text("caf\xC3\xA9 \xE4\xB8\xAD"),
       {'c', 'a', 'f', 0xC3, 0xA9, ' ', 0xE4, 0xB8, 0xAD, 0}},
      {"expand",
       RegistryValue::Text("%SystemRoot%\\x", REG_EXPAND_SZ),
       {'%', 'S', 'y', 's', 't', 'e', 'm', 'R', 'o', 'o', 't', '%', '\\', 'x', 0}},
      {"multi", RegistryValue{REG_MULTI_SZ, {'a', 0, 'b', 'c', 0, 0}}, {'a', 0, 'b', 'c', 0, 0}},
      {"dword", RegistryValue::Dword(0x12345678), {0x78, 0x56, 0x34, 0x12}},
      {"binary", RegistryValue::Binary({0, 1, 2, 0xFF}), {0, 1, 2, 0xFF}},
      // Longer than the first read buffer: the value arrives whole.
      {"long", RegistryValue::Binary(std::vector<uint8_t>(5000, 0xA5)),
       std::vector<uint8_t>(5000, 0xA5)},
      // A text written without its terminator comes back with one.
      {"unterminated", RegistryValue{REG_SZ, {'n', 'o', 'z'}}, {'n', 'o', 'z', 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(key_->SetValue(c.name, c.written), ERROR_SUCCESS);
    RegistryValue read;
    ASSERT_EQ(key_->QueryValue(c.name, read), ERROR_SUCCESS);
    EXPECT_EQ(read.type, c.written.type);
    EXPECT_EQ(read.data, c.read);
  }
}

TEST_F(RegistryContract, MissingKeysAndValuesAreFileNotFound) {
  RegistryValue value;
  EXPECT_EQ(key_->QueryValue("absent", value), ERROR_FILE_NOT_FOUND);
  std::unique_ptr<RegistryKey> missing;
  EXPECT_EQ(Win32().registry().OpenKey(root_ + "\\absent", KEY_READ, missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
}

// With a substitute for its bad byte, a name would reach this other value
// and key; it is refused with what Windows' own conversion answers.
TEST_F(RegistryContract, NamesThatAreNotUtf8AreRefusedAndTouchNothing) {
  constexpr uint32_t kNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION
  const std::string substitute = "name-\xEF\xBF\xBD";
  const std::string bad = "name-\xFF";
  ASSERT_EQ(key_->SetValue(substitute, RegistryValue::Dword(1)), ERROR_SUCCESS);
  EXPECT_EQ(key_->SetValue(bad, RegistryValue::Dword(2)), kNoUnicodeTranslation);
  RegistryValue value;
  EXPECT_EQ(key_->QueryValue(bad, value), kNoUnicodeTranslation);
  ASSERT_EQ(key_->QueryValue(substitute, value), ERROR_SUCCESS);
  EXPECT_EQ(value.data, (std::vector<uint8_t>{1, 0, 0, 0}));

  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(Win32().registry().CreateKey(root_ + "\\" + bad, KEY_ALL_ACCESS, key, nullptr),
            kNoUnicodeTranslation);
  EXPECT_EQ(Win32().registry().OpenKey(root_ + "\\" + substitute, KEY_READ, key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryContract, AReadOnlyHandleRefusesWrites) {
  std::unique_ptr<RegistryKey> read_only;
  ASSERT_EQ(Win32().registry().OpenKey(root_, KEY_READ, read_only), ERROR_SUCCESS);
  EXPECT_EQ(read_only->SetValue("x", RegistryValue::Dword(1)), ERROR_ACCESS_DENIED);
  RegistryValue value;
  EXPECT_EQ(read_only->QueryValue("x", value), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryContract, SubkeysAreCountedEnumeratedAndFoundWithoutRegardToCase) {
  for (const char* name : {"Alpha", "beta", "Gamma"}) {
    std::unique_ptr<RegistryKey> child;
    ASSERT_EQ(Win32().registry().CreateKey(root_ + "\\" + name, KEY_ALL_ACCESS, child, nullptr),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(key_->SetValue("v", RegistryValue::Dword(7)), ERROR_SUCCESS);

  uint32_t subkeys = 0;
  uint32_t values = 0;
  ASSERT_EQ(key_->QueryInfoKey(subkeys, values), ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 3u);
  EXPECT_EQ(values, 1u);

  std::vector<std::string> names;
  std::string name;
  uint32_t index = 0;
  uint32_t result = ERROR_SUCCESS;
  while ((result = key_->EnumKey(index, name)) == ERROR_SUCCESS && index < 10) {
    names.push_back(name);
    ++index;
  }
  EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Gamma", "beta"}));

  std::unique_ptr<RegistryKey> other_case;
  EXPECT_EQ(Win32().registry().OpenKey(root_ + "\\ALPHA", KEY_READ, other_case), ERROR_SUCCESS);
}

TEST_F(RegistryContract, CreatingAnExistingKeyOpensIt) {
  ASSERT_EQ(key_->SetValue("kept", RegistryValue::Dword(3)), ERROR_SUCCESS);
  std::unique_ptr<RegistryKey> again;
  bool created = true;
  ASSERT_EQ(Win32().registry().CreateKey(root_, KEY_ALL_ACCESS, again, &created), ERROR_SUCCESS);
  EXPECT_FALSE(created);
  RegistryValue value;
  ASSERT_EQ(again->QueryValue("kept", value), ERROR_SUCCESS);
  EXPECT_EQ(value.AsDword(), 3u);
}

TEST(RegistrySeeded, TheSystemsOwnKeysRead) {
  // Present on every Windows and in every Wine prefix.
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(
      Win32().registry().OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", KEY_READ, key),
      ERROR_SUCCESS);
  RegistryValue value;
  ASSERT_EQ(key->QueryValue("SystemRoot", value), ERROR_SUCCESS);
  ASSERT_TRUE(value.AsText().has_value());
  EXPECT_FALSE(value.AsText()->empty());
}

}  // namespace
}  // namespace skyfw::win32::testing
