// A host process that uses LibTomCrypt itself, with a math provider of its
// own choosing, keeps that provider across the plug-in's signature checks.
// (LibTomCrypt's math descriptor is one process-wide variable; the check
// once set it to LibTomMath's on its first use.) This program holds nothing
// else, so that the check below is the first one of the process.
#include <gtest/gtest.h>

#include <cstring>

#include "builders.h"
#include "image_signer.h"
#include "integrity/rsa_signature.h"

#define LTM_DESC
#include <tomcrypt.h>

namespace skyfw {
namespace {

TEST(RsaHostDescriptor, TheHostsMathDescriptorIsLeftAsTheHostSetIt) {
  ltc_math_descriptor host_math = ltm_desc;
  host_math.name = "the host's own math";
  ltc_mp = host_math;

  std::unique_ptr<tool::ImageSigner> signer = tool::ImageSigner::Development();
  ASSERT_TRUE(signer);
  const tool::Bytes data = tool::FillerBytes(1000, 3);
  tool::Bytes signature = signer->Sign(data);
  EXPECT_EQ(VerifyRsaSignature(data, signature), 0);
  signature[100] ^= 1;
  EXPECT_EQ(VerifyRsaSignature(data, signature), NVCRETVAL_INVALID_RSA_SIGNATURE);

  EXPECT_STREQ(ltc_mp.name, "the host's own math");
  EXPECT_EQ(std::memcmp(&ltc_mp, &host_math, sizeof host_math), 0);
}

}  // namespace
}  // namespace skyfw
