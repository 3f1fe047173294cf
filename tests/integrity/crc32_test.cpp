#include "integrity/crc32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "builders.h"

namespace skyfw {
namespace {

ByteView Text(const char* text) {
  return {reinterpret_cast<const uint8_t*>(text), std::char_traits<char>::length(text)};
}

TEST(Crc32, CheckValueAndEmptyRange) {
  EXPECT_EQ(Crc32(kCrc32Seed, Text("123456789")), 0xCBF43926u);
  EXPECT_EQ(Crc32(kCrc32Seed, {}), 0u);
  EXPECT_EQ(crc32_detail::Bytewise(kCrc32Seed, Text("123456789")), 0xCBF43926u);
}

// The fast engines must give the definition's results for every length and
// alignment, including the tails the folding leaves to slicing.
TEST(Crc32, EnginesAgreeWithOneByteSteps) {
  const tool::Bytes data = tool::FillerBytes(4096 + 64, 7);
  const ByteView all(data);
  for (size_t offset : {0u, 1u, 3u, 8u, 15u}) {
    for (size_t length = 0; length <= 1100; length += (length < 300 ? 1 : 37)) {
      const ByteView range = all.subspan(offset, length);
      const uint32_t expected = crc32_detail::Bytewise(kCrc32Seed, range);
      ASSERT_EQ(crc32_detail::Slicing8(kCrc32Seed, range), expected) << offset << "+" << length;
      ASSERT_EQ(Crc32(kCrc32Seed, range), expected) << offset << "+" << length;
      if (crc32_detail::HasCarrylessMultiply()) {
        ASSERT_EQ(crc32_detail::Folding(kCrc32Seed, range), expected) << offset << "+" << length;
      }
    }
  }
  // Other seeds run through the same register.
  EXPECT_EQ(Crc32(0x12345678, all), crc32_detail::Bytewise(0x12345678, all));
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

TEST(Crc32File, LimitEndOfFileAndPosition) {
  const tool::Bytes data = tool::FillerBytes(200000, 3);
  std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
  ASSERT_TRUE(file);
  ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file.get()), data.size());

  struct Case {
    long start;
    uint64_t limit;
    size_t expected_length;
  };
  const Case cases[] = {
      {0, 0, data.size()},  // no limit: to end of file
      {0, 100, 100},        // stops at the limit
      {10, 70000, 70000},   // from the current position, across read chunks
      {199990, 1000, 10},   // limit beyond the end: what was there
      {static_cast<long>(data.size()), 0, 0},
  };
  for (const Case& c : cases) {
    std::fseek(file.get(), c.start, SEEK_SET);
    const uint32_t crc = Crc32File(file.get(), c.limit);
    EXPECT_EQ(crc, Crc32(kCrc32Seed, ByteView(data).subspan(c.start, c.expected_length)))
        << c.start << " " << c.limit;
    EXPECT_EQ(std::ftell(file.get()), c.start + static_cast<long>(c.expected_length));
  }
}

}  // namespace
}  // namespace skyfw

namespace skyfw {
namespace {

TEST(Crc32, CombineEqualsOnePass) {
  const tool::Bytes data = tool::FillerBytes(100000, 21);
  const ByteView all(data);
  for (size_t split : {size_t{0}, size_t{1}, size_t{4}, size_t{77}, size_t{65536}, data.size()}) {
    const uint32_t first = Crc32(kCrc32Seed, all.first(split));
    const uint32_t second = Crc32(kCrc32Seed, all.subspan(split));
    EXPECT_EQ(Crc32Combine(first, second, data.size() - split), Crc32(kCrc32Seed, all)) << split;
  }
}

// A trailing CRC is right exactly when the CRC of the whole range is the residue.
TEST(Crc32, ResidueDecidesTrailingCrc) {
  tool::Bytes message = tool::FillerBytes(300, 4);
  ByteWriter(message).PutU32(Crc32(kCrc32Seed, message));
  EXPECT_EQ(Crc32(kCrc32Seed, message), kCrc32Residue);
  for (size_t at = 0; at < message.size(); at += 7) {
    tool::Bytes damaged = message;
    damaged[at] ^= 0x10;
    EXPECT_NE(Crc32(kCrc32Seed, damaged), kCrc32Residue) << at;
  }
}

}  // namespace
}  // namespace skyfw
