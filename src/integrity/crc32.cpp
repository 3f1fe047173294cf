#include "integrity/crc32.h"

#include <array>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace skyfw {

namespace {

using Crc32Tables = std::array<std::array<uint32_t, 256>, 8>;

// Table 0 is the standard byte table of the reflected polynomial (entry 1 is
// 0x77073096, entry 128 is 0xEDB88320); table k advances a byte k more places,
// which lets slicing-by-8 take eight bytes per step.
constexpr Crc32Tables MakeTables() {
  Crc32Tables tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t r = n;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    tables[0][n] = r;
  }
  for (size_t k = 1; k < 8; ++k) {
    for (size_t n = 0; n < 256; ++n) {
      uint32_t previous = tables[k - 1][n];
      tables[k][n] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr Crc32Tables kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096u && kTables[0][128] == 0xEDB88320u);

// Both run on the raw register (no complement): engines chain through it.
uint32_t BytewiseRegister(uint32_t r, const uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) r = (r >> 8) ^ kTables[0][(r ^ data[i]) & 0xFF];
  return r;
}

uint32_t Slicing8Register(uint32_t r, const uint8_t* data, size_t length) {
  while (length >= 8) {
    uint32_t low;
    uint32_t high;
    std::memcpy(&low, data, 4);
    std::memcpy(&high, data + 4, 4);
    if constexpr (std::endian::native == std::endian::big) {
      low = __builtin_bswap32(low);
      high = __builtin_bswap32(high);
    }
    low ^= r;
    r = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
        kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
        kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
    data += 8;
    length -= 8;
  }
  return BytewiseRegister(r, data, length);
}

#if defined(__x86_64__)
#define SKYFW_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

SKYFW_CLMUL_TARGET inline __m128i Load128(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x folded 128 bits further on by the constants k, added to the next block.
SKYFW_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// Folding by carry-less multiplication (Gopal et al., "Fast CRC Computation
// for Generic Polynomials Using PCLMULQDQ", Intel 2009), with the
// bit-reflected constants of the 0x04C11DB7 polynomial. Four 128-bit lanes
// fold 64 bytes per step, then fold to one lane, to 64 bits, and a Barrett
// reduction leaves the 32-bit register. Needs length >= 64, a multiple of 16.
SKYFW_CLMUL_TARGET uint32_t FoldingRegister(uint32_t r, const uint8_t* data, size_t length) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5k0 = _mm_set_epi64x(0x0000000000, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x1 = _mm_xor_si128(Load128(data), _mm_cvtsi32_si128(static_cast<int>(r)));
  __m128i x2 = Load128(data + 16);
  __m128i x3 = Load128(data + 32);
  __m128i x4 = Load128(data + 48);
  data += 64;
  length -= 64;
  while (length >= 64) {
    x1 = Fold(x1, k1k2, Load128(data));
    x2 = Fold(x2, k1k2, Load128(data + 16));
    x3 = Fold(x3, k1k2, Load128(data + 32));
    x4 = Fold(x4, k1k2, Load128(data + 48));
    data += 64;
    length -= 64;
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  while (length >= 16) {
    x1 = Fold(x1, k3k4, Load128(data));
    data += 16;
    length -= 16;
  }

  // 128 bits to 64.
  __m128i x2b = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
  __m128i upper = _mm_srli_si128(x1, 4);
  x1 = _mm_and_si128(x1, low32);
  x1 = _mm_clmulepi64_si128(x1, k5k0, 0x00);
  x1 = _mm_xor_si128(x1, upper);

  // Barrett reduction to 32 bits.
  __m128i t = _mm_and_si128(x1, low32);
  t = _mm_clmulepi64_si128(t, poly, 0x10);
  t = _mm_and_si128(t, low32);
  t = _mm_clmulepi64_si128(t, poly, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool DetectCarrylessMultiply() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}
#endif

uint32_t FastRegister(uint32_t r, const uint8_t* data, size_t length) {
#if defined(__x86_64__)
  static const bool folding = DetectCarrylessMultiply();
  if (folding && length >= 64) {
    size_t folded = length & ~size_t{15};
    r = FoldingRegister(r, data, folded);
    data += folded;
    length -= folded;
  }
#endif
  return Slicing8Register(r, data, length);
}

// Arithmetic in GF(2)[x] modulo the reflected polynomial, for combining:
// the CRC of A || B is CRC(A) * x^(8 |B|) + CRC(B).
constexpr uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  uint32_t m = uint32_t{1} << 31;
  uint32_t product = 0;
  for (;;) {
    if (a & m) {
      product ^= b;
      if ((a & (m - 1)) == 0) break;
    }
    m >>= 1;
    b = (b & 1) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
  }
  return product;
}

// x^(2^k) mod P for k = 0..31.
constexpr std::array<uint32_t, 32> MakePowers() {
  std::array<uint32_t, 32> powers{};
  uint32_t p = uint32_t{1} << 30;  // x^1
  for (size_t k = 0; k < 32; ++k) {
    powers[k] = p;
    p = MultiplyModP(p, p);
  }
  return powers;
}

constexpr std::array<uint32_t, 32> kPowers = MakePowers();

// x^(8 n) mod P.
uint32_t ShiftForBytes(uint64_t n) {
  uint32_t p = uint32_t{1} << 31;  // x^0
  for (size_t k = 3; n != 0; n >>= 1, ++k) {
    if (n & 1) p = MultiplyModP(kPowers[k & 31], p);
  }
  return p;
}

}  // namespace

uint32_t Crc32Combine(uint32_t crc_first, uint32_t crc_second, uint64_t second_length) {
  return MultiplyModP(ShiftForBytes(second_length), crc_first) ^ crc_second;
}

uint32_t Crc32(uint32_t seed, ByteView bytes) {
  return ~FastRegister(seed, bytes.data(), bytes.size());
}

uint32_t Crc32File(std::FILE* stream, uint64_t limit) {
  uint32_t r = kCrc32Seed;
  std::vector<uint8_t> chunk(64 * 1024);
  uint64_t left = limit;
  while (limit == 0 || left > 0) {
    size_t wanted = chunk.size();
    if (limit != 0 && left < wanted) wanted = static_cast<size_t>(left);
    size_t got = std::fread(chunk.data(), 1, wanted, stream);
    r = FastRegister(r, chunk.data(), got);
    left -= got;
    if (got < wanted) break;
  }
  return ~r;
}

namespace crc32_detail {

uint32_t Bytewise(uint32_t seed, ByteView bytes) {
  return ~BytewiseRegister(seed, bytes.data(), bytes.size());
}

uint32_t Slicing8(uint32_t seed, ByteView bytes) {
  return ~Slicing8Register(seed, bytes.data(), bytes.size());
}

bool HasCarrylessMultiply() {
#if defined(__x86_64__)
  return DetectCarrylessMultiply();
#else
  return false;
#endif
}

uint32_t Folding(uint32_t seed, ByteView bytes) {
#if defined(__x86_64__)
  uint32_t r = seed;
  const uint8_t* data = bytes.data();
  size_t length = bytes.size();
  if (length >= 64) {
    size_t folded = length & ~size_t{15};
    r = FoldingRegister(r, data, folded);
    data += folded;
    length -= folded;
  }
  return ~Slicing8Register(r, data, length);
#else
  return Slicing8(seed, bytes);
#endif
}

}  // namespace crc32_detail

}  // namespace skyfw
