// Signing with the RSA private key, through OpenSSL's libcrypto: a second,
// independent implementation of PKCS #1 v1.5, so that what the tools and the
// tests sign checks our LibTomCrypt verifier rather than agreeing with it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/byte_reader.h"

namespace skyfw::tool {

class ImageSigner {
 public:
  // The development key of keys/, compiled in. Only tests, fuzz seeds,
  // benchmarks and build-time generators link it (skyfw_pkg_support); the
  // skyfw program and the plug-in never carry a private key.
  static std::unique_ptr<ImageSigner> Development();
  // A PEM private key file; nullptr with `error` set when it cannot be used.
  static std::unique_ptr<ImageSigner> FromFile(const std::string& path, std::string& error);
  static std::unique_ptr<ImageSigner> FromPem(const std::string& pem, std::string& error);

  ~ImageSigner();
  ImageSigner(const ImageSigner&) = delete;
  ImageSigner& operator=(const ImageSigner&) = delete;

  // RSASSA-PKCS1-v1_5 with SHA-256; 256 bytes for a 2048-bit key, empty on failure.
  std::vector<uint8_t> Sign(ByteView data) const;

  // Signs a prepared DigestInfo as it is (PKCS #1 v1.5 type 1 padding around
  // it): lets tests make signatures over malformed or foreign encodings.
  std::vector<uint8_t> SignDigestInfo(ByteView digest_info) const;

 private:
  explicit ImageSigner(void* key) : key_(key) {}
  void* key_;  // EVP_PKEY
};

}  // namespace skyfw::tool
