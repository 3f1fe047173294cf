#include "nmapi/registry_values.h"

#include <charconv>

#include "platform/win32_types.h"

namespace skyfw {

using namespace platform;

uint32_t QueryRegistryText(RegistryKey& key, std::string_view name, size_t capacity,
                           std::string& text) {
  RegistryValue value;
  uint32_t error = key.QueryValue(name, value);
  if (error != ERROR_SUCCESS) return error;
  if (value.data.size() > capacity) return ERROR_MORE_DATA;
  std::optional<std::string> stored = value.AsText();
  if (!stored) return ERROR_INVALID_DATA;
  text = *stored;
  return ERROR_SUCCESS;
}

uint32_t QueryRegistryDword(RegistryKey& key, std::string_view name, uint32_t& value) {
  RegistryValue stored;
  uint32_t error = key.QueryValue(name, stored);
  if (error != ERROR_SUCCESS) return error;
  if (stored.data.size() > 4) return ERROR_MORE_DATA;
  std::optional<uint32_t> number = stored.AsDword();
  if (!number) return ERROR_INVALID_DATA;
  value = *number;
  return ERROR_SUCCESS;
}

uint32_t DecimalNumber(std::string_view text) {
  size_t start = 0;
  while (start < text.size() &&
         (text[start] == ' ' || (text[start] >= '\t' && text[start] <= '\r')))
    ++start;
  bool negative = false;
  if (start < text.size() && (text[start] == '+' || text[start] == '-')) {
    negative = text[start] == '-';
    ++start;
  }
  uint64_t number = 0;
  auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), number);
  (void)end;
  if (error != std::errc()) return 0;
  uint32_t value = static_cast<uint32_t>(number);
  return negative ? 0u - value : value;
}

}  // namespace skyfw
