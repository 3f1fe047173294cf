#include "platform/win32_types.h"

#include <cstdio>

#include "base/text.h"

namespace skyfw::platform {
namespace {

// Reads `digits` hexadecimal digits from text at pos.
bool ReadHex(std::string_view text, size_t& pos, int digits, uint64_t& value) {
  if (pos > text.size() || text.size() - pos < static_cast<size_t>(digits)) return false;
  value = 0;
  for (int i = 0; i < digits; ++i) {
    int digit = HexDigitValue(text[pos + i]);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  pos += digits;
  return true;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

constexpr Guid MakeGuid(uint32_t d1, uint16_t d2, uint16_t d3, std::array<uint8_t, 8> d4) {
  Guid guid;
  guid.data1 = d1;
  guid.data2 = d2;
  guid.data3 = d3;
  guid.data4 = d4;
  return guid;
}

}  // namespace

std::array<uint8_t, 16> Guid::ToBytes() const {
  std::array<uint8_t, 16> bytes{};
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) bytes[4 + i] = static_cast<uint8_t>(data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) bytes[6 + i] = static_cast<uint8_t>(data3 >> (8 * i));
  for (int i = 0; i < 8; ++i) bytes[8 + i] = data4[i];
  return bytes;
}

std::string Guid::ToString() const {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6],
                data4[7]);
  return text;
}

std::optional<Guid> Guid::Parse(std::string_view text) {
  bool braced = !text.empty() && text.front() == '{';
  if (braced) {
    if (text.size() < 2 || text.back() != '}') return std::nullopt;
    text = text.substr(1, text.size() - 2);
  }
  if (text.size() != 36) return std::nullopt;
  size_t pos = 0;
  uint64_t d1 = 0, d2 = 0, d3 = 0, d4a = 0, d4b = 0;
  if (!ReadHex(text, pos, 8, d1) || !Expect(text, pos, '-') || !ReadHex(text, pos, 4, d2) ||
      !Expect(text, pos, '-') || !ReadHex(text, pos, 4, d3) || !Expect(text, pos, '-') ||
      !ReadHex(text, pos, 4, d4a) || !Expect(text, pos, '-') || !ReadHex(text, pos, 12, d4b)) {
    return std::nullopt;
  }
  Guid guid;
  guid.data1 = static_cast<uint32_t>(d1);
  guid.data2 = static_cast<uint16_t>(d2);
  guid.data3 = static_cast<uint16_t>(d3);
  guid.data4[0] = static_cast<uint8_t>(d4a >> 8);
  guid.data4[1] = static_cast<uint8_t>(d4a);
  for (int i = 0; i < 6; ++i) guid.data4[2 + i] = static_cast<uint8_t>(d4b >> (8 * (5 - i)));
  return guid;
}

const Guid GUID_DEVCLASS_NET =
    MakeGuid(0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18});
const Guid GUID_BUS_TYPE_PCI =
    MakeGuid(0xC8EBDFB0, 0xB510, 0x11D0, {0x80, 0xE5, 0x00, 0xA0, 0xC9, 0x25, 0x42, 0xE3});
const Guid GUID_BUS_TYPE_PCMCIA =
    MakeGuid(0x09343630, 0xAF9F, 0x11D0, {0x92, 0xE9, 0x00, 0x00, 0xF8, 0x1E, 0x1B, 0x30});
const Guid GUID_BUS_TYPE_1394 =
    MakeGuid(0xF74E73EB, 0x9AC5, 0x45EB, {0xBE, 0x4D, 0x77, 0x2C, 0xC7, 0x1D, 0xDF, 0xB3});
const Guid GUID_BUS_TYPE_USB =
    MakeGuid(0x9D7DEBBC, 0xC85D, 0x11D1, {0x9E, 0xB4, 0x00, 0x60, 0x08, 0xC3, 0xA1, 0x9A});
const DevPropKey DEVPKEY_Device_DeviceDesc = {
    MakeGuid(0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}), 2};
const DevPropKey DEVPKEY_Device_InstanceId = {
    MakeGuid(0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}), 256};

}  // namespace skyfw::platform
