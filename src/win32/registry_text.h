// Wide registry text (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) to and from the
// seam's UTF-8 form, for the registry and the device properties alike.
#pragma once

#include <cstdint>
#include <vector>

namespace skyfw::win32 {

bool IsRegistryTextType(uint32_t type);

// Stored wide bytes (perhaps without their terminator, perhaps with an odd
// last byte) to UTF-8 with terminator(s), the form the A functions give.
std::vector<uint8_t> RegistryTextToUtf8(uint32_t type, const std::vector<uint8_t>& wide_bytes);

// UTF-8 text bytes, zeros and all, to wide bytes as RegSetValueExW takes them.
std::vector<uint8_t> Utf8ToRegistryText(const std::vector<uint8_t>& utf8_bytes);

}  // namespace skyfw::win32
