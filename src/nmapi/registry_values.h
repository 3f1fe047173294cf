// Reading registry values into bounded buffers, as the A functions with a
// caller's buffer would: a value that does not fit fails with
// ERROR_MORE_DATA instead of being cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "platform/registry.h"

namespace skyfw {

// The text (first string of a multi-string) of a text value whose bytes,
// terminator included, fit `capacity`.
uint32_t QueryRegistryText(platform::RegistryKey& key, std::string_view name, size_t capacity,
                           std::string& text);
uint32_t QueryRegistryDword(platform::RegistryKey& key, std::string_view name, uint32_t& value);

// The value of a decimal number at the start of a text, as atoi reads it
// (leading blanks, an optional sign); 0 when there is none.
uint32_t DecimalNumber(std::string_view text);

}  // namespace skyfw
