// CRC-32 (ISO-HDLC, the CRC of IEEE 802.3: reflected polynomial 0xEDB88320,
// register starting at the seed, complemented at the end). It guards
// packages, packaged items, the package wrapper and signed images.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/byte_reader.h"

namespace skyfw {

// Every caller passes this seed, so each call is the complete CRC of a range.
inline constexpr uint32_t kCrc32Seed = 0xFFFFFFFF;

// The CRC-32 of any message followed by its own CRC-32 (little-endian).
// Appending 4 bytes maps the register one-to-one, so CRC(m || x) equals this
// value exactly when x is CRC(m): a stored trailing CRC can be checked from
// the CRC of the whole range.
inline constexpr uint32_t kCrc32Residue = 0x2144DF1C;

// Sets the register to seed, runs every byte through it and returns the
// complement. Crc32(kCrc32Seed, {}) is 0.
uint32_t Crc32(uint32_t seed, ByteView bytes);

// The CRC-32 of A followed by B, from CRC-32(A), CRC-32(B) and B's length.
uint32_t Crc32Combine(uint32_t crc_first, uint32_t crc_second, uint64_t second_length);

// CRC of a stream from its current position up to end of file or `limit`
// bytes (0: no limit). The stream is left after the last byte read.
uint32_t Crc32File(std::FILE* stream, uint64_t limit);

namespace crc32_detail {
// The three engines behind Crc32, exposed so tests can prove they agree:
// one table step per byte (the definition), slicing-by-8 (portable), and
// carry-less-multiply folding (x86-64 with PCLMULQDQ, chosen at run time).
uint32_t Bytewise(uint32_t seed, ByteView bytes);
uint32_t Slicing8(uint32_t seed, ByteView bytes);
bool HasCarrylessMultiply();
uint32_t Folding(uint32_t seed, ByteView bytes);  // only when HasCarrylessMultiply()
}  // namespace crc32_detail

}  // namespace skyfw
