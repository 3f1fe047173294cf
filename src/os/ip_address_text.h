// IP address texts, read by the C library of the platform (inet_pton): kept
// apart so that nothing else needs the socket headers.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace skyfw::platform {

// Dotted IPv4 text ("192.0.2.10"). False when it is not one.
bool ParseIpv4Text(const std::string& text, std::array<uint8_t, 4>& address);
// IPv6 text ("fe80::1"). False when it is not one.
bool ParseIpv6Text(const std::string& text, std::array<uint8_t, 16>& address);

}  // namespace skyfw::platform
