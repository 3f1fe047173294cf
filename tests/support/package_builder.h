// Package bytes laid out by hand: for the package reader's and verifier's
// tests and for the simulated firmware's own parser. Independent of the
// package writer, and its CRC-32 is a bit-at-a-time implementation,
// independent of the tables of both, so a fault in any of them shows up as a
// refusal. Every field can be set to anything: tests build malformed
// packages with it too, and reseal them after tampering.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "builders.h"

namespace skyfw::testing {

using tool::Bytes;

uint32_t BitwiseCrc32(ByteView bytes);

struct PackageItem {
  uint8_t directive = 0;
  uint16_t type = 0;
  uint16_t ordinal = 0;
  uint16_t ext = 0;
  uint16_t attr = 0;
  uint32_t item_length = 0;  // 0: the data length
  Bytes data;
};

struct PackageLayout {
  size_t manifest = 0;  // offset of the manifest header
  size_t entries = 0;   // offset of entry 0
  std::vector<size_t> data_offsets;
};

// A package with the given raw property area and items, laid out as the
// writer does (entries of 64 + 24 bytes, data padded to 4, CRC at the end).
Bytes EncodePackage(const Bytes& properties, const std::vector<PackageItem>& items,
                    PackageLayout* layout = nullptr);

// One property of the area: tag, 16-bit length, value.
Bytes Property(uint8_t tag, const Bytes& value);
Bytes TextValue(const std::string& text);
Bytes Concat(std::initializer_list<Bytes> parts);

// A package with a description (property 1) and a version (property 9),
// each left out when empty.
struct TestPackage {
  std::string version;
  std::string description;
  std::vector<PackageItem> items;
};
Bytes BuildPackage(const TestPackage& package, PackageLayout* layout = nullptr);

// Recomputes the package CRC after a test has tampered with the bytes.
void ResealPackage(Bytes& bytes);

// Puts the package inside the outer wrapper with a correct wrapper CRC.
Bytes WrapPackage(const Bytes& package);

}  // namespace skyfw::testing

// The simulated firmware's tests name the encoder in their own namespace.
namespace skyfw::sim::testing {

using skyfw::testing::BitwiseCrc32;
using skyfw::testing::BuildPackage;
using skyfw::testing::PackageItem;
using skyfw::testing::PackageLayout;
using skyfw::testing::ResealPackage;
using skyfw::testing::TestPackage;
using skyfw::testing::WrapPackage;

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace skyfw::sim::testing
