#include "integrity/sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace skyfw {

namespace {

constexpr uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

alignas(16) constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

uint32_t LoadBigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void PortableBlocks(uint32_t state[8], const uint8_t* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian32(data + 4 * i);
    for (int i = 16; i < 64; ++i) {
      uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
      uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                    kRoundConstants[i] + w[i];
      uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#if defined(__x86_64__)
#define SKYFW_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// The SHA extensions keep the state as ABEF and CDGH lanes and run two rounds
// per instruction; the message schedule for four words at a time comes from
// sha256msg1/sha256msg2 over the previous sixteen.
struct ShaLane {
  __m128i abef;
  __m128i cdgh;
  __m128i abef_saved;
  __m128i cdgh_saved;
  __m128i words[4];
};

SKYFW_SHA_TARGET inline void LoadLane(ShaLane& lane, const uint32_t state[8]) {
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
  __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  lane.abef = _mm_alignr_epi8(cdab, efgh, 8);
  lane.cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
}

SKYFW_SHA_TARGET inline void StoreLane(const ShaLane& lane, uint32_t state[8]) {
  __m128i feba = _mm_shuffle_epi32(lane.abef, 0x1B);
  __m128i dchg = _mm_shuffle_epi32(lane.cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

// Four rounds (group 0..15) of one block.
SKYFW_SHA_TARGET inline void Rounds(ShaLane& lane, const uint8_t* block, int group) {
  const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i& current = lane.words[group % 4];
  if (group < 4) {
    current = _mm_shuffle_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * group)), byte_swap);
  } else {
    const __m128i& previous = lane.words[(group + 3) % 4];
    __m128i mixed = _mm_sha256msg1_epu32(current, lane.words[(group + 1) % 4]);
    mixed = _mm_add_epi32(mixed, _mm_alignr_epi8(previous, lane.words[(group + 2) % 4], 4));
    current = _mm_sha256msg2_epu32(mixed, previous);
  }
  __m128i scheduled = _mm_add_epi32(
      current, _mm_load_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * group])));
  lane.cdgh = _mm_sha256rnds2_epu32(lane.cdgh, lane.abef, scheduled);
  lane.abef = _mm_sha256rnds2_epu32(lane.abef, lane.cdgh, _mm_shuffle_epi32(scheduled, 0x0E));
}

SKYFW_SHA_TARGET inline void BeginBlock(ShaLane& lane) {
  lane.abef_saved = lane.abef;
  lane.cdgh_saved = lane.cdgh;
}

SKYFW_SHA_TARGET inline void EndBlock(ShaLane& lane) {
  lane.abef = _mm_add_epi32(lane.abef, lane.abef_saved);
  lane.cdgh = _mm_add_epi32(lane.cdgh, lane.cdgh_saved);
}

SKYFW_SHA_TARGET void ShaExtensionBlocks(uint32_t state[8], const uint8_t* data, size_t blocks) {
  ShaLane lane;
  LoadLane(lane, state);
  for (; blocks > 0; --blocks, data += 64) {
    BeginBlock(lane);
#pragma GCC unroll 16
    for (int group = 0; group < 16; ++group) Rounds(lane, data, group);
    EndBlock(lane);
  }
  StoreLane(lane, state);
}

// Two messages at once: each round instruction waits for the one before it,
// so a second, independent chain fills the gaps.
SKYFW_SHA_TARGET void ShaExtensionBlocksPair(uint32_t first_state[8], const uint8_t* first,
                                             uint32_t second_state[8], const uint8_t* second,
                                             size_t blocks) {
  ShaLane a;
  ShaLane b;
  LoadLane(a, first_state);
  LoadLane(b, second_state);
  for (; blocks > 0; --blocks, first += 64, second += 64) {
    BeginBlock(a);
    BeginBlock(b);
#pragma GCC unroll 16
    for (int group = 0; group < 16; ++group) {
      Rounds(a, first, group);
      Rounds(b, second, group);
    }
    EndBlock(a);
    EndBlock(b);
  }
  StoreLane(a, first_state);
  StoreLane(b, second_state);
}

bool DetectShaExtensions() {
  __builtin_cpu_init();
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("ssse3")) {
    // CPUID leaf 7, subleaf 0: EBX bit 29 is SHA.
    __asm__("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(7), "c"(0));
    return (ebx >> 29) & 1;
  }
  return false;
}
#endif

