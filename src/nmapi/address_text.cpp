#include "nmapi/address_text.h"

#include <array>
#include <cstdio>

#include "platform/ip_helper.h"

namespace skyfw {

namespace {

std::string DottedText(ByteView bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

std::string Ipv6Text(ByteView bytes) {
  std::array<uint16_t, 8> words{};
  for (size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
  }
  // The longest run of zero words; a tie keeps the first; one word is no run.
  size_t runStart = words.size();
  size_t runLength = 0;
  for (size_t i = 0; i < words.size();) {
    if (words[i] != 0) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < words.size() && words[end] == 0) ++end;
    if (end - i > runLength) {
      runStart = i;
      runLength = end - i;
    }
    i = end;
  }
  if (runLength < 2) {
    runStart = words.size();
    runLength = 0;
  }

  if (runStart == 0 && (runLength == 6 || (runLength == 5 && words[5] == 0xFFFF))) {
    return (runLength == 6 ? "::" : "::ffff:") + DottedText(bytes.subspan(12, 4));
  }
  std::string text;
  for (size_t i = 0; i < words.size();) {
    if (i == runStart) {
      text += "::";
      i += runLength;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    char word[8];
    std::snprintf(word, sizeof word, "%x", words[i]);
    text += word;
    ++i;
  }
  return text;
}

}  // namespace

uint32_t AddressToText(uint32_t family, ByteView address, size_t capacity, std::string& text) {
  std::string result;
  if (family == platform::AF_INET_WINDOWS) {
    if (address.size() < 4) return kAddressTooShort;
    result = DottedText(address);
  } else if (family == platform::AF_INET6_WINDOWS) {
    if (address.size() < 16) return kAddressTooShort;
    result = Ipv6Text(address);
  } else {
    return kAddressFamilyNotSupported;
  }
  if (result.size() + 1 > capacity) return kAddressNoSpace;
  text = result;
  return 0;
}

}  // namespace skyfw
