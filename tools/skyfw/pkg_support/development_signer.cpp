// The development private key compiled in: for tests, fuzz seeds, benchmarks
// and build-time generators only, never for a shipped program.
#include "dev_signing_key.h"
#include "image_signer.h"

namespace skyfw::tool {

std::unique_ptr<ImageSigner> ImageSigner::Development() {
  std::string error;
  return FromPem(kDevelopmentSigningKeyPem, error);
}

}  // namespace skyfw::tool
