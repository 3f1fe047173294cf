// Small helpers shared by the `skyfw pkg` commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_reader.h"

namespace skyfw::tool {

// A number in decimal or with 0x in hex; nullopt unless all of `text` is one
// and it lies within [0, maximum].
std::optional<uint64_t> ParseNumber(const std::string& text, uint64_t maximum);
// A hexadecimal number with or without 0x (PCI IDs are written in hex).
std::optional<uint64_t> ParseHex(const std::string& text, uint64_t maximum);

std::vector<std::string> Split(const std::string& text, char separator);

// Texts of the package's status family: "INVALID_CHECKSUM (-26)".
std::string StatusText(int32_t status);

}  // namespace skyfw::tool
