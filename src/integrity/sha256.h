// SHA-256 (FIPS 180-4), the message digest of the firmware signature check.
// The block function uses the CPU's SHA extensions when it has them (chosen
// once at run time) and a portable one otherwise; both give the same digests.
#pragma once

#include <array>
#include <cstdint>

#include "base/byte_reader.h"

namespace skyfw {

inline constexpr size_t kSha256DigestLength = 32;
using Sha256Digest = std::array<uint8_t, kSha256DigestLength>;

enum class Sha256Engine : uint8_t { kPortable, kShaExtensions };

struct Sha256Context {
  uint32_t state[8];
  uint32_t bit_count_high;  // message length in bits, 64-bit, in two halves
  uint32_t bit_count_low;
  uint8_t block[64];
  uint32_t block_used;  // bytes waiting in block
  Sha256Engine engine;
};

// True when this CPU can run Sha256Engine::kShaExtensions.
bool Sha256HasShaExtensions();

void Sha256Init(Sha256Context& context);
// Forces an engine; kShaExtensions falls back to portable on a CPU without them.
void Sha256InitWithEngine(Sha256Context& context, Sha256Engine engine);
void Sha256Update(Sha256Context& context, ByteView bytes);
// Pads, writes the digest and clears the whole context.
void Sha256Final(Sha256Context& context, Sha256Digest& digest);

// The digest of one range in one pass.
Sha256Digest Sha256(ByteView bytes);

// The digests of two ranges at once. With the SHA extensions the two are
// interleaved: each round waits on the one before, so two independent
// messages take little more time than one.
void Sha256Pair(ByteView first, ByteView second, Sha256Digest& first_digest,
                Sha256Digest& second_digest);

}  // namespace skyfw
