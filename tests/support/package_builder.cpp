#include "support/package_builder.h"

#include <algorithm>

namespace skyfw::testing {

uint32_t BitwiseCrc32(ByteView bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

Bytes EncodePackage(const Bytes& properties, const std::vector<PackageItem>& items,
                    PackageLayout* layout) {
  Bytes bytes;
  ByteWriter writer(bytes);
  writer.PutText("PKG0");
  writer.PutU32(4);
  writer.PutU32(static_cast<uint32_t>(12 + properties.size()));
  writer.PutBytes(properties);
  PackageLayout local;
  local.manifest = bytes.size();
  writer.PutText("Man0");
  writer.PutU32(20);
  writer.PutU32(static_cast<uint32_t>(items.size()));
  writer.PutU32(64);
  writer.PutU32(24);
  local.entries = bytes.size();
  size_t data_at = local.entries + items.size() * 88;
  for (const PackageItem& item : items) {
    uint32_t length = static_cast<uint32_t>(item.data.size());
    writer.PutU8(item.directive);
    writer.PutZeros(63);
    writer.PutU16(item.type);
    writer.PutU16(item.ordinal);
    writer.PutU16(item.ext);
    writer.PutU16(item.attr);
    writer.PutU32(length == 0 ? 0 : static_cast<uint32_t>(data_at));
    writer.PutU32(item.item_length != 0 ? item.item_length : length);
    writer.PutU32(length);
    writer.PutU32(BitwiseCrc32(item.data));
    local.data_offsets.push_back(length == 0 ? 0 : data_at);
    data_at += (length + 3) / 4 * 4;
  }
  for (const PackageItem& item : items) {
    writer.PutBytes(item.data);
    writer.PutZeros((4 - item.data.size() % 4) % 4);
  }
  writer.PutU32(BitwiseCrc32(bytes));
  if (layout != nullptr) *layout = local;
  return bytes;
}

Bytes Property(uint8_t tag, const Bytes& value) {
  // Sized once and filled: g++ 12 at -O3 misreads inserting into the
  // three-byte vector as a write past it (-Warray-bounds).
  Bytes out(3 + value.size());
  out[0] = tag;
  out[1] = static_cast<uint8_t>(value.size());
  out[2] = static_cast<uint8_t>(value.size() >> 8);
  std::copy(value.begin(), value.end(), out.begin() + 3);
  return out;
}

Bytes TextValue(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes BuildPackage(const TestPackage& package, PackageLayout* layout) {
  Bytes properties;
  if (!package.description.empty()) {
    properties = Concat({properties, Property(1, TextValue(package.description))});
  }
  if (!package.version.empty()) {
    properties = Concat({properties, Property(9, TextValue(package.version))});
  }
  return EncodePackage(properties, package.items, layout);
}

void ResealPackage(Bytes& bytes) {
  uint32_t crc = BitwiseCrc32(ByteView(bytes).first(bytes.size() - 4));
  ByteWriter(bytes).SetU32At(bytes.size() - 4, crc);
}

Bytes WrapPackage(const Bytes& package) {
  const uint8_t id[16] = {0xF0, 0x18, 0x87, 0x8C, 0xCB, 0x7D, 0x49, 0x43,
                          0x98, 0x00, 0xA0, 0x2F, 0x05, 0x9A, 0xCA, 0x02};
  Bytes bytes(id, id + 16);
  ByteWriter writer(bytes);
  writer.PutU8(1);
  writer.PutU16(32);
  writer.PutZeros(32 - 4 - bytes.size());
  writer.PutU32(BitwiseCrc32(bytes));
  writer.PutBytes(package);
  return bytes;
}

}  // namespace skyfw::testing
