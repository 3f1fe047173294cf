#include "sim/driver/firmware_crc32.h"

#include <array>

namespace skyfw::sim {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

// Table 0 is the classic byte table of the reflected polynomial; table k
// advances a byte through k further zero bytes, so eight bytes are folded in
// per step (slicing-by-8). Every driver call checks and reseals a whole NVRAM
// file, which makes the CRC the driver's hottest loop.
constexpr Tables MakeTables() {
  Tables tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
    tables[0][n] = value;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (size_t k = 1; k < 8; ++k) {
      tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
    }
  }
  return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint32_t FirmwareCrc32(ByteView bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint32_t low = crc ^ (uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 |
                          uint32_t{bytes[i + 2]} << 16 | uint32_t{bytes[i + 3]} << 24);
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][bytes[i + 4]] ^ kTables[2][bytes[i + 5]] ^
          kTables[1][bytes[i + 6]] ^ kTables[0][bytes[i + 7]];
  }
  for (; i < bytes.size(); ++i) crc = (crc >> 8) ^ kTables[0][(crc ^ bytes[i]) & 0xFF];
  return ~crc;
}

}  // namespace skyfw::sim
