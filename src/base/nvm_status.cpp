#include "base/nvm_status.h"

#include <cstdio>

namespace skyfw {

namespace {

// Names are kept whole, as stored; the lookups hand out the part after it.
constexpr int kPrefixLength = 10;  // "NVCRETVAL_"

}  // namespace

const char* NvmStatusName(NvmStatus status) {
  switch (status) {
    case NVCRETVAL_SUCCESS:
      return "NVCRETVAL_SUCCESS" + kPrefixLength;
    case NVCRETVAL_FAILURE:
      return "NVCRETVAL_FAILURE" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_COMMAND:
      return "NVCRETVAL_UNSUPPORTED_COMMAND" + kPrefixLength;
    case NVCRETVAL_MALLOC_FAILURE:
      return "NVCRETVAL_MALLOC_FAILURE" + kPrefixLength;
    case NVCRETVAL_INSUFFICIENT_SPACE:
      return "NVCRETVAL_INSUFFICIENT_SPACE" + kPrefixLength;
    case NVCRETVAL_INVALID_INDEX_PARAMETER:
      return "NVCRETVAL_INVALID_INDEX_PARAMETER" + kPrefixLength;
    case NVCRETVAL_INVALID_OFFSET_PARAMETER:
      return "NVCRETVAL_INVALID_OFFSET_PARAMETER" + kPrefixLength;
    case NVCRETVAL_INVALID_BIT_PARAMETER:
      return "NVCRETVAL_INVALID_BIT_PARAMETER" + kPrefixLength;
    case NVCRETVAL_INVALID_PARAMETER_VALUE:
      return "NVCRETVAL_INVALID_PARAMETER_VALUE" + kPrefixLength;
    case NVCRETVAL_INVALID_LENGTH:
      return "NVCRETVAL_INVALID_LENGTH" + kPrefixLength;
    case NVCRETVAL_INVALID_LENGTH_PARAMETER:
      return "NVCRETVAL_INVALID_LENGTH_PARAMETER" + kPrefixLength;
    case NVCRETVAL_INVALID_POINTER_PARAMETER:
      return "NVCRETVAL_INVALID_POINTER_PARAMETER" + kPrefixLength;
    case NVCRETVAL_INVALID_FILENAME_PARAMETER:
      return "NVCRETVAL_INVALID_FILENAME_PARAMETER" + kPrefixLength;
    case NVCRETVAL_INVALID_TYPE_PARAMETER:
      return "NVCRETVAL_INVALID_TYPE_PARAMETER" + kPrefixLength;
    case NVCRETVAL_INVALID_PREREQUISITE:
      return "NVCRETVAL_INVALID_PREREQUISITE" + kPrefixLength;
    case NVCRETVAL_INVALID_PARAMETER:
      return "NVCRETVAL_INVALID_PARAMETER" + kPrefixLength;
    case NVCRETVAL_INVALID_TAG:
      return "NVCRETVAL_INVALID_TAG" + kPrefixLength;
    case NVCRETVAL_INVALID_END_TAG:
      return "NVCRETVAL_INVALID_END_TAG" + kPrefixLength;
    case NVCRETVAL_INVALID_STRING:
      return "NVCRETVAL_INVALID_STRING" + kPrefixLength;
    case NVCRETVAL_INVALID_FILE_HEADER:
      return "NVCRETVAL_INVALID_FILE_HEADER" + kPrefixLength;
    case NVCRETVAL_INVALID_SIGNATURE:
      return "NVCRETVAL_INVALID_SIGNATURE" + kPrefixLength;
    case NVCRETVAL_INVALID_PROP_STREAM:
      return "NVCRETVAL_INVALID_PROP_STREAM" + kPrefixLength;
    case NVCRETVAL_INVALID_PROP_LENGTH:
      return "NVCRETVAL_INVALID_PROP_LENGTH" + kPrefixLength;
    case NVCRETVAL_INVALID_MANIFEST:
      return "NVCRETVAL_INVALID_MANIFEST" + kPrefixLength;
    case NVCRETVAL_INVALID_TRAILER:
      return "NVCRETVAL_INVALID_TRAILER" + kPrefixLength;
    case NVCRETVAL_INVALID_CHECKSUM:
      return "NVCRETVAL_INVALID_CHECKSUM" + kPrefixLength;
    case NVCRETVAL_INVALID_ITEM_CHECKSUM:
      return "NVCRETVAL_INVALID_ITEM_CHECKSUM" + kPrefixLength;
    case NVCRETVAL_INVALID_DATA_LENGTH:
      return "NVCRETVAL_INVALID_DATA_LENGTH" + kPrefixLength;
    case NVCRETVAL_INVALID_RSA_SIGNATURE:
      return "NVCRETVAL_INVALID_RSA_SIGNATURE" + kPrefixLength;
    case NVCRETVAL_INVALID_SYNTAX:
      return "NVCRETVAL_INVALID_SYNTAX" + kPrefixLength;
    case NVCRETVAL_INVALID_DIRECTIVE:
      return "NVCRETVAL_INVALID_DIRECTIVE" + kPrefixLength;
    case NVCRETVAL_INVALID_DATA_OFFSET:
      return "NVCRETVAL_INVALID_DATA_OFFSET" + kPrefixLength;
    case NVCRETVAL_DEVICE_LIBRARY_QUERY_FAILURE:
      return "NVCRETVAL_DEVICE_LIBRARY_QUERY_FAILURE" + kPrefixLength;
    case NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE:
      return "NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE" + kPrefixLength;
    case NVCRETVAL_NO_SUPPORTED_DEVICES_FOUND:
      return "NVCRETVAL_NO_SUPPORTED_DEVICES_FOUND" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_CHIP_REV:
      return "NVCRETVAL_UNSUPPORTED_CHIP_REV" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_DEVICE_ID:
      return "NVCRETVAL_UNSUPPORTED_DEVICE_ID" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_SUBSYS_VENDOR:
      return "NVCRETVAL_UNSUPPORTED_SUBSYS_VENDOR" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_SUBSYS_ID:
      return "NVCRETVAL_UNSUPPORTED_SUBSYS_ID" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_UPGRADE:
      return "NVCRETVAL_UNSUPPORTED_UPGRADE" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_DOWNGRADE:
      return "NVCRETVAL_UNSUPPORTED_DOWNGRADE" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_FILE_TYPE:
      return "NVCRETVAL_UNSUPPORTED_FILE_TYPE" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_OPERATION:
      return "NVCRETVAL_UNSUPPORTED_OPERATION" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_PLATFORM:
      return "NVCRETVAL_UNSUPPORTED_PLATFORM" + kPrefixLength;
    case NVCRETVAL_DUPLICATE_ITEM:
      return "NVCRETVAL_DUPLICATE_ITEM" + kPrefixLength;
    case NVCRETVAL_ZERO_LENGTH_ITEM:
      return "NVCRETVAL_ZERO_LENGTH_ITEM" + kPrefixLength;
    case NVCRETVAL_UNSUPPORTED_DETAIL:
      return "NVCRETVAL_UNSUPPORTED_DETAIL" + kPrefixLength;
    case NVCRETVAL_OVERLAPPING_ITEM:
      return "NVCRETVAL_OVERLAPPING_ITEM" + kPrefixLength;
    case NVCRETVAL_PREREQUISITES_NOT_MET:
      return "NVCRETVAL_PREREQUISITES_NOT_MET" + kPrefixLength;
    case NVCRETVAL_UNEXPECTED_DATA:
      return "NVCRETVAL_UNEXPECTED_DATA" + kPrefixLength;
    case NVCRETVAL_ITEM_NOT_FOUND:
      return "NVCRETVAL_ITEM_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_RESOURCE_NOT_FOUND:
      return "NVCRETVAL_RESOURCE_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_TERMINATOR_NOT_FOUND:
      return "NVCRETVAL_TERMINATOR_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_END_TAG_NOT_FOUND:
      return "NVCRETVAL_END_TAG_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_CHECKSUM_NOT_FOUND:
      return "NVCRETVAL_CHECKSUM_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_TRAILER_NOT_FOUND:
      return "NVCRETVAL_TRAILER_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_HEADER_NOT_FOUND:
      return "NVCRETVAL_HEADER_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_SIGNATURE_NOT_FOUND:
      return "NVCRETVAL_SIGNATURE_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_VERSION_INFO_NOT_FOUND:
      return "NVCRETVAL_VERSION_INFO_NOT_FOUND" + kPrefixLength;
    case NVCRETVAL_FILE_ACCESS_FAILURE:
      return "NVCRETVAL_FILE_ACCESS_FAILURE" + kPrefixLength;
    case NVCRETVAL_FILE_OPEN_FAILURE:
      return "NVCRETVAL_FILE_OPEN_FAILURE" + kPrefixLength;
    case NVCRETVAL_FILE_SEEK_FAILURE:
      return "NVCRETVAL_FILE_SEEK_FAILURE" + kPrefixLength;
    case NVCRETVAL_FILE_READ_FAILURE:
      return "NVCRETVAL_FILE_READ_FAILURE" + kPrefixLength;
    case NVCRETVAL_FILE_WRITE_FAILURE:
      return "NVCRETVAL_FILE_WRITE_FAILURE" + kPrefixLength;
    case NVCRETVAL_FILE_TRUNCATE_FAILURE:
      return "NVCRETVAL_FILE_TRUNCATE_FAILURE" + kPrefixLength;
    case NVCRETVAL_SOCKET_FAILURE:
      return "NVCRETVAL_SOCKET_FAILURE" + kPrefixLength;
    case NVCRETVAL_OPTION_NOTSUPPORTED:
      return "NVCRETVAL_OPTION_NOTSUPPORTED" + kPrefixLength;
    case NVCRETVAL_OPTION_MULTINSTANCE_FAILURE:
      return "NVCRETVAL_OPTION_MULTINSTANCE_FAILURE" + kPrefixLength;
    case NVCRETVAL_OPTION_ARRAYTYPE_FAILURE:
      return "NVCRETVAL_OPTION_ARRAYTYPE_FAILURE" + kPrefixLength;
    case NVCRETVAL_VELO_LFC_DRIVER_NOT_LOADED:
      return "NVCRETVAL_VELO_LFC_DRIVER_NOT_LOADED" + kPrefixLength;
    case NVCRETVAL_INTERFACE_LINK_DOWN:
      return "NVCRETVAL_INTERFACE_LINK_DOWN" + kPrefixLength;
    case NVCRETVAL_CAP:
      return "NVCRETVAL_CAP" + kPrefixLength;
    default:
      return nullptr;
  }
}

const char* NvmStatusText(NvmStatus status) {
  if (const char* name = NvmStatusName(status)) return name;
  // Shared by design: every caller runs on the host's calling thread.
  static char unknown_text[32];
  std::snprintf(unknown_text, sizeof unknown_text, "Unknown: %d", static_cast<int>(status));
  return unknown_text;
}

}  // namespace skyfw
