#include "win32/registry_text.h"

#include <string>
#include <string_view>

#include "base/unicode.h"
#include "platform/win32_types.h"

namespace skyfw::win32 {

bool IsRegistryTextType(uint32_t type) {
  return type == platform::REG_SZ || type == platform::REG_EXPAND_SZ ||
         type == platform::REG_MULTI_SZ;
}

std::vector<uint8_t> RegistryTextToUtf8(uint32_t type, const std::vector<uint8_t>& wide_bytes) {
  std::u16string wide(wide_bytes.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(wide_bytes[2 * i] | (wide_bytes[2 * i + 1] << 8));
  }
  // A single string ends at its first zero, whatever follows in the value.
  if (type != platform::REG_MULTI_SZ) wide = wide.substr(0, wide.find(u'\0'));
  std::string text = Utf16ToUtf8(wide);
  std::vector<uint8_t> data(text.begin(), text.end());
  size_t terminators = type == platform::REG_MULTI_SZ ? 2 : 1;
  size_t present = 0;
  while (present < terminators && present < data.size() && data[data.size() - 1 - present] == 0) {
    ++present;
  }
  data.insert(data.end(), terminators - present, 0);
  return data;
}

std::vector<uint8_t> Utf8ToRegistryText(const std::vector<uint8_t>& utf8_bytes) {
  std::u16string wide = Utf8ToUtf16(
      std::string_view(reinterpret_cast<const char*>(utf8_bytes.data()), utf8_bytes.size()));
  std::vector<uint8_t> bytes;
  bytes.reserve(wide.size() * 2);
  for (char16_t unit : wide) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

}  // namespace skyfw::win32
