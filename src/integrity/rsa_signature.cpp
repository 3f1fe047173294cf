#include "integrity/rsa_signature.h"

#include <cstring>

#include "integrity/signing_key_data.h"

// The check uses LibTomMath's arithmetic directly. LibTomCrypt would need its
// process-wide math descriptor set, which a host process that uses
// LibTomCrypt with another provider would find changed under it.
#include <tommath.h>

namespace skyfw {

namespace {

// DER DigestInfo of SHA-256 without the digest: SEQUENCE { SEQUENCE { OID
// 2.16.840.1.101.3.4.2.1, NULL }, OCTET STRING (32 bytes) }.
constexpr uint8_t kSha256DigestInfoPrefix[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60,
                                               0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02,
                                               0x01, 0x05, 0x00, 0x04, 0x20};

// The big numbers of one check, cleared on every path.
class BigNumbers {
 public:
  BigNumbers() {
    initialized_ = mp_init_multi(&modulus, &exponent, &value, &message, nullptr) == MP_OKAY;
  }
  ~BigNumbers() {
    if (initialized_) mp_clear_multi(&modulus, &exponent, &value, &message, nullptr);
  }
  BigNumbers(const BigNumbers&) = delete;
  BigNumbers& operator=(const BigNumbers&) = delete;

  bool initialized() const { return initialized_; }

  mp_int modulus;
  mp_int exponent;
  mp_int value;    // the signature representative s
  mp_int message;  // m = s^e mod n

 private:
  bool initialized_ = false;
};

// RFC 8017 9.2 (EMSA-PKCS1-v1_5 encoding) for SHA-256 into 256 bytes:
// 0x00 0x01, 0xFF padding, 0x00, DigestInfo, digest.
std::array<uint8_t, kRsaModulusLength> ExpectedEncodedBlock(const Sha256Digest& digest) {
  std::array<uint8_t, kRsaModulusLength> block;
  constexpr size_t kTail = sizeof kSha256DigestInfoPrefix + kSha256DigestLength;
  constexpr size_t kPadding = kRsaModulusLength - 3 - kTail;
  block.fill(0xFF);
  block[0] = 0x00;
  block[1] = 0x01;
  block[2 + kPadding] = 0x00;
  std::memcpy(&block[3 + kPadding], kSha256DigestInfoPrefix, sizeof kSha256DigestInfoPrefix);
  std::memcpy(&block[3 + kPadding + sizeof kSha256DigestInfoPrefix], digest.data(), digest.size());
  return block;
}

bool ConstantTimeEqual(const uint8_t* a, const uint8_t* b, size_t length) {
  uint8_t difference = 0;
  for (size_t i = 0; i < length; ++i) difference |= static_cast<uint8_t>(a[i] ^ b[i]);
  return difference == 0;
}

// Big-endian integers of equal length: s < n.
bool BelowModulus(ByteView signature, const RsaPublicKey& key) {
  return std::memcmp(signature.data(), key.modulus.data(), kRsaModulusLength) < 0;
}

}  // namespace

const RsaPublicKey& BuiltInSigningKey() {
  static const RsaPublicKey key = [] {
    RsaPublicKey built;
    std::memcpy(built.modulus.data(), signing_key::kModulus, sizeof signing_key::kModulus);
    std::memcpy(built.exponent.data(), signing_key::kExponent, sizeof signing_key::kExponent);
    return built;
  }();
  return key;
}

NvmStatus VerifyRsaSignatureWithKey(const RsaPublicKey& key, ByteView data, ByteView signature) {
  return VerifyRsaSignatureOfDigest(key, Sha256(data), signature);
}

NvmStatus VerifyRsaSignatureOfDigest(const RsaPublicKey& key, const Sha256Digest& digest,
                                     ByteView signature) {
  NvmStatus verdict = NVCRETVAL_INVALID_RSA_SIGNATURE;  // only a full pass changes it

  // RFC 8017 8.2.2 step 1: the signature is exactly k = 256 bytes long.
  if (signature.size() != kRsaSignatureLength) return verdict;

  BigNumbers numbers;
  if (!numbers.initialized() ||
      mp_from_ubin(&numbers.modulus, key.modulus.data(), key.modulus.size()) != MP_OKAY ||
      mp_from_ubin(&numbers.exponent, key.exponent.data(), key.exponent.size()) != MP_OKAY) {
    return NVCRETVAL_FAILURE;
  }

  // Step 2a, OS2IP, and RSAVP1 (5.2.2) step 1: the representative s must lie
  // below the modulus.
  if (!BelowModulus(signature, key)) return verdict;
  if (mp_from_ubin(&numbers.value, signature.data(), signature.size()) != MP_OKAY) {
    return NVCRETVAL_FAILURE;
  }

  // Step 2b, RSAVP1 step 2: m = s^e mod n.
  if (mp_exptmod(&numbers.value, &numbers.exponent, &numbers.modulus, &numbers.message) !=
      MP_OKAY) {
    return verdict;
  }

  // Step 2c, I2OSP(m, k): m < n fits in k bytes, zeros in front.
  std::array<uint8_t, kRsaModulusLength> recovered{};
  const size_t length = mp_ubin_size(&numbers.message);
  size_t written = 0;
  if (length > recovered.size()) return verdict;
  if (length != 0 && (mp_to_ubin(&numbers.message, recovered.data() + (recovered.size() - length),
                                 length, &written) != MP_OKAY ||
                      written != length)) {
    return verdict;
  }

  // Steps 3 and 4: build the one encoded block a genuine signature of this
  // digest yields and compare it whole, in constant time. Building rather
  // than parsing leaves no other encoding of the DigestInfo to slip through.
  const auto expected = ExpectedEncodedBlock(digest);
  if (ConstantTimeEqual(recovered.data(), expected.data(), kRsaModulusLength)) {
    verdict = NVCRETVAL_SUCCESS;
  }
  return verdict;
}

NvmStatus VerifyRsaSignature(ByteView data, ByteView signature) {
  return VerifyRsaSignatureWithKey(BuiltInSigningKey(), data, signature);
}

}  // namespace skyfw
