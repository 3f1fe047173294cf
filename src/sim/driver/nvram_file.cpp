#include "sim/driver/nvram_file.h"

#include "sim/driver/firmware_crc32.h"

namespace skyfw::sim {
namespace {

constexpr char kMagic[] = "SKYNVRAM";
constexpr uint32_t kFormatVersion = 1;

void PutClock(ByteWriter& writer, const FirmwareTime& clock) {
  writer.PutU16(clock.time_zone);
  writer.PutU16(clock.year);
  writer.PutU8(clock.month);
  writer.PutU8(clock.day);
  writer.PutU8(clock.hour);
  writer.PutU8(clock.minute);
  writer.PutU8(clock.second);
  writer.PutU16(clock.millisecond);
}

bool ReadClock(ByteReader& reader, FirmwareTime& clock) {
  return reader.ReadU16(clock.time_zone) && reader.ReadU16(clock.year) &&
         reader.ReadU8(clock.month) && reader.ReadU8(clock.day) && reader.ReadU8(clock.hour) &&
         reader.ReadU8(clock.minute) && reader.ReadU8(clock.second) &&
         reader.ReadU16(clock.millisecond);
}

bool ReadItemRecord(ByteReader& reader, NvramItem& item, std::string& error) {
  uint32_t data_length = 0;
  ByteView data;
  if (!reader.ReadU16(item.type) || !reader.ReadU16(item.ordinal) || !reader.ReadU16(item.ext) ||
      !reader.ReadU16(item.attr) || !reader.ReadU32(item.item_length) ||
      !reader.ReadU32(data_length) || !reader.ReadView(data_length, data)) {
    error = "item runs past the end of the file";
    return false;
  }
  if (data_length > item.item_length) {
    error = "item data longer than its allocated size";
    return false;
  }
  item.data.assign(data.begin(), data.end());
  return true;
}

bool ReadDriverMemory(ByteReader& reader, DriverMemory& driver, std::string& error) {
  uint32_t counters = 0;
  if (!reader.ReadU16(driver.last_error) || !ReadClock(reader, driver.clock) ||
      !reader.ReadU32(counters)) {
    error = "driver memory runs past the end of the file";
    return false;
  }
  for (uint32_t i = 0; i < counters; ++i) {
    uint8_t name_length = 0;
    ByteView name;
    uint32_t count = 0;
    if (!reader.ReadU8(name_length) || !reader.ReadView(name_length, name) ||
        !reader.ReadU32(count)) {
      error = "call counter runs past the end of the file";
      return false;
    }
    driver.method_calls[std::string(name.begin(), name.end())] = count;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> EncodeNvramFile(const NvramFile& file) {
  std::vector<uint8_t> bytes;
  ByteWriter writer(bytes);
  writer.PutText(std::string_view(kMagic, 8));
  writer.PutU32(kFormatVersion);
  writer.PutU32(file.nvram.entry_length);
  writer.PutU32(file.nvram.capacity);
  writer.PutU32(file.nvram.max_entries);
  writer.PutU32(static_cast<uint32_t>(file.nvram.items.size()));
  for (const NvramItem& item : file.nvram.items) {
    writer.PutU16(item.type);
    writer.PutU16(item.ordinal);
    writer.PutU16(item.ext);
    writer.PutU16(item.attr);
    writer.PutU32(item.item_length);
    writer.PutU32(static_cast<uint32_t>(item.data.size()));
    writer.PutBytes(item.data);
  }
  writer.PutU16(file.driver.last_error);
  PutClock(writer, file.driver.clock);
  writer.PutU32(static_cast<uint32_t>(file.driver.method_calls.size()));
  for (const auto& [name, count] : file.driver.method_calls) {
    std::string_view kept(name.data(), name.size() < 255 ? name.size() : 255);
    writer.PutU8(static_cast<uint8_t>(kept.size()));
    writer.PutText(kept);
    writer.PutU32(count);
  }
  writer.PutU32(FirmwareCrc32(bytes));
  return bytes;
}

bool DecodeNvramFile(ByteView bytes, NvramFile& out, std::string& error) {
  out = NvramFile{};
  if (bytes.size() < 4) {
    error = "file too short";
    return false;
  }
  ByteReader whole(bytes);
  uint32_t stored_crc = 0;
  whole.U32At(bytes.size() - 4, stored_crc);
  ByteView body = bytes.first(bytes.size() - 4);
  if (FirmwareCrc32(body) != stored_crc) {
    error = "CRC-32 mismatch (file damaged)";
    return false;
  }
  ByteReader reader(body);
  ByteView magic;
  uint32_t version = 0;
  uint32_t count = 0;
  if (!reader.ReadView(8, magic) || std::string_view(reinterpret_cast<const char*>(magic.data()),
                                                     8) != std::string_view(kMagic, 8)) {
    error = "not an NVRAM file (magic)";
    return false;
  }
  if (!reader.ReadU32(version) || version != kFormatVersion) {
    error = "unknown NVRAM file version";
    return false;
  }
  if (!reader.ReadU32(out.nvram.entry_length) || !reader.ReadU32(out.nvram.capacity) ||
      !reader.ReadU32(out.nvram.max_entries) || !reader.ReadU32(count)) {
    error = "header runs past the end of the file";
    return false;
  }
  // Each item record takes at least 16 bytes; a count beyond that is damage,
  // caught before anything is reserved for it.
  if (count > reader.remaining() / 16) {
    error = "item count larger than the file";
    return false;
  }
  out.nvram.items.resize(count);
  for (NvramItem& item : out.nvram.items) {
    if (!ReadItemRecord(reader, item, error)) return false;
  }
  if (!ReadDriverMemory(reader, out.driver, error)) return false;
  if (reader.remaining() != 0) {
    error = "unexpected bytes after the driver memory";
    return false;
  }
  return true;
}

}  // namespace skyfw::sim
