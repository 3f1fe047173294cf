#include "sim/driver/nvram_image.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/driver/firmware_crc32.h"

namespace skyfw::sim {
namespace {

bool IsUsable(const NvramImage& image, uint32_t index) {
  return index < image.items.size() && image.items[index].type != 0;
}

uint64_t FlashOffsetOf(const NvramImage& image, size_t index) {
  uint64_t offset = 0;
  for (size_t i = 0; i < index; ++i) offset += image.items[i].item_length;
  return offset;
}

// The entry of item `index`, whose place in the flash layout and checksum
// the caller knows.
void PutDirEntry(const NvramImage& image, size_t index, uint64_t flash_offset, uint32_t checksum,
                 std::vector<uint8_t>& out) {
  const NvramItem& item = image.items[index];
  ByteWriter writer(out);
  writer.PutU16(item.type);
  writer.PutU16(item.ordinal);
  writer.PutU16(item.ext);
  writer.PutU16(item.attr);
  writer.PutU32(static_cast<uint32_t>(flash_offset));
  writer.PutU32(item.item_length);
  writer.PutU32(static_cast<uint32_t>(item.data.size()));
  writer.PutU32(item.type == 0 ? 0 : checksum);
}

}  // namespace

std::string FormatFirmwareTime(const FirmwareTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02uZ", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return text;
}

DriverError ValidateFirmwareTime(const FirmwareTime& time) {
  if (time.year < 1970 || time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 ||
      time.hour > 23 || time.minute > 59 || time.second > 59 || time.millisecond > 999) {
    return kDriverInvalidParameterValue;
  }
  return kDriverOk;
}

std::vector<uint8_t> EncodeDirEntry(const NvramImage& image, size_t index) {
  std::vector<uint8_t> entry;
  PutDirEntry(image, index, FlashOffsetOf(image, index), FirmwareCrc32(image.items[index].data),
              entry);
  return entry;
}

std::vector<uint8_t> DirectoryBytes(const NvramImage& image, uint32_t capacity,
                                    const ItemChecksumSource& checksum_of) {
  std::vector<uint8_t> out;
  if (image.entry_length == 0) return out;
  size_t fitting = capacity / image.entry_length;
  size_t count = image.items.size() < fitting ? image.items.size() : fitting;
  out.reserve(count * image.entry_length);
  uint64_t flash_offset = 0;
  for (size_t i = 0; i < count; ++i) {
    const NvramItem& item = image.items[i];
    // An empty entry's checksum is not served, so it is not computed.
    uint32_t checksum = item.type == 0 ? 0
                        : checksum_of  ? checksum_of(i)
                                       : FirmwareCrc32(item.data);
    size_t start = out.size();
    PutDirEntry(image, i, flash_offset, checksum, out);
    out.resize(start + image.entry_length, 0);
    flash_offset += item.item_length;
  }
  return out;
}

std::optional<size_t> FindItem(const NvramImage& image, uint16_t type, uint16_t ordinal,
                               uint16_t ext) {
  for (size_t i = 0; i < image.items.size(); ++i) {
    const NvramItem& item = image.items[i];
    if (item.type == type && item.ordinal == ordinal && item.ext == ext) return i;
  }
  return std::nullopt;
}

DriverError ReadItem(const NvramImage& image, uint32_t index, uint32_t offset, uint32_t length,
                     std::vector<uint8_t>& out) {
  out.clear();
  if (!IsUsable(image, index)) return kDriverInvalidIndex;
  const NvramItem& item = image.items[index];
  if (offset > item.item_length) return kDriverInvalidOffset;
  uint32_t available = item.item_length - offset;
  uint32_t count = length < available ? length : available;
  out.assign(count, kErasedByte);
  // Bytes past what was ever written read as erased.
  if (offset < item.data.size()) {
    const size_t stored = std::min<size_t>(count, item.data.size() - offset);
    std::copy_n(item.data.begin() + offset, stored, out.begin());
  }
  return kDriverOk;
}

DriverError CreateItem(NvramImage& image, uint16_t type, uint16_t ordinal, uint16_t ext,
                       uint16_t attr, uint32_t item_length, uint32_t& index) {
  if (type == 0) return kDriverInvalidTypeParameter;
  std::optional<size_t> existing = FindItem(image, type, ordinal, ext);
  uint64_t others = AllocatedBytes(image) - (existing ? image.items[*existing].item_length : 0);
  if (others + item_length > image.capacity) return kDriverInsufficientSpace;
  if (existing) {
    NvramItem& item = image.items[*existing];
    item.attr = attr;
    item.item_length = item_length;
    item.data.clear();
    index = static_cast<uint32_t>(*existing);
    return kDriverOk;
  }
  if (image.items.size() >= image.max_entries) return kDriverInsufficientSpace;
  NvramItem item;
  item.type = type;
  item.ordinal = ordinal;
  item.ext = ext;
  item.attr = attr;
  item.item_length = item_length;
  image.items.push_back(std::move(item));
  index = static_cast<uint32_t>(image.items.size() - 1);
  return kDriverOk;
}

DriverError ModifyItem(NvramImage& image, uint32_t index, uint32_t offset, ByteView bytes) {
  if (!IsUsable(image, index)) return kDriverInvalidIndex;
  NvramItem& item = image.items[index];
  if (offset > item.item_length) return kDriverInvalidOffset;
  if (bytes.size() > item.item_length - offset) return kDriverInsufficientSpace;
  size_t end = offset + bytes.size();
  if (item.data.size() < end) item.data.resize(end, kErasedByte);
  std::copy(bytes.begin(), bytes.end(), item.data.begin() + offset);
  return kDriverOk;
}

uint64_t AllocatedBytes(const NvramImage& image) {
  uint64_t total = 0;
  for (const NvramItem& item : image.items) total += item.item_length;
  return total;
}

}  // namespace skyfw::sim
