// Small helpers shared by the `skyfw pkg` commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "base/text.h"  // ParseNumber, ParseHexNumber (PCI IDs are written in hex)

namespace skyfw::tool {

// Writes a file whole: beside it first, then renamed over it. False with
// `error` set when it could not.
bool WriteFileWhole(const std::string& path, ByteView bytes, std::string& error);
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

std::vector<std::string> Split(const std::string& text, char separator);

// Texts of the package's status family: "INVALID_CHECKSUM (-26)".
std::string StatusText(int32_t status);

}  // namespace skyfw::tool
