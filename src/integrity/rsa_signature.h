// The firmware signature check: RSASSA-PKCS1-v1_5 (RFC 8017) with SHA-256
// over a 2048-bit key.
#pragma once

#include <array>
#include <cstdint>

#include "integrity/sha256.h"
#include "base/nvm_status.h"
#include "base/byte_reader.h"

namespace skyfw {

inline constexpr size_t kRsaModulusLength = 256;
inline constexpr size_t kRsaSignatureLength = 256;

// An RSA public key as the firmware carries it: big-endian modulus and
// big-endian exponent.
struct RsaPublicKey {
  std::array<uint8_t, kRsaModulusLength> modulus;
  std::array<uint8_t, 3> exponent;
};

// The firmware-signing key built into this library (the development key
// unless the build was given another).
const RsaPublicKey& BuiltInSigningKey();

// 0 when `signature` (256 bytes, big-endian) is a valid PKCS #1 v1.5
// signature of SHA-256(data) under `key`; NVCRETVAL_INVALID_RSA_SIGNATURE for
// any invalid one; NVCRETVAL_FAILURE when the key cannot be set up.
NvmStatus VerifyRsaSignatureWithKey(const RsaPublicKey& key, ByteView data, ByteView signature);

// The same with the built-in firmware-signing key.
NvmStatus VerifyRsaSignature(ByteView data, ByteView signature);

// The check on a digest already computed over the signed data.
NvmStatus VerifyRsaSignatureOfDigest(const RsaPublicKey& key, const Sha256Digest& digest,
                                     ByteView signature);

}  // namespace skyfw
