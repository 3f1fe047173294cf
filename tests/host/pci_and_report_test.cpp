// Device selection by PCI numbers, the inventory's texts and the adapter
// report's binary element.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/adapter_report.h"
#include "host/inventory.h"
#include "host/library_state.h"
#include "host/request_frames.h"
#include "os/file_names.h"

namespace skyfw {
namespace {

DeviceRecord Record(uint32_t segment, uint32_t bus, uint32_t device, const char16_t* mac) {
  DeviceRecord record;
  record.segment = segment;
  record.bus = bus;
  record.device = device;
  record.vendorId = 0x1D6A;
  record.deviceId = 0x0B10;
  record.subVendorId = 0x1D6A;
  record.subDeviceId = 0x0001;
  record.macText = mac;
  record.productName = u"Norvane Skyline S2";
  record.pciLocation = FormatPciLocation(segment, bus, device, 0);
  // The package path as the firmware listing joins it: the platform's separator.
  const std::string sep(1, platform::kPathSeparator);
  record.firmwareItems.push_back(
      {"nvm", sep + "fw" + sep + "s2.pkg", "21.8.0", "VA 21.6.2", "upgrade"});
  return record;
}

class PciTest : public ::testing::Test {
 protected:
  void SetUp() override { Library() = LibraryState{}; }
  void TearDown() override { Library() = LibraryState{}; }
};

TEST_F(PciTest, Texts) {
  EXPECT_EQ(FormatPciLocation(0, 0x3B, 0, 0), "0000:3b:00:0");
  EXPECT_EQ(FormatPciLocation(0x10000, 0x13B, 0x1F, 0xA), "10000:13b:1f:a");
  const uint8_t bytes[8] = {0x01, 0x0A, 0x00, 0xFF, 0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(FormatNvmOptionKey(bytes), "1a0ff10203040");
}

TEST_F(PciTest, SelectionMatchesTheBusUpperBitsAsSegment) {
  Library().inventory = {Record(0, 0x3B, 0, u"A"), Record(7, 0x13B, 0, u"B"),
                         Record(5, 0x13B, 0, u"C")};
  struct Case {
    int32_t segment, bus;
    const char16_t* expected;  // nullptr: no match
  };
  const Case cases[] = {
      {0, 0x3B, u"A"},    {0, 0x13B, nullptr},  // bus value above 255 needs segment 1
      {1, 0x13B, u"B"},                         // the first of two with the same numbers
      {1, 0x3B, nullptr}, {7, 0x13B, nullptr},  // the record's own segment takes no part
  };
  for (const Case& c : cases) {
    DeviceRecord* record = SelectDeviceByPci(c.segment, c.bus, 0, 0);
    if (c.expected == nullptr) {
      EXPECT_EQ(record, nullptr) << c.segment << ":" << c.bus;
    } else {
      ASSERT_NE(record, nullptr) << c.segment << ":" << c.bus;
      EXPECT_EQ(record->macText, c.expected);
    }
  }
  EXPECT_EQ(SelectDeviceByPci(0, 0x3B, 1, 0), nullptr);
  EXPECT_EQ(SelectDeviceByPci(0, 0x3B, 0, 1), nullptr);
}

uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

std::u16string Wide(const std::vector<uint8_t>& bytes, size_t offset, size_t units) {
  std::u16string text;
  for (size_t i = 0; i < units; ++i) {
    char16_t unit = static_cast<char16_t>(bytes[offset + 2 * i] | bytes[offset + 2 * i + 1] << 8);
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

TEST_F(PciTest, ReportElementsAtTheirOffsets) {
  constexpr size_t kElement = 54432;
  // Two elements and a guard element after them, all filled with 0xEE so
  // that bytes no step writes can be told apart.
  std::vector<uint8_t> bytes(3 * kElement, 0xEE);
  auto* array = reinterpret_cast<OemAdapterInfoElement*>(bytes.data());
  std::vector<uint8_t> untouched = bytes;

  FillAdapterReport(Record(0, 0x3B, 0, u"020A3B1C2D4E"), 0, array);
  FillAdapterReport(Record(0, 0x13B, 2, u"020A3B556010"), 1, array);

  EXPECT_EQ(Wide(bytes, 0x0000, 1024), u"Norvane Skyline S2");
  EXPECT_EQ(Wide(bytes, 0x0800, 256), u"0000:3b:00:0");
  EXPECT_EQ(U32(bytes, 0x0A00), 0x1D6Au);
  EXPECT_EQ(U32(bytes, 0x0A04), 0x0B10u);
  EXPECT_EQ(U32(bytes, 0x0A0C), 0x0001u);
  EXPECT_EQ(Wide(bytes, 0x0A20, 16), u"00000000");
  EXPECT_EQ(Wide(bytes, 0x0A40, 20), u"020A3B1C2D4E");
  EXPECT_EQ(U32(bytes, 0x0A68), 1u);
  EXPECT_EQ(Wide(bytes, 0x0A6C, 256), u"nvm");
  EXPECT_EQ(Wide(bytes, 0x0A6C + 0x200, 1024), u"s2.pkg");
  EXPECT_EQ(U32(bytes, 0x0A6C + 0xA00), 21u);
  EXPECT_EQ(U32(bytes, 0x0A6C + 0xA04), 6u);
  EXPECT_EQ(U32(bytes, 0x0A6C + 0xA08), 2u);
  EXPECT_EQ(U32(bytes, 0x0A6C + 0xA0C), 21u);
  EXPECT_EQ(U32(bytes, 0x0A6C + 0xA10), 8u);
  EXPECT_EQ(U32(bytes, 0x0A6C + 0xA14), 0u);

  // Element 1 starts at 54432: segment 1 from bus 0x13B.
  EXPECT_EQ(Wide(bytes, kElement + 0x0800, 256), u"0000:13b:02:0");
  EXPECT_EQ(U32(bytes, kElement + 0x0A10), 1u);
  EXPECT_EQ(U32(bytes, kElement + 0x0A14), 0x13Bu);
  EXPECT_EQ(U32(bytes, kElement + 0x0A18), 2u);

  // Never written: the words after each firmware entry and the element's
  // last word; nothing past element 1.
  EXPECT_EQ(U32(bytes, 0x0A6C + 0xA18), 0xEEEEEEEEu);
  EXPECT_EQ(U32(bytes, 0xD49C), 0xEEEEEEEEu);
  EXPECT_EQ(U32(bytes, 0x0A6C + 0xA1C), 0xEEEEEEEEu);  // firmware entry 1
  EXPECT_TRUE(
      std::equal(bytes.begin() + 2 * kElement, bytes.end(), untouched.begin() + 2 * kElement));
}

TEST_F(PciTest, ReportNeverWritesPastTwentyFirmwareEntries) {
  DeviceRecord record = Record(0, 3, 0, u"M");
  record.firmwareItems.assign(25, record.firmwareItems[0]);
  std::vector<uint8_t> bytes(2 * sizeof(OemAdapterInfoElement), 0xEE);
  FillAdapterReport(record, 0, reinterpret_cast<OemAdapterInfoElement*>(bytes.data()));
  EXPECT_EQ(U32(bytes, 0x0A68), 20u);
  EXPECT_TRUE(std::all_of(bytes.begin() + sizeof(OemAdapterInfoElement), bytes.end(),
                          [](uint8_t b) { return b == 0xEE; }));
}

}  // namespace
}  // namespace skyfw
