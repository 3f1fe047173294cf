#include "integrity/sha256.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "builders.h"

#include <tomcrypt.h>

namespace skyfw {
namespace {

std::string Hex(const Sha256Digest& digest) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

Sha256Digest DigestWith(Sha256Engine engine, ByteView bytes, size_t split = 0) {
  Sha256Context context;
  Sha256InitWithEngine(context, engine);
  if (split > 0 && split < bytes.size()) {
    Sha256Update(context, bytes.first(split));
    Sha256Update(context, bytes.subspan(split));
  } else {
    Sha256Update(context, bytes);
  }
  Sha256Digest digest;
  Sha256Final(context, digest);
  return digest;
}

// LibTomCrypt's SHA-256, an implementation independent of ours.
Sha256Digest Reference(ByteView bytes) {
  Sha256Digest digest;
  hash_state state;
  sha256_init(&state);
  sha256_process(&state, bytes.data(), static_cast<unsigned long>(bytes.size()));
  sha256_done(&state, digest.data());
  return digest;
}

const Sha256Engine kEngines[] = {Sha256Engine::kPortable, Sha256Engine::kShaExtensions};

TEST(Sha256, KnownAnswers) {
  const std::string million_a(1000000, 'a');
  struct Case {
    std::string message;
    const char* digest;
  } const cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {million_a, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    const ByteView bytes(reinterpret_cast<const uint8_t*>(c.message.data()), c.message.size());
    for (Sha256Engine engine : kEngines) {
      EXPECT_EQ(Hex(DigestWith(engine, bytes)), c.digest) << c.message.size();
    }
  }
}

// 55 bytes pad within one block, 56 and 64 need a second; every length up to
// three blocks and several splits of the update against libcrypto.
TEST(Sha256, PaddingPathsAndSplitsAgreeWithLibcrypto) {
  const tool::Bytes data = tool::FillerBytes(200, 11);
  for (size_t length = 0; length <= data.size(); ++length) {
    const ByteView bytes = ByteView(data).first(length);
    const Sha256Digest expected = Reference(bytes);
    for (Sha256Engine engine : kEngines) {
      for (size_t split : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, length / 2}) {
        ASSERT_EQ(DigestWith(engine, bytes, split), expected) << length << " split " << split;
      }
    }
  }
}

TEST(Sha256, ShaExtensionsAndPortableAgreeOnLargeInput) {
  const tool::Bytes data = tool::FillerBytes(3 * 1024 * 1024 + 17, 5);
  EXPECT_EQ(DigestWith(Sha256Engine::kPortable, data),
            DigestWith(Sha256Engine::kShaExtensions, data));
  EXPECT_EQ(Sha256(data), Reference(data));
  if (!Sha256HasShaExtensions()) GTEST_SKIP() << "CPU without SHA extensions";
}

TEST(Sha256, FinalClearsTheContext) {
  Sha256Context context;
  Sha256Init(context);
  const uint8_t message[] = {1, 2, 3};
  Sha256Update(context, message);
  Sha256Digest digest;
  Sha256Final(context, digest);
  Sha256Context zero;
  std::memset(&zero, 0, sizeof zero);
  EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);
}

}  // namespace
}  // namespace skyfw

namespace skyfw {
namespace {

TEST(Sha256, PairAgreesWithSingleDigests) {
  const tool::Bytes data = tool::FillerBytes(5000, 8);
  const ByteView all(data);
  const std::pair<size_t, size_t> lengths[] = {{0, 0},      {0, 100},    {55, 56},    {64, 64},
                                               {1000, 999}, {4096, 130}, {3000, 2000}};
  for (auto [a, b] : lengths) {
    Sha256Digest first;
    Sha256Digest second;
    Sha256Pair(all.first(a), all.subspan(7, b), first, second);
    EXPECT_EQ(first, Reference(all.first(a))) << a << "," << b;
    EXPECT_EQ(second, Reference(all.subspan(7, b))) << a << "," << b;
  }
}

}  // namespace
}  // namespace skyfw
