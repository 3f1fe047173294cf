#include "sim/driver/vpd_image.h"

#include <string>

#include "base/byte_reader.h"

namespace skyfw::sim {
namespace {

constexpr uint8_t kTagIdentifier = 0x82;
constexpr uint8_t kTagReadOnly = 0x90;
constexpr uint8_t kTagReadWrite = 0x91;
constexpr uint8_t kTagEnd = 0x78;
constexpr size_t kMaxKeywordValue = 255;

void PutKeyword(ByteWriter& writer, const std::string& name, const std::string& value) {
  std::string_view kept(value.data(),
                        value.size() < kMaxKeywordValue ? value.size() : kMaxKeywordValue);
  writer.PutFixedText(name, 2);
  writer.PutU8(static_cast<uint8_t>(kept.size()));
  writer.PutText(kept);
}

void PutLargeResource(ByteWriter& writer, uint8_t tag, const std::vector<uint8_t>& value) {
  writer.PutU8(tag);
  writer.PutU16(static_cast<uint16_t>(value.size()));
  writer.PutBytes(value);
}

}  // namespace

std::vector<uint8_t> BuildVpdItem(const VpdDescription& vpd) {
  std::vector<uint8_t> proper;
  ByteWriter writer(proper);
  writer.PutU8(kTagIdentifier);
  writer.PutU16(static_cast<uint16_t>(vpd.identifier.size()));
  writer.PutText(vpd.identifier);

  std::vector<uint8_t> read_only;
  ByteWriter ro(read_only);
  for (const auto& [name, value] : vpd.read_only) PutKeyword(ro, name, value);
  ro.PutText("RV");
  ro.PutU8(1 + kVpdRvReserved);
  size_t checksum_at = proper.size() + 3 + read_only.size();
  ro.PutZeros(1 + kVpdRvReserved);
  PutLargeResource(writer, kTagReadOnly, read_only);

  std::vector<uint8_t> read_write;
  ByteWriter rw(read_write);
  for (const auto& [name, value] : vpd.read_write) PutKeyword(rw, name, value);
  uint32_t free = vpd.read_write_free < kMaxKeywordValue ? vpd.read_write_free : kMaxKeywordValue;
  rw.PutText("RW");
  rw.PutU8(static_cast<uint8_t>(free));
  rw.PutZeros(free);
  PutLargeResource(writer, kTagReadWrite, read_write);
  writer.PutU8(kTagEnd);

  // Every byte from the start through the checksum byte sums to zero.
  uint8_t sum = 0;
  for (size_t i = 0; i < checksum_at; ++i) sum = static_cast<uint8_t>(sum + proper[i]);
  proper[checksum_at] = static_cast<uint8_t>(0x100 - sum);

  // The prefix: format 1 and the length of the VPD proper.
  std::vector<uint8_t> item;
  ByteWriter prefix(item);
  prefix.PutU16(1);
  prefix.PutU16(static_cast<uint16_t>(proper.size()));
  prefix.PutBytes(proper);
  return item;
}

}  // namespace skyfw::sim
