#include "os/ip_address_text.h"

#include <arpa/inet.h>

namespace skyfw::platform {

bool ParseIpv4Text(const std::string& text, std::array<uint8_t, 4>& address) {
  return inet_pton(AF_INET, text.c_str(), address.data()) == 1;
}

bool ParseIpv6Text(const std::string& text, std::array<uint8_t, 16>& address) {
  return inet_pton(AF_INET6, text.c_str(), address.data()) == 1;
}

}  // namespace skyfw::platform
