// The two ways a user names an adapter on the command line, PCI location and
// MAC address: the spellings accepted, and the one spelling shown.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skyfw::tool {

struct PciLocation {
  uint32_t segment = 0;
  uint32_t bus = 0;
  uint32_t device = 0;
  uint32_t function = 0;
  bool operator==(const PciLocation&) const = default;
};

// SEG:BUS:DEV.FN, BUS:DEV.FN (segment 0) or the discovery document's
// SEG:BUS:DEV:FN, hexadecimal in any letter case, each field within its range
// (segment 0-ffff, bus 0-ff, device 0-1f, function 0-7). Nothing else.
std::optional<PciLocation> ParsePciLocation(std::string_view text);

// "0000:03:00.0": lower-case hexadecimal, zero-padded.
std::string FormatPciLocation(const PciLocation& location);

using MacAddress = std::array<uint8_t, 6>;

// Twelve hexadecimal digits, bare or as six pairs joined by colons (or
// hyphens), in any letter case.
std::optional<MacAddress> ParseMacAddress(std::string_view text);

// "02:0a:3b:1c:2d:4e".
std::string FormatMacAddress(const MacAddress& mac);

}  // namespace skyfw::tool
