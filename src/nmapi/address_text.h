// Text forms of IPv4 and IPv6 addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/byte_reader.h"

namespace skyfw {

inline constexpr uint32_t kAddressFamilyNotSupported = 10047;  // WSAEAFNOSUPPORT
inline constexpr uint32_t kAddressNoSpace = 122;               // ERROR_INSUFFICIENT_BUFFER
inline constexpr uint32_t kAddressTooShort = 87;               // ERROR_INVALID_PARAMETER

// Family 2: "a.b.c.d" of four bytes. Family 23: the IPv6 text of sixteen
// bytes, the longest run of two or more zero words (the first of equal runs)
// written as "::", an IPv4-compatible or IPv4-mapped tail in dotted form.
// 0 with the text when it fits `capacity` with its terminator; otherwise an
// error above and `text` unchanged.
uint32_t AddressToText(uint32_t family, ByteView address, size_t capacity, std::string& text);

}  // namespace skyfw
