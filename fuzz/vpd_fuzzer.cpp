// The VPD functions on arbitrary bytes: validation, lookups, identity, and
// the in-place edits (on a copy).
#include <cstdint>
#include <vector>

#include "package/vpd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyfw;
  const ByteView vpd(data, size);
  ValidateVpd(vpd);
  size_t offset = 0;
  for (uint8_t name : {kVpdIdentifierString, kVpdReadOnly, kVpdReadWrite, kVpdEndTag}) {
    FindVpdResource(vpd, name, offset);
  }
  VpdIdentity identity;
  ReadVpdIdentity(vpd, identity, [](const std::string&) {});

  std::vector<uint8_t> copy(data, data + size);
  const uint8_t serial[] = {'S', 'N', '-', '1'};
  if (SetVpdKeyword(copy, kVpdReadOnly, "SN", serial) == NVCRETVAL_SUCCESS) {
    UpdateVpdChecksum(copy);
    ValidateVpd(copy);
  }
  copy.assign(data, data + size);
  SetVpdKeyword(copy, kVpdReadWrite, "V1", serial);
  UpdateVpdChecksum(copy);
  return 0;
}
