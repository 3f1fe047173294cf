#include "sim_driver/package_builder.h"

namespace skyfw::sim::testing {

uint32_t BitwiseCrc32(ByteView bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::vector<uint8_t> BuildPackage(const TestPackage& package, PackageLayout* layout) {
  std::vector<uint8_t> properties;
  ByteWriter props(properties);
  if (!package.description.empty()) {
    props.PutU8(1);
    props.PutU16(static_cast<uint16_t>(package.description.size()));
    props.PutText(package.description);
  }
  if (!package.version.empty()) {
    props.PutU8(9);
    props.PutU16(static_cast<uint16_t>(package.version.size()));
    props.PutText(package.version);
  }

  std::vector<uint8_t> bytes;
  ByteWriter writer(bytes);
  writer.PutText("PKG0");
  writer.PutU32(4);
  writer.PutU32(static_cast<uint32_t>(12 + properties.size()));
  writer.PutBytes(properties);
  PackageLayout local;
  local.manifest = bytes.size();
  writer.PutText("Man0");
  writer.PutU32(20);
  writer.PutU32(static_cast<uint32_t>(package.items.size()));
  writer.PutU32(64);
  writer.PutU32(24);
  local.entries = bytes.size();
  size_t data_at = local.entries + package.items.size() * 88;
  for (const TestItem& item : package.items) {
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
  for (const TestItem& item : package.items) {
    writer.PutBytes(item.data);
    writer.PutZeros((4 - item.data.size() % 4) % 4);
  }
  writer.PutU32(BitwiseCrc32(bytes));
  if (layout != nullptr) *layout = local;
  return bytes;
}

void ResealPackage(std::vector<uint8_t>& bytes) {
  uint32_t crc = BitwiseCrc32(ByteView(bytes).first(bytes.size() - 4));
  ByteWriter(bytes).SetU32At(bytes.size() - 4, crc);
}

std::vector<uint8_t> WrapPackage(const std::vector<uint8_t>& package) {
  const uint8_t id[16] = {0xF0, 0x18, 0x87, 0x8C, 0xCB, 0x7D, 0x49, 0x43,
                          0x98, 0x00, 0xA0, 0x2F, 0x05, 0x9A, 0xCA, 0x02};
  std::vector<uint8_t> bytes(id, id + 16);
  ByteWriter writer(bytes);
  writer.PutU8(1);
  writer.PutU16(32);
  writer.PutZeros(32 - 4 - bytes.size());
  writer.PutU32(BitwiseCrc32(bytes));
  writer.PutBytes(package);
  return bytes;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace skyfw::sim::testing
