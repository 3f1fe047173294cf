// Signing with the RSA private key, through LibTomCrypt: an implementation of
// PKCS #1 v1.5 independent of the plug-in's own verifier (which builds and
// compares the encoded block itself over LibTomMath), so that what the tools
// and the tests sign checks that verifier rather than agreeing with it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/byte_reader.h"

namespace skyfw::tool {

class ImageSigner {
 public:
  // The development key of keys/, compiled in. Only tests, fuzz seeds,
  // benchmarks and build-time generators link it (skyfw_pkg_support); the
  // skyfw program and the plug-in never carry a private key.
  static std::unique_ptr<ImageSigner> Development();
  // A PEM private key file ("PRIVATE KEY", PKCS #8, or "RSA PRIVATE KEY",
  // PKCS #1, unencrypted); nullptr with `error` set when it cannot be used.
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
  struct Key;
  explicit ImageSigner(std::unique_ptr<Key> key);
  std::unique_ptr<Key> key_;
};

}  // namespace skyfw::tool
