#include "image_signer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdio>

#include "dev_signing_key.h"
#include "platform/file_reader.h"

namespace skyfw::tool {

namespace {

EVP_PKEY* AsKey(void* key) { return static_cast<EVP_PKEY*>(key); }

}  // namespace

std::unique_ptr<ImageSigner> ImageSigner::Development() {
  std::string error;
  return FromPem(kDevelopmentSigningKeyPem, error);
}

std::unique_ptr<ImageSigner> ImageSigner::FromFile(const std::string& path, std::string& error) {
  std::string pem;
  if (int reason = platform::ReadRegularFile(path, pem); reason != 0) {
    error = "cannot read key file " + path + ": " + platform::FileErrorText(reason);
    return nullptr;
  }
  return FromPem(pem, error);
}

std::unique_ptr<ImageSigner> ImageSigner::FromPem(const std::string& pem, std::string& error) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  if (bio == nullptr) {
    error = "out of memory";
    return nullptr;
  }
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  if (key == nullptr) {
    error = "not a PEM private key";
    return nullptr;
  }
  if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA || EVP_PKEY_get_bits(key) != 2048) {
    EVP_PKEY_free(key);
    error = "the key must be RSA with a 2048-bit modulus";
    return nullptr;
  }
  return std::unique_ptr<ImageSigner>(new ImageSigner(key));
}

ImageSigner::~ImageSigner() { EVP_PKEY_free(AsKey(key_)); }

std::vector<uint8_t> ImageSigner::Sign(ByteView data) const {
  std::vector<uint8_t> signature;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_PKEY_CTX* key_context = nullptr;
  size_t length = 0;
  if (context != nullptr &&
      EVP_DigestSignInit(context, &key_context, EVP_sha256(), nullptr, AsKey(key_)) == 1 &&
      EVP_PKEY_CTX_set_rsa_padding(key_context, RSA_PKCS1_PADDING) == 1 &&
      EVP_DigestSign(context, nullptr, &length, data.data(), data.size()) == 1) {
    signature.resize(length);
    if (EVP_DigestSign(context, signature.data(), &length, data.data(), data.size()) != 1) {
      signature.clear();
    } else {
      signature.resize(length);
    }
  }
  EVP_MD_CTX_free(context);
  return signature;
}

std::vector<uint8_t> ImageSigner::SignDigestInfo(ByteView digest_info) const {
  std::vector<uint8_t> signature;
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(AsKey(key_), nullptr);
  size_t length = 0;
  if (context != nullptr && EVP_PKEY_sign_init(context) == 1 &&
      EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
      EVP_PKEY_sign(context, nullptr, &length, digest_info.data(), digest_info.size()) == 1) {
    signature.resize(length);
    if (EVP_PKEY_sign(context, signature.data(), &length, digest_info.data(), digest_info.size()) !=
        1) {
      signature.clear();
    } else {
      signature.resize(length);
    }
  }
  EVP_PKEY_CTX_free(context);
  return signature;
}

}  // namespace skyfw::tool
