// Builds NVM packages for the simulated firmware's tests.
//
// Its CRC-32 is a bit-at-a-time implementation, independent of the table
// the firmware uses, so a fault in either shows up as a refusal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_reader.h"

namespace skyfw::sim::testing {

uint32_t BitwiseCrc32(ByteView bytes);

struct TestItem {
  uint8_t directive = 0;
  uint16_t type = 0;
  uint16_t ordinal = 0;
  uint16_t ext = 0;
  uint16_t attr = 0;
  uint32_t item_length = 0;  // 0: the data length
  std::vector<uint8_t> data;
};

struct TestPackage {
  std::string version;      // property 9, left out when empty
  std::string description;  // property 1, left out when empty
  std::vector<TestItem> items;
};

struct PackageLayout {
  size_t manifest = 0;  // offset of the manifest header
  size_t entries = 0;   // offset of entry 0
  std::vector<size_t> data_offsets;
};

// A well-formed package: items padded to 4 bytes, the CRC right behind them.
std::vector<uint8_t> BuildPackage(const TestPackage& package, PackageLayout* layout = nullptr);

// Recomputes the package CRC after a test has tampered with the bytes.
void ResealPackage(std::vector<uint8_t>& bytes);

// Puts the package inside the outer wrapper with a correct wrapper CRC.
std::vector<uint8_t> WrapPackage(const std::vector<uint8_t>& package);

std::vector<uint8_t> Bytes(const std::string& text);

}  // namespace skyfw::sim::testing
