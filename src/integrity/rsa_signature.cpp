#include "integrity/rsa_signature.h"

#include <cstring>

#include "integrity/signing_key_data.h"

// Debian's LibTomCrypt declares its LibTomMath descriptor only with LTM_DESC.
#define LTM_DESC
#include <tomcrypt.h>

namespace skyfw {

namespace {

// DER DigestInfo of SHA-256 without the digest: SEQUENCE { SEQUENCE { OID
// 2.16.840.1.101.3.4.2.1, NULL }, OCTET STRING (32 bytes) }.
constexpr uint8_t kSha256DigestInfoPrefix[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60,
                                               0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02,
                                               0x01, 0x05, 0x00, 0x04, 0x20};

// LibTomCrypt's math provider and hash table are process-wide; set them up
// once, before the first RSA call.
int Sha256HashIndex() {
  static const int index = [] {
    ltc_mp = ltm_desc;
    register_hash(&sha256_desc);
    return find_hash("sha256");
  }();
  return index;
}

// Owns a LibTomCrypt key so that every path frees its big numbers.
class RsaKeyHolder {
 public:
  RsaKeyHolder() { std::memset(&key_, 0, sizeof key_); }
  ~RsaKeyHolder() {
    if (loaded_) rsa_free(&key_);
  }
  RsaKeyHolder(const RsaKeyHolder&) = delete;
  RsaKeyHolder& operator=(const RsaKeyHolder&) = delete;

  bool Load(const RsaPublicKey& key) {
    loaded_ = rsa_set_key(key.modulus.data(), key.modulus.size(), key.exponent.data(),
                          key.exponent.size(), nullptr, 0, &key_) == CRYPT_OK;
    return loaded_;
  }
  rsa_key* get() { return &key_; }

 private:
  rsa_key key_;
  bool loaded_ = false;
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

  int hash_index = Sha256HashIndex();
  RsaKeyHolder rsa;
  if (hash_index < 0 || !rsa.Load(key)) return NVCRETVAL_FAILURE;

  // RSAVP1 (5.2.2) step 1: the representative must lie below the modulus.
  if (!BelowModulus(signature, key)) return verdict;

  // Steps 2 and 3 through LibTomCrypt: RSAVP1, then the padding and the
  // DigestInfo decoded and compared with the digest.
  int valid = 0;
  int result = rsa_verify_hash_ex(signature.data(), signature.size(), digest.data(), digest.size(),
                                  LTC_PKCS_1_V1_5, hash_index, 0, &valid, rsa.get());
  if (result != CRYPT_OK || valid != 1) return verdict;

  // Step 3 again, strictly: LibTomCrypt decodes what it recovers, which can
  // accept other encodings of the same DigestInfo. Recompute the one block a
  // genuine signature yields and require it byte for byte.
  uint8_t recovered[kRsaModulusLength];
  unsigned long recovered_length = sizeof recovered;
  result = rsa_exptmod(signature.data(), signature.size(), recovered, &recovered_length, PK_PUBLIC,
                       rsa.get());
  if (result != CRYPT_OK || recovered_length != kRsaModulusLength) return verdict;
  const auto expected = ExpectedEncodedBlock(digest);
  if (ConstantTimeEqual(recovered, expected.data(), kRsaModulusLength)) verdict = NVCRETVAL_SUCCESS;
  return verdict;
}

NvmStatus VerifyRsaSignature(ByteView data, ByteView signature) {
  return VerifyRsaSignatureWithKey(BuiltInSigningKey(), data, signature);
}

}  // namespace skyfw
