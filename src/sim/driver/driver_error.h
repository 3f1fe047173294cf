// Error numbers of the adapter firmware's NVM interface.
//
// A failed driver method leaves one of these as its last error; the NVM layer
// reads it with GetNvmLastError and returns it negated, so each number is the
// magnitude of the matching NVCRETVAL_ status. The same magnitudes, negated
// and taken as a signed byte, are the result byte of a refused installation.
#pragma once

#include <cstdint>

namespace skyfw::sim {

enum DriverError : uint16_t {
  kDriverOk = 0,
  kDriverFailure = 1,
  kDriverUnsupportedCommand = 2,
  kDriverInsufficientSpace = 4,
  kDriverInvalidIndex = 5,
  kDriverInvalidOffset = 6,
  kDriverInvalidParameterValue = 8,
  kDriverInvalidLength = 9,
  kDriverInvalidLengthParameter = 10,
  kDriverInvalidTypeParameter = 13,
  kDriverInvalidString = 19,
  kDriverInvalidFileHeader = 20,
  kDriverInvalidSignature = 21,
  kDriverInvalidPropStream = 22,
  kDriverInvalidManifest = 24,
  kDriverInvalidChecksum = 26,
  kDriverInvalidItemChecksum = 27,
  kDriverInvalidDataLength = 28,
  kDriverInvalidDataOffset = 32,
  kDriverDuplicateItem = 60,
  kDriverItemNotFound = 80,
  kDriverOptionNotSupported = 130,
};

// The result byte of InstallUpdate for a refusal: the status as a signed byte.
inline uint8_t InstallResultByte(DriverError error) {
  return static_cast<uint8_t>(-static_cast<int>(error));
}

}  // namespace skyfw::sim
