#include "adapter_address.h"

#include <cstdio>
#include <vector>

#include "base/text.h"

namespace skyfw::tool {
namespace {

// One field: 1 to max_digits hexadecimal digits, at most maximum.
std::optional<uint32_t> HexField(std::string_view text, size_t max_digits, uint32_t maximum) {
  if (text.size() > max_digits) return std::nullopt;
  const std::optional<uint64_t> value = ParseDigits(text, 16, maximum);
  if (!value) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

std::vector<std::string_view> SplitAt(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

std::optional<PciLocation> ParsePciLocation(std::string_view text) {
  std::vector<std::string_view> fields = SplitAt(text, ':');
  std::string_view function_text;
  if (fields.size() == 4) {  // SEG:BUS:DEV:FN
    function_text = fields[3];
    fields.pop_back();
  } else if (fields.size() == 2 || fields.size() == 3) {  // [SEG:]BUS:DEV.FN
    std::string_view last = fields.back();
    size_t dot = last.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    function_text = last.substr(dot + 1);
    fields.back() = last.substr(0, dot);
  } else {
    return std::nullopt;
  }
  if (fields.size() == 2) fields.insert(fields.begin(), std::string_view("0"));
  auto segment = HexField(fields[0], 4, 0xFFFF);
  auto bus = HexField(fields[1], 2, 0xFF);
  auto device = HexField(fields[2], 2, 0x1F);
  auto function = HexField(function_text, 1, 7);
  if (!segment || !bus || !device || !function) return std::nullopt;
  return PciLocation{*segment, *bus, *device, *function};
}

std::string FormatPciLocation(const PciLocation& location) {
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", location.segment, location.bus,
                location.device, location.function);
  return text;
}

std::optional<MacAddress> ParseMacAddress(std::string_view text) {
  std::string digits;
  if (text.size() == 17) {
    const char separator = text[2];
    if (separator != ':' && separator != '-') return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
      if (i % 3 == 2) {
        if (text[i] != separator) return std::nullopt;
      } else {
        digits.push_back(text[i]);
      }
    }
  } else if (text.size() == 12) {
    digits = text;
  } else {
    return std::nullopt;
  }
  MacAddress mac{};
  for (size_t i = 0; i < mac.size(); ++i) {
    int high = HexDigitValue(digits[2 * i]);
    int low = HexDigitValue(digits[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    mac[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return mac;
}

std::string FormatMacAddress(const MacAddress& mac) {
  char text[32];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

}  // namespace skyfw::tool