void RunBlocks(const Sha256Context& context, uint32_t state[8], const uint8_t* data,
               size_t blocks) {
#if defined(__x86_64__)
  if (context.engine == Sha256Engine::kShaExtensions) {
    ShaExtensionBlocks(state, data, blocks);
    return;
  }
#endif
  PortableBlocks(state, data, blocks);
}

void AddBits(Sha256Context& context, size_t bytes) {
  uint64_t count = (uint64_t{context.bit_count_high} << 32) | context.bit_count_low;
  count += uint64_t{bytes} * 8;
  context.bit_count_high = static_cast<uint32_t>(count >> 32);
  context.bit_count_low = static_cast<uint32_t>(count);
}

}  // namespace

bool Sha256HasShaExtensions() {
#if defined(__x86_64__)
  static const bool available = DetectShaExtensions();
  return available;
#else
  return false;
#endif
}

void Sha256InitWithEngine(Sha256Context& context, Sha256Engine engine) {
  std::memset(&context, 0, sizeof context);
  std::memcpy(context.state, kInitialState, sizeof kInitialState);
  context.engine = (engine == Sha256Engine::kShaExtensions && Sha256HasShaExtensions())
                       ? Sha256Engine::kShaExtensions
                       : Sha256Engine::kPortable;
}

void Sha256Init(Sha256Context& context) {
  Sha256InitWithEngine(context, Sha256Engine::kShaExtensions);
}

void Sha256Update(Sha256Context& context, ByteView bytes) {
  const uint8_t* data = bytes.data();
  size_t length = bytes.size();
  if (length == 0) return;
  AddBits(context, length);
  if (context.block_used > 0) {
    size_t take = 64 - context.block_used;
    if (take > length) take = length;
    std::memcpy(context.block + context.block_used, data, take);
    context.block_used += static_cast<uint32_t>(take);
    data += take;
    length -= take;
    if (context.block_used < 64) return;
    RunBlocks(context, context.state, context.block, 1);
    context.block_used = 0;
  }
  size_t whole = length / 64;
  if (whole > 0) RunBlocks(context, context.state, data, whole);
  data += whole * 64;
  length -= whole * 64;
  if (length > 0) std::memcpy(context.block, data, length);
  context.block_used = static_cast<uint32_t>(length);
}

void Sha256Final(Sha256Context& context, Sha256Digest& digest) {
  uint8_t length_bytes[8];
  for (int i = 0; i < 4; ++i) {
    length_bytes[i] = static_cast<uint8_t>(context.bit_count_high >> (24 - 8 * i));
    length_bytes[4 + i] = static_cast<uint8_t>(context.bit_count_low >> (24 - 8 * i));
  }
  // 0x80, zeros up to 56 bytes into a block, then the 64-bit bit length.
  size_t used = context.block_used;
  context.block[used++] = 0x80;
  if (used > 56) {
    std::memset(context.block + used, 0, 64 - used);
    RunBlocks(context, context.state, context.block, 1);
    used = 0;
  }
  std::memset(context.block + used, 0, 56 - used);
  std::memcpy(context.block + 56, length_bytes, 8);
  RunBlocks(context, context.state, context.block, 1);
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) {
      digest[4 * i + j] = static_cast<uint8_t>(context.state[i] >> (24 - 8 * j));
    }
  }
  // Leave nothing of the message behind.
  volatile uint8_t* wipe = reinterpret_cast<volatile uint8_t*>(&context);
  for (size_t i = 0; i < sizeof context; ++i) wipe[i] = 0;
}

void Sha256Pair(ByteView first, ByteView second, Sha256Digest& first_digest,
                Sha256Digest& second_digest) {
  Sha256Context a;
  Sha256Context b;
  Sha256Init(a);
  Sha256Init(b);
#if defined(__x86_64__)
  const size_t common = std::min(first.size(), second.size()) / 64;
  if (a.engine == Sha256Engine::kShaExtensions && common > 0) {
    ShaExtensionBlocksPair(a.state, first.data(), b.state, second.data(), common);
    AddBits(a, common * 64);
    AddBits(b, common * 64);
    first = first.subspan(common * 64);
    second = second.subspan(common * 64);
  }
#endif
  Sha256Update(a, first);
  Sha256Update(b, second);
  Sha256Final(a, first_digest);
  Sha256Final(b, second_digest);
}

Sha256Digest Sha256(ByteView bytes) {
  Sha256Context context;
  Sha256Init(context);
  Sha256Update(context, bytes);
  Sha256Digest digest;
  Sha256Final(context, digest);
  return digest;
}

}  // namespace skyfw
