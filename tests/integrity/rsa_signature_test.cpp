#include "integrity/rsa_signature.h"

#include <gtest/gtest.h>

#include <cstring>

#include "builders.h"
#include "image_signer.h"
#include "integrity/sha256.h"

namespace skyfw {
namespace {

// SHA-256 DigestInfo prefix; variants below change one part of it.
const tool::Bytes kSha256Prefix = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                   0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

tool::Bytes DigestInfo(const tool::Bytes& prefix, const Sha256Digest& digest,
                       const tool::Bytes& suffix = {}) {
  tool::Bytes info = prefix;
  info.insert(info.end(), digest.begin(), digest.end());
  info.insert(info.end(), suffix.begin(), suffix.end());
  return info;
}

class RsaSignatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    signer_ = tool::ImageSigner::Development();
    ASSERT_TRUE(signer_);
    data_ = tool::FillerBytes(5000, 1);
    digest_ = Sha256(data_);
  }
  std::unique_ptr<tool::ImageSigner> signer_;
  tool::Bytes data_;
  Sha256Digest digest_;
};

TEST_F(RsaSignatureTest, AcceptsSignatureOfAnIndependentSigner) {
  const tool::Bytes signature = signer_->Sign(data_);
  ASSERT_EQ(signature.size(), 256u);
  EXPECT_EQ(VerifyRsaSignature(data_, signature), NVCRETVAL_SUCCESS);
  // The same block built by hand is what a genuine signature carries.
  EXPECT_EQ(VerifyRsaSignature(data_, signer_->SignDigestInfo(DigestInfo(kSha256Prefix, digest_))),
            NVCRETVAL_SUCCESS);
}

TEST_F(RsaSignatureTest, RejectsDamagedSignatures) {
  const tool::Bytes good = signer_->Sign(data_);
  tool::Bytes flipped_signature = good;
  flipped_signature[100] ^= 0x01;
  tool::Bytes flipped_data = data_;
  flipped_data[4999] ^= 0x80;
  const tool::Bytes zeros(256, 0);
  tool::Bytes at_modulus(BuiltInSigningKey().modulus.begin(), BuiltInSigningKey().modulus.end());
  tool::Bytes all_ones(256, 0xFF);

  struct Case {
    const char* name;
    ByteView data;
    ByteView signature;
  } const cases[] = {
      {"zero signature", data_, zeros},
      {"flipped signature bit", data_, flipped_signature},
      {"flipped data bit", flipped_data, good},
      {"signature equal to the modulus", data_, at_modulus},
      {"signature above the modulus", data_, all_ones},
      {"short signature", data_, ByteView(good).first(255)},
      {"empty signature", data_, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VerifyRsaSignature(c.data, c.signature), NVCRETVAL_INVALID_RSA_SIGNATURE) << c.name;
  }
}

// Signatures that are arithmetically valid but carry another encoding of the
// DigestInfo: only the one exact block is accepted.
TEST_F(RsaSignatureTest, RejectsForeignAndNonCanonicalDigestInfo) {
  tool::Bytes sha512_oid = kSha256Prefix;
  sha512_oid[14] = 0x03;  // 2.16.840.1.101.3.4.2.3
  tool::Bytes sha1_oid = {0x30, 0x2d, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                          0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x20};  // SHA-1 OID, 32-byte digest
  tool::Bytes no_null = {0x30, 0x2f, 0x30, 0x0b, 0x06, 0x09, 0x60, 0x86, 0x48,
                         0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x04, 0x20};
  tool::Bytes long_form_length = {0x30, 0x81, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48,
                                  0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
  Sha256Digest other_digest = digest_;
  other_digest[0] ^= 1;

  struct Case {
    const char* name;
    tool::Bytes digest_info;
  } const cases[] = {
      {"SHA-512 object identifier", DigestInfo(sha512_oid, digest_)},
      {"SHA-1 object identifier", DigestInfo(sha1_oid, digest_)},
      {"parameters without NULL", DigestInfo(no_null, digest_)},
      {"BER long-form length", DigestInfo(long_form_length, digest_)},
      {"trailing garbage", DigestInfo(kSha256Prefix, digest_, {0x00})},
      {"bare digest", DigestInfo({}, digest_)},
      {"another digest", DigestInfo(kSha256Prefix, other_digest)},
  };
  for (const Case& c : cases) {
    const tool::Bytes signature = signer_->SignDigestInfo(c.digest_info);
    ASSERT_EQ(signature.size(), 256u) << c.name;
    EXPECT_EQ(VerifyRsaSignature(data_, signature), NVCRETVAL_INVALID_RSA_SIGNATURE) << c.name;
  }
}

TEST_F(RsaSignatureTest, KeyIsAValue) {
  const tool::Bytes signature = signer_->Sign(data_);
  RsaPublicKey other = BuiltInSigningKey();
  other.modulus[200] ^= 0x10;
  EXPECT_EQ(VerifyRsaSignatureWithKey(BuiltInSigningKey(), data_, signature), NVCRETVAL_SUCCESS);
  EXPECT_EQ(VerifyRsaSignatureWithKey(other, data_, signature), NVCRETVAL_INVALID_RSA_SIGNATURE);
  // The embedded key is the development key of keys/ (exponent 65537).
  EXPECT_EQ(BuiltInSigningKey().exponent, (std::array<uint8_t, 3>{0x01, 0x00, 0x01}));
}

}  // namespace
}  // namespace skyfw
