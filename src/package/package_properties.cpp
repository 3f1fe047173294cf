// The property area of a package: lookups and in-memory edits.
#include <algorithm>
#include <cstring>
#include <vector>

#include "package/package_format.h"

namespace skyfw {

namespace {

inline constexpr size_t kPropertyHeadLength = 3;  // tag, 16-bit length
inline constexpr size_t kMaximumPropertyLength = 65535;

// The stream a property lookup searches within `bytes`, as (start, length).
void PropertyStream(ByteView bytes, size_t& start, size_t& length) {
  PackageHeader header;
  if (CheckPackageHeader(bytes, header) == NVCRETVAL_SUCCESS) {
    start = kPackageHeaderLength;
    length = header.header_length - kPackageHeaderLength;
  } else {
    start = 0;
    length = bytes.size();
  }
}

// First property `tag` in a stream: value length and offset within `stream`.
NvmStatus FindInStream(ByteView stream, uint8_t tag, size_t& value_offset) {
  NvmStatus found = NVCRETVAL_ITEM_NOT_FOUND;
  ForEachProperty(stream, [&](uint8_t seen, size_t offset, uint16_t length) {
    if (seen != tag) return true;
    value_offset = offset;
    found = length;
    return false;
  });
  return found;
}

// Offset of the end of the stream: the first tag byte 0 or the area's end
// (possibly beyond it, when the last property claims too much).
size_t StreamEnd(ByteView area) {
  ByteReader reader(area);
  size_t position = 0;
  uint8_t tag = 0;
  uint16_t length = 0;
  while (reader.U8At(position, tag) && tag != 0) {
    if (!reader.U16At(position + 1, length)) return area.size() + kPropertyHeadLength;
    position += kPropertyHeadLength + length;
  }
  return position;
}

// Writes a property at `end`, where the caller has made room for it.
NvmStatus AppendProperty(std::span<uint8_t> area, size_t end, uint8_t tag, ByteView value) {
  area[end] = tag;
  area[end + 1] = static_cast<uint8_t>(value.size());
  area[end + 2] = static_cast<uint8_t>(value.size() >> 8);
  std::copy(value.begin(), value.end(),
            area.begin() + static_cast<std::ptrdiff_t>(end + kPropertyHeadLength));
  return static_cast<NvmStatus>(value.size());
}

}  // namespace

void ForEachProperty(ByteView stream, const std::function<bool(uint8_t, size_t, uint16_t)>& visit) {
  ByteReader reader(stream);
  size_t position = 0;
  while (position < stream.size()) {
    uint8_t tag = 0;
    uint16_t length = 0;
    reader.U8At(position, tag);
    if (tag == 0 || !reader.U16At(position + 1, length)) return;
    const size_t value_offset = position + kPropertyHeadLength;
    if (!visit(tag, value_offset, length)) return;
    position = value_offset + length;
  }
}

NvmStatus GetPropertyAreaLength(ByteView package) {
  PackageHeader header;
  NvmStatus status = CheckPackageHeader(package, header);
  if (status != NVCRETVAL_SUCCESS) return status;
  return static_cast<NvmStatus>(header.header_length - kPackageHeaderLength);
}

NvmStatus FindProperty(ByteView bytes, uint8_t tag, size_t& value_offset) {
  size_t start = 0;
  size_t length = 0;
  PropertyStream(bytes, start, length);
  size_t offset_in_stream = 0;
  NvmStatus status = FindInStream(bytes.subspan(start, length), tag, offset_in_stream);
  if (status >= 0) value_offset = start + offset_in_stream;
  return status;
}

NvmStatus GetProperty(ByteView bytes, uint8_t tag, std::span<uint8_t> destination) {
  size_t value_offset = 0;
  NvmStatus length = FindProperty(bytes, tag, value_offset);
  if (length < 0) return length;
  ByteView value;
  if (!ByteReader(bytes).ViewAt(value_offset, static_cast<size_t>(length), value)) {
    return NVCRETVAL_INVALID_PROP_LENGTH;
  }
  std::fill(destination.begin(), destination.end(), uint8_t{0});
  const size_t copied = std::min(destination.size(), value.size());
  if (copied != 0) std::memcpy(destination.data(), value.data(), copied);
  return length;
}

bool GetPropertyView(ByteView bytes, uint8_t tag, ByteView& value) {
  size_t value_offset = 0;
  NvmStatus length = FindProperty(bytes, tag, value_offset);
  return length >= 0 && ByteReader(bytes).ViewAt(value_offset, static_cast<size_t>(length), value);
}

NvmStatus SetProperty(std::span<uint8_t> area, uint8_t tag, ByteView value) {
  if (value.size() > kMaximumPropertyLength) return NVCRETVAL_INVALID_PROP_LENGTH;
  size_t value_offset = 0;
  NvmStatus found = FindInStream(area, tag, value_offset);
  if (found < 0 && found != NVCRETVAL_ITEM_NOT_FOUND) return found;

  const size_t end = StreamEnd(area);
  const size_t needed = kPropertyHeadLength + value.size();
  if (found >= 0) {
    const size_t old_length = static_cast<size_t>(found);
    // The old value must lie inside the area before anything is moved or zeroed.
    if (!RangeFits(area.size(), value_offset, old_length)) return NVCRETVAL_INVALID_PROP_STREAM;
    if (old_length >= value.size()) {
      std::fill_n(area.begin() + static_cast<std::ptrdiff_t>(value_offset), old_length, 0);
      std::copy(value.begin(), value.end(),
                area.begin() + static_cast<std::ptrdiff_t>(value_offset));
      return found;
    }
    // Too short: take it out and add the property again at the end, but only
    // when the new one fits, so that a refusal leaves the area as it was.
    const size_t head = value_offset - kPropertyHeadLength;
    const size_t removed = kPropertyHeadLength + old_length;
    if (end > area.size() || area.size() - end + removed < needed) {
      return NVCRETVAL_INSUFFICIENT_SPACE;
    }
    // Iterators, not subscripts: the removed property may end at the area's end.
    std::copy(area.begin() + static_cast<std::ptrdiff_t>(head + removed), area.end(),
              area.begin() + static_cast<std::ptrdiff_t>(head));
    std::fill(area.end() - static_cast<std::ptrdiff_t>(removed), area.end(), uint8_t{0});
    return AppendProperty(area, end - removed, tag, value);
  }
  if (end > area.size() || area.size() - end < needed) return NVCRETVAL_INSUFFICIENT_SPACE;
  return AppendProperty(area, end, tag, value);
}

NvmStatus SetStringProperty(std::span<uint8_t> area, uint8_t tag, std::string_view text,
                            size_t length) {
  if (length > kMaximumPropertyLength) return NVCRETVAL_INVALID_PROP_LENGTH;
  std::vector<uint8_t> scratch;
  try {
    scratch.assign(length, 0);
  } catch (const std::bad_alloc&) {
    return NVCRETVAL_MALLOC_FAILURE;
  }
  // Copy up to the first zero byte, zeros behind.
  const size_t text_length = std::min(text.size(), length);
  for (size_t i = 0; i < text_length && text[i] != '\0'; ++i) {
    scratch[i] = static_cast<uint8_t>(text[i]);
  }
  return SetProperty(area, tag, scratch);
}

}  // namespace skyfw
