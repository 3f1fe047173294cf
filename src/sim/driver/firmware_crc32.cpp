#include "sim/driver/firmware_crc32.h"

#include <array>

namespace skyfw::sim {
namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
    table[n] = value;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t FirmwareCrc32(ByteView bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : bytes) crc = (crc >> 8) ^ kTable[(crc ^ byte) & 0xFF];
  return ~crc;
}

}  // namespace skyfw::sim
