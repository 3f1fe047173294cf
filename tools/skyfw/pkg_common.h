// Small helpers shared by the `skyfw pkg` commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "base/text.h"  // ParseNumber, ParseHexNumber (PCI IDs are written in hex)

namespace skyfw::tool {

std::vector<std::string> Split(const std::string& text, char separator);

// Texts of the package's status family: "INVALID_CHECKSUM (-26)".
std::string StatusText(int32_t status);

}  // namespace skyfw::tool
