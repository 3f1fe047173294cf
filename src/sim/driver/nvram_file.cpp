#include "sim/driver/nvram_file.h"

#include <algorithm>

#include "sim/driver/firmware_crc32.h"

namespace skyfw::sim {
namespace {

constexpr char kMagic[] = "SKYNVRAM";
constexpr uint32_t kFormatVersion = 2;
constexpr size_t kSnapshotLengthAt = 12;
constexpr size_t kHeaderLength = 20;  // magic, version, snapshot length

enum : uint8_t { kChangeBytes = 1, kChangeItem = 2 };

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

void PutItem(ByteWriter& writer, const NvramItem& item) {
  writer.PutU16(item.type);
  writer.PutU16(item.ordinal);
  writer.PutU16(item.ext);
  writer.PutU16(item.attr);
  writer.PutU32(item.item_length);
  writer.PutU32(static_cast<uint32_t>(item.data.size()));
  writer.PutBytes(item.data);
}

void PutDriverMemory(ByteWriter& writer, const DriverMemory& driver) {
  writer.PutU16(driver.last_error);
  PutClock(writer, driver.clock);
  writer.PutU32(static_cast<uint32_t>(driver.method_calls.size()));
  for (const auto& [name, count] : driver.method_calls) {
    std::string_view kept(name.data(), name.size() < 255 ? name.size() : 255);
    writer.PutU8(static_cast<uint8_t>(kept.size()));
    writer.PutText(kept);
    writer.PutU32(count);
  }
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

bool ApplyChange(ByteReader& reader, NvramImage& nvram, std::string& error) {
  uint8_t kind = 0;
  uint32_t index = 0;
  if (!reader.ReadU8(kind) || !reader.ReadU32(index)) {
    error = "record change runs past its end";
    return false;
  }
  if (index >= nvram.items.size()) {
    error = "record changes an item beyond the directory";
    return false;
  }
  NvramItem& item = nvram.items[index];
  if (kind == kChangeItem) return ReadItemRecord(reader, item, error);
  uint32_t offset = 0;
  uint32_t length = 0;
  ByteView bytes;
  if (kind != kChangeBytes || !reader.ReadU32(offset) || !reader.ReadU32(length) ||
      !reader.ReadView(length, bytes)) {
    error = "record change runs past its end or is of an unknown kind";
    return false;
  }
  // The firmware's own rule for a write: inside the allocated size, the
  // valid data grows to cover it.
  if (uint64_t{offset} + length > item.item_length) {
    error = "record writes past an item's allocated size";
    return false;
  }
  size_t end = size_t{offset} + length;
  if (item.data.size() < end) item.data.resize(end, kErasedByte);
  std::copy(bytes.begin(), bytes.end(), item.data.begin() + offset);
  return true;
}

bool ApplyRecord(ByteView payload, NvramFile& file, std::string& error) {
  ByteReader reader(payload);
  uint32_t count = 0;
  uint32_t changes = 0;
  if (!reader.ReadU32(count) || !reader.ReadU32(changes)) {
    error = "record runs past its end";
    return false;
  }
  // Items are never removed, each new one comes with a change of its own, and
  // each change takes at least 5 bytes: counts beyond that are damage, caught
  // before anything is reserved for them.
  if (changes > reader.remaining() / 5 || count < file.nvram.items.size() ||
      count - file.nvram.items.size() > changes) {
    error = "record item count out of range";
    return false;
  }
  file.nvram.items.resize(count);
  for (uint32_t i = 0; i < changes; ++i) {
    if (!ApplyChange(reader, file.nvram, error)) return false;
  }
  DriverMemory driver;
  if (!ReadDriverMemory(reader, driver, error)) return false;
  if (reader.remaining() != 0) {
    error = "unexpected bytes at the end of a record";
    return false;
  }
  // Bounds what a record can make this process allocate.
  if (AllocatedBytes(file.nvram) > file.nvram.capacity) {
    error = "record allocates more than the flash holds";
    return false;
  }
  file.driver = std::move(driver);
  return true;
}

}  // namespace

std::vector<uint8_t> EncodeNvramFile(const NvramFile& file) {
  std::vector<uint8_t> bytes;
  ByteWriter writer(bytes);
  writer.PutText(std::string_view(kMagic, 8));
  writer.PutU32(kFormatVersion);
  writer.PutU64(0);  // the length, once known
  writer.PutU32(file.nvram.entry_length);
  writer.PutU32(file.nvram.capacity);
  writer.PutU32(file.nvram.max_entries);
  writer.PutU32(static_cast<uint32_t>(file.nvram.items.size()));
  for (const NvramItem& item : file.nvram.items) PutItem(writer, item);
  PutDriverMemory(writer, file.driver);
  const uint64_t length = bytes.size() + 4;
  for (size_t i = 0; i < 8; ++i)
    bytes[kSnapshotLengthAt + i] = static_cast<uint8_t>(length >> (8 * i));
  writer.PutU32(FirmwareCrc32(bytes));
  return bytes;
}

std::vector<uint8_t> EncodeNvramRecord(const NvramFile& file, const NvramChanges& changes) {
  std::vector<uint8_t> bytes;
  ByteWriter writer(bytes);
  writer.PutU32(0);  // the payload length, once known
  writer.PutU32(static_cast<uint32_t>(file.nvram.items.size()));
  writer.PutU32(static_cast<uint32_t>(changes.changes.size()));
  for (const NvramChanges::Change& change : changes.changes) {
    const NvramItem& item = file.nvram.items.at(change.index);
    writer.PutU8(static_cast<uint8_t>(change.kind));
    writer.PutU32(change.index);
    if (change.kind == NvramChanges::Kind::kItem) {
      PutItem(writer, item);
      continue;
    }
    writer.PutU32(change.offset);
    writer.PutU32(change.length);
    writer.PutBytes(ByteView(item.data).subspan(change.offset, change.length));
  }
  PutDriverMemory(writer, file.driver);
  writer.SetU32At(0, static_cast<uint32_t>(bytes.size() - 4));
  writer.PutU32(FirmwareCrc32(bytes));
  return bytes;
}

bool ApplyNvramRecords(ByteView records, NvramFile& file, size_t& used, std::string& error) {
  used = 0;
  ByteReader reader(records);
  for (;;) {
    const size_t start = reader.offset();
    uint32_t length = 0;
    ByteView payload;
    uint32_t crc = 0;
    if (!reader.ReadU32(length) || !reader.ReadView(length, payload) || !reader.ReadU32(crc)) {
      return true;  // cut short: a writer died while appending it
    }
    ByteView sealed;
    reader.ViewAt(start, size_t{length} + 4, sealed);
    if (FirmwareCrc32(sealed) != crc) return true;
    if (!ApplyRecord(payload, file, error)) return false;
    used = reader.offset();
  }
}

bool DecodeNvramFile(ByteView bytes, NvramFile& out, std::string& error, NvramFileLayout* layout) {
  out = NvramFile{};
  if (bytes.size() < 4) {
    error = "file too short";
    return false;
  }
  ByteReader whole(bytes);
  ByteView magic;
  uint32_t version = 0;
  const bool current = whole.ViewAt(0, 8, magic) &&
                       std::equal(magic.begin(), magic.end(), kMagic) && whole.U32At(8, version) &&
                       version == kFormatVersion;
  // Only the current header says where the sealed snapshot ends. Any other
  // file is checked as sealed whole first, so that a file whose header bytes
  // were damaged is reported as damaged, not as foreign.
  size_t sealed_length = bytes.size();
  if (current) {
    uint64_t length = 0;
    if (!whole.U64At(kSnapshotLengthAt, length) || length < kHeaderLength + 4 ||
        length > bytes.size()) {
      error = "snapshot length out of range (file damaged)";
      return false;
    }
    sealed_length = static_cast<size_t>(length);
  }
  uint32_t stored_crc = 0;
  whole.U32At(sealed_length - 4, stored_crc);
  ByteView body = bytes.first(sealed_length - 4);
  if (FirmwareCrc32(body) != stored_crc) {
    error = "CRC-32 mismatch (file damaged)";
    return false;
  }
  ByteReader reader(body);
  if (!reader.ReadView(8, magic) || !std::equal(magic.begin(), magic.end(), kMagic)) {
    error = "not an NVRAM file (magic)";
    return false;
  }
  if (!current) {
    error = "unknown NVRAM file version";
    return false;
  }
  uint32_t count = 0;
  if (!reader.Skip(kHeaderLength - 8) || !reader.ReadU32(out.nvram.entry_length) ||
      !reader.ReadU32(out.nvram.capacity) || !reader.ReadU32(out.nvram.max_entries) ||
      !reader.ReadU32(count)) {
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
  size_t used = 0;
  if (!ApplyNvramRecords(bytes.subspan(sealed_length), out, used, error)) {
    error = "NVRAM record: " + error;
    return false;
  }
  if (layout != nullptr) {
    layout->snapshot_end = sealed_length;
    layout->snapshot_crc = stored_crc;
    layout->log_end = sealed_length + used;
  }
  return true;
}

}  // namespace skyfw::sim
