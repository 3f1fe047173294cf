// The two signed framings of firmware images and their integrity checks.
//
// Header-signed image: "NVC" 0x1A at 0, image code at 5, header format 0x13
// at 6; the RSA signature over bytes [0, length - 260) at length - 260, and
// the CRC-32 of bytes [0, length - 4) in the last 4 bytes.
//
// Trailer-signed image: the last 32 bytes are the trailer (version
// information 0..19, item type at 20, trailer-area length L at 22, "Trlr" at
// 24, CRC-32 of the image without its last 4 bytes at 28). With L >= 288 the
// 256 bytes in front of the trailer sign bytes [0, length - 288).
#pragma once

#include <array>
#include <cstdint>

#include "integrity/sha256.h"
#include "base/nvm_status.h"
#include "base/byte_reader.h"

namespace skyfw {

inline constexpr uint8_t kSignedHeaderMagic[4] = {'N', 'V', 'C', 0x1A};
inline constexpr size_t kSignedHeaderCodeOffset = 5;
inline constexpr size_t kSignedHeaderFormatOffset = 6;
inline constexpr uint8_t kSignedHeaderFormat = 0x13;
inline constexpr size_t kSignedHeaderTailLength = 260;  // signature and CRC

inline constexpr size_t kTrailerLength = 32;
inline constexpr size_t kTrailerItemTypeOffset = 20;
inline constexpr size_t kTrailerAreaLengthOffset = 22;
inline constexpr size_t kTrailerMagicOffset = 24;
inline constexpr size_t kTrailerCrcOffset = 28;
inline constexpr uint8_t kTrailerMagic[4] = {'T', 'r', 'l', 'r'};
// Signature (256) and trailer (32): the smallest signed trailer area.
inline constexpr size_t kSignedTrailerAreaLength = 288;

// The last 288 bytes of a trailer-signed image, normalised: bytes 0..255 the
// signature (when the image has one), bytes 256..287 the trailer.
using TrailerBlock = std::array<uint8_t, kSignedTrailerAreaLength>;

// The SHA-256 of the first `length` bytes of an image, computed ahead (a
// package verifier digests its images in pairs). Used only when `length` is
// the image's signed range.
struct SignedRangeDigest {
  size_t length = 0;
  Sha256Digest digest{};
};

// Bytes covered by the signature of an image of `image_length` bytes (at
// least 288): all but the signature and CRC, or all but the trailer area.
inline size_t HeaderSignedRangeLength(size_t image_length) {
  return image_length - kSignedHeaderTailLength;
}
inline size_t TrailerSignedRangeLength(size_t image_length) {
  return image_length - kSignedTrailerAreaLength;
}

// `whole_image_crc`, when given, is the CRC-32 of all of `image` (a caller
// that has just computed it as the item checksum); the image's own CRC is
// then checked against the residue instead of being computed again.
NvmStatus VerifyHeaderSignedImage(ByteView image, const uint32_t* whole_image_crc = nullptr,
                                  const SignedRangeDigest* signed_digest = nullptr);

// Checks the trailer's framing and, given `block`, fills it (see TrailerBlock;
// the trailer length in the copy is lowered to 288 when it exceeds 288).
NvmStatus ParseImageTrailer(ByteView image, TrailerBlock* block);

NvmStatus VerifyTrailerSignedImage(ByteView image, const uint32_t* whole_image_crc = nullptr,
                                   const SignedRangeDigest* signed_digest = nullptr);

// The item type an image declares through its signed header's image code or
// its trailer; 0 when it declares none.
uint16_t GetImageType(ByteView image);

}  // namespace skyfw
