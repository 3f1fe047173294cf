#include "integrity/signed_image.h"

#include <algorithm>
#include <cstring>

#include "integrity/crc32.h"
#include "integrity/rsa_signature.h"

namespace skyfw {

namespace {

bool HasBytesAt(ByteView image, size_t offset, const uint8_t (&expected)[4]) {
  ByteView view;
  return ByteReader(image).ViewAt(offset, 4, view) && std::memcmp(view.data(), expected, 4) == 0;
}

bool HasSignedHeader(ByteView image) {
  uint8_t format = 0;
  return HasBytesAt(image, 0, kSignedHeaderMagic) &&
         ByteReader(image).U8At(kSignedHeaderFormatOffset, format) && format == kSignedHeaderFormat;
}

// The stored CRC in the last 4 bytes matches the bytes in front of it.
bool ImageCrcMatches(ByteView image, const uint32_t* whole_image_crc) {
  if (whole_image_crc != nullptr) return image.size() >= 4 && *whole_image_crc == kCrc32Residue;
  ByteReader reader(image);
  uint32_t stored = 0;
  if (image.size() < 4 || !reader.U32At(image.size() - 4, stored)) return false;
  return Crc32(kCrc32Seed, image.first(image.size() - 4)) == stored;
}

// The signature check over image[0, signed_length), with the digest given
// ahead when it is of exactly that range.
NvmStatus VerifySignedRange(ByteView image, size_t signed_length, ByteView signature,
                            const SignedRangeDigest* signed_digest) {
  if (signed_digest != nullptr && signed_digest->length == signed_length) {
    return VerifyRsaSignatureOfDigest(BuiltInSigningKey(), signed_digest->digest, signature);
  }
  return VerifyRsaSignature(image.first(signed_length), signature);
}

}  // namespace

NvmStatus VerifyHeaderSignedImage(ByteView image, const uint32_t* whole_image_crc,
                                  const SignedRangeDigest* signed_digest) {
  if (image.size() < 32) return NVCRETVAL_INVALID_DATA_LENGTH;
  if (!HasBytesAt(image, 0, kSignedHeaderMagic)) return NVCRETVAL_INVALID_SIGNATURE;
  if (image[kSignedHeaderFormatOffset] != kSignedHeaderFormat) return NVCRETVAL_INVALID_FILE_HEADER;
  if (!ImageCrcMatches(image, whole_image_crc)) return NVCRETVAL_INVALID_CHECKSUM;
  if (image.size() < kSignedTrailerAreaLength) return NVCRETVAL_INVALID_DATA_LENGTH;
  const size_t signed_length = HeaderSignedRangeLength(image.size());
  return VerifySignedRange(image, signed_length, image.subspan(signed_length, kRsaSignatureLength),
                           signed_digest);
}

NvmStatus ParseImageTrailer(ByteView image, TrailerBlock* block) {
  if (image.size() < kTrailerLength) return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  const size_t trailer_start = image.size() - kTrailerLength;
  if (!HasBytesAt(image, trailer_start + kTrailerMagicOffset, kTrailerMagic)) {
    return NVCRETVAL_INVALID_SIGNATURE;
  }
  uint16_t area_length = 0;
  ByteReader(image).U16At(trailer_start + kTrailerAreaLengthOffset, area_length);
  if (area_length < kTrailerLength || area_length > image.size()) {
    return NVCRETVAL_INVALID_LENGTH_PARAMETER;
  }
  if (block != nullptr) {
    block->fill(0);
    const size_t copied = std::min<size_t>(area_length, kSignedTrailerAreaLength);
    std::memcpy(block->data() + block->size() - copied, image.last(copied).data(), copied);
    if (area_length > kSignedTrailerAreaLength) {
      const size_t length_at = kSignedTrailerAreaLength - kTrailerLength + kTrailerAreaLengthOffset;
      (*block)[length_at] = static_cast<uint8_t>(kSignedTrailerAreaLength & 0xFF);
      (*block)[length_at + 1] = static_cast<uint8_t>(kSignedTrailerAreaLength >> 8);
    }
  }
  return NVCRETVAL_SUCCESS;
}

NvmStatus VerifyTrailerSignedImage(ByteView image, const uint32_t* whole_image_crc,
                                   const SignedRangeDigest* signed_digest) {
  TrailerBlock block;
  NvmStatus status = ParseImageTrailer(image, &block);
  if (status != NVCRETVAL_SUCCESS) return status;
  if (!ImageCrcMatches(image, whole_image_crc)) return NVCRETVAL_INVALID_ITEM_CHECKSUM;
  uint16_t area_length = 0;
  ByteReader(image).U16At(image.size() - kTrailerLength + kTrailerAreaLengthOffset, area_length);
  if (area_length < kSignedTrailerAreaLength) return NVCRETVAL_INVALID_TRAILER;
  // A longer trailer area puts its extra bytes inside the signed range.
  return VerifySignedRange(image, TrailerSignedRangeLength(image.size()),
                           ByteView(block.data(), kRsaSignatureLength), signed_digest);
}

uint16_t GetImageType(ByteView image) {
  if (image.size() > 28 && HasSignedHeader(image)) {
    switch (image[kSignedHeaderCodeOffset]) {
      case 5:
        return 4;
      case 7:
        return 10;
      case 15:
        return 11;
      case 17:
        return 12;
      case 18:
        return 13;
      case 19:
        return 14;
      case 20:
        return 15;
      case 21:
        return 3;
      case 22:
        return 66;
      default:
        return 0;
    }
  }
  TrailerBlock block;
  if (ParseImageTrailer(image, &block) != NVCRETVAL_SUCCESS) return 0;
  uint16_t type = 0;
  ByteReader(block).U16At(kSignedTrailerAreaLength - kTrailerLength + kTrailerItemTypeOffset, type);
  return type;
}

}  // namespace skyfw
