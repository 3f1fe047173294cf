// Bounds-checked little-endian access to untrusted bytes.
//
// Every package file, VPD image, driver output and request block is read
// through ByteReader and written through ByteWriter. A read of n bytes at
// offset is refused unless n <= size and offset <= size - n (the subtraction
// cannot overflow); the cursor only advances through checked reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace skyfw {

using ByteView = std::span<const uint8_t>;

inline bool RangeFits(size_t size, size_t offset, size_t length) {
  return length <= size && offset <= size - length;
}

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(ByteView bytes) : bytes_(bytes) {}

  size_t size() const { return bytes_.size(); }
  size_t offset() const { return offset_; }
  size_t remaining() const { return bytes_.size() - offset_; }
  ByteView bytes() const { return bytes_; }

  bool Seek(size_t offset) {
    if (offset > bytes_.size()) return false;
    offset_ = offset;
    return true;
  }
  bool Skip(size_t length) {
    if (!RangeFits(bytes_.size(), offset_, length)) return false;
    offset_ += length;
    return true;
  }

  // Absolute reads; the cursor does not move.
  bool ViewAt(size_t offset, size_t length, ByteView& out) const {
    if (!RangeFits(bytes_.size(), offset, length)) return false;
    out = bytes_.subspan(offset, length);
    return true;
  }
  bool U8At(size_t offset, uint8_t& out) const { return LoadAt(offset, out); }
  bool U16At(size_t offset, uint16_t& out) const { return LoadAt(offset, out); }
  bool U32At(size_t offset, uint32_t& out) const { return LoadAt(offset, out); }
  bool U64At(size_t offset, uint64_t& out) const { return LoadAt(offset, out); }

  // Sequential reads from the cursor; on failure the cursor stays put.
  bool ReadView(size_t length, ByteView& out) {
    if (!ViewAt(offset_, length, out)) return false;
    offset_ += length;
    return true;
  }
  bool ReadU8(uint8_t& out) { return ReadScalar(out); }
  bool ReadU16(uint16_t& out) { return ReadScalar(out); }
  bool ReadU32(uint32_t& out) { return ReadScalar(out); }
  bool ReadU64(uint64_t& out) { return ReadScalar(out); }
  bool ReadBytes(void* destination, size_t length) {
    ByteView view;
    if (!ReadView(length, view)) return false;
    if (length != 0) std::memcpy(destination, view.data(), length);
    return true;
  }
  // Text of a fixed-size field, up to its first zero byte.
  bool ReadFixedText(size_t length, std::string& out) {
    ByteView view;
    if (!ReadView(length, view)) return false;
    // A new string moved in, not assigned over the old one: g++ 12 at -O3
    // warns falsely (-Wrestrict) on the overlap check of string::assign.
    out = std::string(TextUpToZero(reinterpret_cast<const char*>(view.data()), view.size()));
    return true;
  }

 private:
  template <typename T>
  bool LoadAt(size_t offset, T& out) const {
    if (!RangeFits(bytes_.size(), offset, sizeof(T))) return false;
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      value |= static_cast<T>(static_cast<T>(bytes_[offset + i]) << (8 * i));
    }
    out = value;
    return true;
  }
  template <typename T>
  bool ReadScalar(T& out) {
    if (!LoadAt(offset_, out)) return false;
    offset_ += sizeof(T);
    return true;
  }

  ByteView bytes_;
  size_t offset_ = 0;
};

// Little-endian writer. Appending grows the vector; the *At forms overwrite
// bytes already there and refuse to write past the end.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  size_t size() const { return out_.size(); }

  void PutU8(uint8_t value) { Append(value); }
  void PutU16(uint16_t value) { Append(value); }
  void PutU32(uint32_t value) { Append(value); }
  void PutU64(uint64_t value) { Append(value); }
  void PutBytes(ByteView bytes) { PutRaw(bytes.data(), bytes.size()); }
  void PutText(std::string_view text) { PutRaw(text.data(), text.size()); }
  void PutZeros(size_t count) { Extend(count); }
  // Text in a fixed-size field: cut to the field, zero-filled behind.
  void PutFixedText(std::string_view text, size_t length) {
    size_t used = text.size() < length ? text.size() : length;
    PutRaw(text.data(), used);
    PutZeros(length - used);
  }

  bool SetU8At(size_t offset, uint8_t value) { return StoreAt(offset, value); }
  bool SetU16At(size_t offset, uint16_t value) { return StoreAt(offset, value); }
  bool SetU32At(size_t offset, uint32_t value) { return StoreAt(offset, value); }
  bool SetU64At(size_t offset, uint64_t value) { return StoreAt(offset, value); }
  bool SetBytesAt(size_t offset, ByteView bytes) {
    if (!RangeFits(out_.size(), offset, bytes.size())) return false;
    if (!bytes.empty()) std::memcpy(out_.data() + offset, bytes.data(), bytes.size());
    return true;
  }

 private:
  template <typename T>
  void Append(T value) {
    uint8_t* at = Extend(sizeof(T));
    for (size_t i = 0; i < sizeof(T); ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
  }
  void PutRaw(const void* data, size_t count) {
    if (count != 0) std::memcpy(Extend(count), data, count);
  }
  // Grows the output by count zero bytes and returns where they start. Kept
  // out of line: inlined into a writer over a fresh vector, GCC 12's
  // object-size checks take the empty vector's storage for the destination
  // and report false overflows at -O3.
  [[gnu::noinline]] uint8_t* Extend(size_t count) {
    size_t at = out_.size();
    out_.resize(at + count);
    return out_.data() + at;
  }
  template <typename T>
  bool StoreAt(size_t offset, T value) {
    if (!RangeFits(out_.size(), offset, sizeof(T))) return false;
    for (size_t i = 0; i < sizeof(T); ++i) {
      out_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return true;
  }

  std::vector<uint8_t>& out_;
};

// Stores into a caller's fixed buffer (a host array element, a request block).
inline bool StoreU32(std::span<uint8_t> bytes, size_t offset, uint32_t value) {
  if (!RangeFits(bytes.size(), offset, 4)) return false;
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  return true;
}

}  // namespace skyfw
