#include "integrity/signed_image.h"

#include <gtest/gtest.h>

#include "builders.h"
#include "integrity/crc32.h"

namespace skyfw {
namespace {

using tool::Bytes;

void FixCrc(Bytes& image) {
  ByteWriter(image).SetU32At(image.size() - 4,
                             Crc32(kCrc32Seed, ByteView(image).first(image.size() - 4)));
}

class SignedImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    signer_ = tool::ImageSigner::Development();
    ASSERT_TRUE(signer_);
    header_image_ = tool::BuildHeaderSignedImage(*signer_, 7, tool::FillerBytes(1000, 2));
    trailer_image_ =
        tool::BuildTrailerSignedImage(*signer_, 8, tool::FillerBytes(1000, 3), "1.2.3");
  }
  std::unique_ptr<tool::ImageSigner> signer_;
  Bytes header_image_;
  Bytes trailer_image_;
};

TEST_F(SignedImageTest, ValidImagesPass) {
  EXPECT_EQ(VerifyHeaderSignedImage(header_image_), NVCRETVAL_SUCCESS);
  EXPECT_EQ(VerifyTrailerSignedImage(trailer_image_), NVCRETVAL_SUCCESS);
}

// Each check of the header framing, in its order: an image broken in one
// place reports that place, and CRC problems come before any RSA work.
TEST_F(SignedImageTest, HeaderFramingChecksInOrder) {
  Bytes bad_magic = header_image_;
  bad_magic[3] = 0x1B;
  FixCrc(bad_magic);
  Bytes bad_format = header_image_;
  bad_format[6] = 0x12;
  FixCrc(bad_format);
  Bytes bad_crc = header_image_;
  bad_crc[40] ^= 1;
  Bytes bad_signature = header_image_;
  bad_signature[40] ^= 1;
  FixCrc(bad_signature);
  Bytes short_287(287, 0);
  std::copy(header_image_.begin(), header_image_.begin() + 8, short_287.begin());
  FixCrc(short_287);

  struct Case {
    const char* name;
    Bytes image;
    NvmStatus expected;
  } const cases[] = {
      {"31 bytes", Bytes(header_image_.begin(), header_image_.begin() + 31),
       NVCRETVAL_INVALID_DATA_LENGTH},
      {"magic", bad_magic, NVCRETVAL_INVALID_SIGNATURE},
      {"header format", bad_format, NVCRETVAL_INVALID_FILE_HEADER},
      {"CRC", bad_crc, NVCRETVAL_INVALID_CHECKSUM},
      {"287 bytes, CRC right", short_287, NVCRETVAL_INVALID_DATA_LENGTH},
      {"signed bytes changed, CRC right", bad_signature, NVCRETVAL_INVALID_RSA_SIGNATURE},
  };
  for (const Case& c : cases) EXPECT_EQ(VerifyHeaderSignedImage(c.image), c.expected) << c.name;
}

