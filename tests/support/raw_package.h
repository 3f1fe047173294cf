// Hand-laid package bytes for reader and verifier tests, independent of
// WritePackage: every field can be set to anything, CRCs are recomputed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "integrity/crc32.h"
#include "package/package_format.h"
#include "base/byte_reader.h"
#include "support/temp_dir.h"

namespace skyfw::test {

using Bytes = std::vector<uint8_t>;

struct RawItem {
  uint8_t directive = 0;
  uint16_t type = 0x20;
  uint16_t ordinal = 0;
  uint16_t ext = 0;
  uint16_t attr = 0;
  Bytes data = {};
  int64_t item_length = -1;  // -1: the data length
};

// A package with the given raw property area and items, laid out as the
// writer does (entries of 64 + 24 bytes, data padded to 4, CRC at the end).
inline Bytes BuildRawPackage(const Bytes& properties, const std::vector<RawItem>& items) {
  Bytes out;
  ByteWriter writer(out);
  writer.PutU32(kPackageMagic);
  writer.PutU32(4);
  writer.PutU32(static_cast<uint32_t>(12 + properties.size()));
  writer.PutBytes(properties);
  writer.PutU32(kManifestMagic);
  writer.PutU32(20);
  writer.PutU32(static_cast<uint32_t>(items.size()));
  writer.PutU32(64);
  writer.PutU32(24);
  size_t data_at = out.size() + items.size() * 88;
  for (const RawItem& item : items) {
    writer.PutU8(item.directive);
    writer.PutZeros(63);
    writer.PutU16(item.type);
    writer.PutU16(item.ordinal);
    writer.PutU16(item.ext);
    writer.PutU16(item.attr);
    writer.PutU32(item.data.empty() ? 0 : static_cast<uint32_t>(data_at));
    writer.PutU32(
        static_cast<uint32_t>(item.item_length >= 0 ? item.item_length : item.data.size()));
    writer.PutU32(static_cast<uint32_t>(item.data.size()));
    writer.PutU32(Crc32(kCrc32Seed, item.data));
    data_at += (item.data.size() + 3) & ~size_t{3};
  }
  for (const RawItem& item : items) {
    writer.PutBytes(item.data);
    writer.PutZeros(((item.data.size() + 3) & ~size_t{3}) - item.data.size());
  }
  writer.PutU32(Crc32(kCrc32Seed, out));
  return out;
}

// Recomputes the package CRC after a test changed bytes.
inline void FixPackageCrc(Bytes& package) {
  ByteWriter(package).SetU32At(package.size() - 4,
                               Crc32(kCrc32Seed, ByteView(package).first(package.size() - 4)));
}

inline Bytes Property(uint8_t tag, const Bytes& value) {
  Bytes out{tag, static_cast<uint8_t>(value.size()), static_cast<uint8_t>(value.size() >> 8)};
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

inline Bytes TextValue(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A file in a directory of its own: test cases run as parallel processes, so
// a fixed name under the shared temporary folder would be written by several.
class TempFile {
 public:
  explicit TempFile(const std::string& name) : path_(directory_.File(name)) {}
  const std::string& path() const { return path_; }
  void Write(const Bytes& bytes) const {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }

 private:
  skyfw::testing::TempDir directory_;
  std::string path_;
};

}  // namespace skyfw::test
