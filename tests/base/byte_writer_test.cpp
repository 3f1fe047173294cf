#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_reader.h"

namespace skyfw {
namespace {

// The *At setters overwrite in place, little-endian, and refuse any byte past
// the end without touching the ones before it.
TEST(ByteWriterTest, SettersWriteLittleEndianInsideTheBufferOnly) {
  std::vector<uint8_t> bytes(12, 0xEE);
  ByteWriter writer(bytes);
  EXPECT_TRUE(writer.SetU64At(2, 0x0102030405060708u));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xEE, 0xEE, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02,
                                          0x01, 0xEE, 0xEE}));
  uint64_t back = 0;
  EXPECT_TRUE(ByteReader(bytes).U64At(2, back));
  EXPECT_EQ(back, 0x0102030405060708u);

  const std::vector<uint8_t> before = bytes;
  const struct {
    const char* setter;
    bool written;
  } refused[] = {
      {"U64 at 5", writer.SetU64At(5, 1)},   // 5 + 8 = 13 > 12
      {"U64 at 12", writer.SetU64At(12, 1)},
      {"U64 at SIZE_MAX", writer.SetU64At(SIZE_MAX, 1)},  // offset + 8 wraps
      {"U32 at 9", writer.SetU32At(9, 1)},
      {"U16 at 11", writer.SetU16At(11, 1)},
      {"U8 at 12", writer.SetU8At(12, 1)},
  };
  for (const auto& c : refused) EXPECT_FALSE(c.written) << c.setter;
  EXPECT_EQ(bytes, before);
  EXPECT_TRUE(writer.SetU64At(4, 0));  // the last place a U64 fits
}

TEST(ByteReaderTest, FixedTextEndsAtTheFirstZeroButConsumesTheField) {
  const std::vector<uint8_t> bytes = {'a', 'b', 0, 'c', 'd', 'e', 'f'};
  ByteReader reader(bytes);
  std::string text;
  EXPECT_TRUE(reader.ReadFixedText(4, text));
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(reader.offset(), 4u);
  EXPECT_TRUE(reader.ReadFixedText(3, text));
  EXPECT_EQ(text, "def");  // no terminator: the whole field
  EXPECT_FALSE(reader.ReadFixedText(1, text));
}

}  // namespace
}  // namespace skyfw