TEST_F(SignedImageTest, TrailerFramingChecksInOrder) {
  const size_t trailer = trailer_image_.size() - 32;
  Bytes bad_magic = trailer_image_;
  bad_magic[trailer + 24] = 't';
  Bytes area_too_long = trailer_image_;
  ByteWriter(area_too_long).SetU16At(trailer + 22, static_cast<uint16_t>(area_too_long.size() + 1));
  FixCrc(area_too_long);
  Bytes area_31 = trailer_image_;
  ByteWriter(area_31).SetU16At(trailer + 22, 31);
  FixCrc(area_31);
  Bytes bad_crc = trailer_image_;
  bad_crc[10] ^= 1;
  Bytes unsigned_32 = tool::FillerBytes(100, 9);  // trailer area of 32: no signature
  {
    ByteWriter writer(unsigned_32);
    writer.PutZeros(20);
    writer.PutU16(8);
    writer.PutU16(32);
    writer.PutBytes(ByteView(kTrailerMagic, 4));
    writer.PutU32(Crc32(kCrc32Seed, unsigned_32));
  }
  Bytes bad_signature = trailer_image_;
  bad_signature[10] ^= 1;
  FixCrc(bad_signature);

  struct Case {
    const char* name;
    Bytes image;
    NvmStatus parse;
    NvmStatus verify;
  } const cases[] = {
      {"31 bytes", Bytes(31, 0), NVCRETVAL_INVALID_LENGTH_PARAMETER,
       NVCRETVAL_INVALID_LENGTH_PARAMETER},
      {"magic", bad_magic, NVCRETVAL_INVALID_SIGNATURE, NVCRETVAL_INVALID_SIGNATURE},
      {"L one above the image", area_too_long, NVCRETVAL_INVALID_LENGTH_PARAMETER,
       NVCRETVAL_INVALID_LENGTH_PARAMETER},
      {"L 31", area_31, NVCRETVAL_INVALID_LENGTH_PARAMETER, NVCRETVAL_INVALID_LENGTH_PARAMETER},
      {"CRC", bad_crc, NVCRETVAL_SUCCESS, NVCRETVAL_INVALID_ITEM_CHECKSUM},
      {"L 32, no signature", unsigned_32, NVCRETVAL_SUCCESS, NVCRETVAL_INVALID_TRAILER},
      {"signed bytes changed", bad_signature, NVCRETVAL_SUCCESS, NVCRETVAL_INVALID_RSA_SIGNATURE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseImageTrailer(c.image, nullptr), c.parse) << c.name;
    EXPECT_EQ(VerifyTrailerSignedImage(c.image), c.verify) << c.name;
  }
}

// A trailer area longer than 288 bytes: its extra bytes are signed data, and
// the block shows the signature and the trailer with its length lowered.
TEST_F(SignedImageTest, LongTrailerAreaIsPartOfTheSignedRange) {
  Bytes payload = tool::FillerBytes(500, 4);
  Bytes image = payload;
  const tool::Bytes signature = signer_->Sign(image);
  image.insert(image.end(), signature.begin(), signature.end());
  ByteWriter writer(image);
  writer.PutZeros(20);
  writer.PutU16(19);
  writer.PutU16(400);  // 112 bytes of payload count as trailer area
  writer.PutBytes(ByteView(kTrailerMagic, 4));
  writer.PutU32(Crc32(kCrc32Seed, image));

  TrailerBlock block;
  ASSERT_EQ(ParseImageTrailer(image, &block), NVCRETVAL_SUCCESS);
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), block.begin()));
  EXPECT_EQ(block[256 + 22] | (block[256 + 23] << 8), 288);
  EXPECT_EQ(VerifyTrailerSignedImage(image), NVCRETVAL_SUCCESS);
  EXPECT_EQ(GetImageType(image), 19);

  // A short area is right-aligned in a zeroed block.
  Bytes unsigned_image = tool::FillerBytes(64, 1);
  ByteWriter(unsigned_image).SetU16At(64 - 32 + 22, 40);
  ByteWriter(unsigned_image).SetBytesAt(64 - 32 + 24, ByteView(kTrailerMagic, 4));
  ASSERT_EQ(ParseImageTrailer(unsigned_image, &block), NVCRETVAL_SUCCESS);
  EXPECT_TRUE(std::all_of(block.begin(), block.begin() + 248, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(unsigned_image.end() - 40, unsigned_image.end(), block.begin() + 248));
}

TEST_F(SignedImageTest, ImageTypes) {
  const std::pair<uint8_t, uint16_t> codes[] = {{5, 4},   {7, 10},  {15, 11}, {17, 12}, {18, 13},
                                                {19, 14}, {20, 15}, {21, 3},  {22, 66}, {8, 0}};
  for (auto [code, type] : codes) {
    Bytes image = header_image_;
    image[5] = code;
    EXPECT_EQ(GetImageType(image), type) << int{code};
  }
  EXPECT_EQ(GetImageType(trailer_image_), 8);
  EXPECT_EQ(GetImageType(Bytes(28, 0)), 0);

  // Code 8 in a header declares nothing, even with a trailer behind it.
  Bytes both = header_image_;
  both[5] = 8;
  both.insert(both.end(), trailer_image_.end() - 32, trailer_image_.end());
  EXPECT_EQ(GetImageType(both), 0);
}

}  // namespace
}  // namespace skyfw
