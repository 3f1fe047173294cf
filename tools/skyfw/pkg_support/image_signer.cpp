#include "image_signer.h"

#include <string_view>

#include "os/file_reader.h"

#define LTM_DESC
#include <tomcrypt.h>

namespace skyfw::tool {

namespace {

constexpr unsigned long kModulusBytes = 256;  // RSA-2048

// LibTomCrypt's math provider is one variable for the whole process. A host
// program that chose its own keeps it; otherwise LibTomMath's is installed.
void EnsureMathProvider() {
  if (ltc_mp.name == nullptr) ltc_mp = ltm_desc;
}

int Sha256Index() {
  static const int index = [] {
    register_hash(&sha256_desc);
    return find_hash("sha256");
  }();
  return index;
}

// The DER bytes between a PEM block's BEGIN and END lines of that label.
bool PemBody(std::string_view pem, std::string_view label, std::vector<uint8_t>& der) {
  const std::string begin = "-----BEGIN " + std::string(label) + "-----";
  const std::string end = "-----END " + std::string(label) + "-----";
  size_t start = pem.find(begin);
  if (start == std::string_view::npos) return false;
  start += begin.size();
  size_t stop = pem.find(end, start);
  if (stop == std::string_view::npos) return false;
  std::string base64;
  for (char c : pem.substr(start, stop - start)) {
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') base64.push_back(c);
  }
  unsigned long length = static_cast<unsigned long>(base64.size());  // decoded is shorter
  der.assign(length, 0);
  if (base64_strict_decode(reinterpret_cast<const unsigned char*>(base64.data()),
                           static_cast<unsigned long>(base64.size()), der.data(),
                           &length) != CRYPT_OK) {
    return false;
  }
  der.resize(length);
  return true;
}

}  // namespace

struct ImageSigner::Key {
  rsa_key rsa{};
  bool imported = false;  // rsa holds numbers to free
  ~Key() {
    if (imported) rsa_free(&rsa);
  }
};

ImageSigner::ImageSigner(std::unique_ptr<Key> key) : key_(std::move(key)) {}
ImageSigner::~ImageSigner() = default;

std::unique_ptr<ImageSigner> ImageSigner::FromFile(const std::string& path, std::string& error) {
  std::string pem;
  if (int reason = platform::ReadRegularFile(path, pem); reason != 0) {
    error = "cannot read key file " + path + ": " + platform::FileErrorText(reason);
    return nullptr;
  }
  return FromPem(pem, error);
}

std::unique_ptr<ImageSigner> ImageSigner::FromPem(const std::string& pem, std::string& error) {
  EnsureMathProvider();
  std::vector<uint8_t> der;
  int imported = CRYPT_ERROR;
  auto key = std::make_unique<Key>();
  if (PemBody(pem, "PRIVATE KEY", der)) {
    imported = rsa_import_pkcs8(der.data(), static_cast<unsigned long>(der.size()), nullptr, 0,
                                &key->rsa);
  } else if (PemBody(pem, "RSA PRIVATE KEY", der)) {
    imported = rsa_import(der.data(), static_cast<unsigned long>(der.size()), &key->rsa);
  }
  if (imported != CRYPT_OK) {
    error = "not a PEM private key";
    return nullptr;
  }
  key->imported = true;
  if (key->rsa.type != PK_PRIVATE || rsa_get_size(&key->rsa) != static_cast<int>(kModulusBytes)) {
    error = "the key must be RSA with a 2048-bit modulus";
    return nullptr;
  }
  return std::unique_ptr<ImageSigner>(new ImageSigner(std::move(key)));
}

std::vector<uint8_t> ImageSigner::Sign(ByteView data) const {
  EnsureMathProvider();
  const int sha256 = Sha256Index();
  unsigned char digest[32];
  hash_state state;
  if (sha256 < 0 || sha256_init(&state) != CRYPT_OK ||
      sha256_process(&state, data.data(), static_cast<unsigned long>(data.size())) != CRYPT_OK ||
      sha256_done(&state, digest) != CRYPT_OK) {
    return {};
  }
  std::vector<uint8_t> signature(kModulusBytes);
  unsigned long length = kModulusBytes;
  if (rsa_sign_hash_ex(digest, sizeof digest, signature.data(), &length, LTC_PKCS_1_V1_5, nullptr,
                       0, sha256, 0, &key_->rsa) != CRYPT_OK) {
    return {};
  }
  signature.resize(length);
  return signature;
}

std::vector<uint8_t> ImageSigner::SignDigestInfo(ByteView digest_info) const {
  EnsureMathProvider();
  std::vector<uint8_t> block(kModulusBytes);
  unsigned long block_length = kModulusBytes;
  if (pkcs_1_v1_5_encode(digest_info.data(), static_cast<unsigned long>(digest_info.size()),
                         LTC_PKCS_1_EMSA, kModulusBytes * 8, nullptr, 0, block.data(),
                         &block_length) != CRYPT_OK) {
    return {};
  }
  std::vector<uint8_t> signature(kModulusBytes);
  unsigned long length = kModulusBytes;
  if (rsa_exptmod(block.data(), block_length, signature.data(), &length, PK_PRIVATE,
                  &key_->rsa) != CRYPT_OK) {
    return {};
  }
  signature.resize(length);
  return signature;
}

}  // namespace skyfw::tool
