// The NVM operations against the scripted driver: every status path and the
// shape of the calls they make.
#include "nvm/nvm_operations.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <numeric>

#include "nvm/chip_registers.h"
#include "package/package_format.h"
#include "support/fake_wmi_driver.h"

namespace skyfw {
namespace {

using platform::Variant;
using testing::FakeItem;

constexpr std::string_view kAdapter = "Skyline S2 #1";

class NvmOperationsTest : public ::testing::Test {
 protected:
  testing::FakeDriverState& driver() { return platform_.driver(); }

  FakeItem& AddItem(uint16_t type, uint32_t item_length, std::vector<uint8_t> data = {},
                    uint16_t ordinal = 0, uint16_t ext = 0, uint16_t attr = 0) {
    driver().items.push_back({type, ordinal, ext, attr, item_length, std::move(data)});
    return driver().items.back();
  }

  testing::FakeWmiPlatform platform_;
};

// ---- status mapping ----------------------------------------------------------

struct Operation {
  const char* name;
  std::u16string method;
  std::u16string output;  // one output the operation reads; empty when none
  std::u16string input;   // one 32-bit input the operation puts; empty when none
  std::function<int32_t()> run;
};

std::vector<Operation> Operations() {
  static std::vector<uint8_t> buffer(64);
  return {
      {"GetItem", u"Read", u"buffer", u"dir_index",
       [] { return velonvmGetItem(kAdapter, 0, 0, buffer); }},
      {"CreateItem", u"Create", u"dir_index", u"dir_item_length",
       [] { return velonvmCreateItem(kAdapter, 7, 0, 0, 0, 128); }},
      {"ReadRegister", u"ReadReg32", u"value", u"offset",
       [] {
         uint32_t value = 0;
         return velonvmReadRegister(kAdapter, kBaseAddressRegister, value);
       }},
      {"GetOption", u"GetNvmOpt", u"out_buff", u"",
       [] {
         NvmOptionRequest request{1, 64, 1, 0, 0, 0, 0, buffer};
         return velonvmGetOption(kAdapter, request);
       }},
      {"GetDirectory", u"GetDirectoryInfo", u"num_dir_entries", u"",
       [] {
         uint32_t count = 0, length = 0;
         return velonvmGetDirectory(kAdapter, count, length, buffer);
       }},
      {"InstallUpdate", u"InstallUpdate", u"installed_items_1", u"install_type",
       [] {
         const uint8_t package[16] = {};
         return velonvmInstallUpdate(kAdapter, package, nullptr, nullptr, 0);
       }},
      {"ModifyItem", u"Modify", u"", u"offset",
       [] {
         const uint8_t data[4] = {1, 2, 3, 4};
         return velonvmModifyItem(kAdapter, 0, data);
       }},
  };
}

TEST(NvmOperationsTableTest, EveryOperationMapsTransportAndDriverFailures) {
  struct Scenario {
    const char* name;
    std::function<void(testing::FakeDriverState&, const Operation&)> arrange;
    int32_t expected;  // 1: the operation's own success result
    bool method_invoked;
  };
  const Scenario scenarios[] = {
      {"success", [](auto&, auto&) {}, 1, true},
      {"namespace unreachable", [](auto& d, auto&) { d.namespace_reachable = false; },
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE, false},
      {"thread in a single-threaded apartment", [](auto& d, auto&) { d.sta_thread = true; },
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE, false},
      {"input refused",
       [](auto& d, const Operation& op) {
         if (!op.input.empty()) d.refused_vts[op.input] = {platform::VT_I4};
       },
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE, false},
      {"method fails with driver error 28",
       [](auto& d, const Operation& op) { d.failing[op.method] = 28; },
       NVCRETVAL_INVALID_DATA_LENGTH, true},
      {"method fails naming no error",
       [](auto& d, const Operation& op) { d.failing[op.method] = 0; },
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE, true},
      {"method fails and the last-error query fails too",
       [](auto& d, const Operation& op) {
         d.failing[op.method] = 28;
         d.failing[u"GetNvmLastError"] = 28;
       },
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE, true},
      {"output missing",
       [](auto& d, const Operation& op) {
         if (!op.output.empty()) d.outputs[op.method][op.output] = std::nullopt;
       },
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE, true},
      {"output mistyped",
       [](auto& d, const Operation& op) {
         // Only GetUInt32 accepts any type; the others refuse a text.
         if (!op.output.empty()) d.outputs[op.method][op.output] = Variant::Bstr(u"x");
       },
       NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE, true},
  };
  for (const Operation& op : Operations()) {
    for (const Scenario& scenario : scenarios) {
      SCOPED_TRACE(std::string(op.name) + ": " + scenario.name);
      testing::FakeWmiPlatform platform;
      testing::FakeDriverState& d = platform.driver();
      d.items.push_back({kUpdateAreaItemType, 0, 0, 0, 4096, std::vector<uint8_t>(64, 0xA5)});
      d.option_value.assign(8, 0x11);
      d.installed_0 = 1;
      scenario.arrange(d, op);
      bool skip = (std::string(scenario.name) == "input refused" && op.input.empty()) ||
                  (std::string(scenario.name).rfind("output", 0) == 0 && op.output.empty());
      // GetUInt32 reads the value field of any type: a text delivers 0.
      bool reads_any_type = op.output == u"dir_index" || op.output == u"value" ||
                            op.output == u"num_dir_entries" || op.output == u"installed_items_1";
      if (skip || (std::string(scenario.name) == "output mistyped" && reads_any_type)) continue;

      int32_t result = op.run();
      if (scenario.expected == 1) {
        EXPECT_GE(result, 0);
      } else {
        EXPECT_EQ(result, scenario.expected);
      }
      EXPECT_EQ(d.CallsOf(op.method).empty(), !scenario.method_invoked);
      EXPECT_EQ(d.co_initialized, 0);
    }
  }
}

TEST_F(NvmOperationsTest, LastErrorIsTheNegatedLow16BitsOfTheDriverCode) {
  driver().outputs[u"GetNvmLastError"][u"ErrorCode"] = Variant::I4(65577);
  EXPECT_EQ(velonvmGetLastError(kAdapter), -41);
  driver().outputs[u"GetNvmLastError"][u"ErrorCode"] = Variant::I4(0);
  EXPECT_EQ(velonvmGetLastError(kAdapter), 0);
  driver().outputs[u"GetNvmLastError"][u"ErrorCode"] = Variant::UI2(80);  // mistyped
  EXPECT_EQ(velonvmGetLastError(kAdapter), NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
}

// ---- directory ---------------------------------------------------------------

TEST(NvmOperationsTableTest, FindDirEntryOverDirectoriesOfEverySize) {
  struct Case {
    const char* what;
    uint32_t entries;
    int32_t expected;
  };
  const Case cases[] = {
      {"empty directory", 0, NVCRETVAL_ITEM_NOT_FOUND},
      {"100 entries, match last", 100, 99},
      {"101 entries: refused before searching", 101, NVCRETVAL_INSUFFICIENT_SPACE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeWmiPlatform platform;
    for (uint32_t i = 0; i < c.entries; ++i) {
      platform.driver().items.push_back({static_cast<uint16_t>(100 + i), 0, 0, 0, 16, {}});
    }
    NvmDirEntry entry;
    entry.dir_type = 0xBEEF;
    EXPECT_EQ(
        velonvmFindDirEntry(kAdapter, static_cast<uint16_t>(100 + c.entries - 1), 0, 0, &entry),
        c.expected);
    if (c.expected < 0) {
      EXPECT_EQ(entry.dir_type, 0);  // zeroed on every path
    }
  }
}

TEST_F(NvmOperationsTest, FindDirEntryTakesTheLowerOfTwoDuplicatesAndMatchesEmptyEntries) {
  AddItem(9, 16, {}, 0, 0);
  AddItem(0, 0);  // an empty entry takes part like any other
  AddItem(5, 32, {1}, 1, 2, 0x10);
  AddItem(5, 64, {2}, 1, 2);
  NvmDirEntry entry;
  EXPECT_EQ(velonvmFindDirEntry(kAdapter, 5, 1, 2, &entry), 2);
  EXPECT_EQ(entry.dir_item_length, 32u);
  EXPECT_EQ(entry.dir_attr, 0x10);
  EXPECT_EQ(entry.dir_data_length, 1u);
  EXPECT_EQ(velonvmFindDirEntry(kAdapter, 0, 0, 0, nullptr), 1);
  EXPECT_EQ(velonvmFindDirEntry(kAdapter, 5, 2, 1, nullptr), NVCRETVAL_ITEM_NOT_FOUND);
}

TEST_F(NvmOperationsTest, EntryLengthBelow24IsRefusedEvenWithoutEntries) {
  driver().entry_length = 23;
  uint32_t count = 7;
  EXPECT_EQ(velonvmListDirectory(kAdapter, count, {}), NVCRETVAL_INVALID_LENGTH_PARAMETER);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(velonvmFindDirEntry(kAdapter, 1, 0, 0, nullptr), NVCRETVAL_INVALID_LENGTH_PARAMETER);
}

TEST_F(NvmOperationsTest, ListDirectoryKeepsTheCountWhenTheArrayIsTooSmall) {
  for (uint16_t t = 1; t <= 5; ++t) AddItem(t, 16);
  std::vector<NvmDirEntry> entries(4);
  uint32_t count = 0;
  EXPECT_EQ(velonvmListDirectory(kAdapter, count, entries), NVCRETVAL_INSUFFICIENT_SPACE);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(velonvmListDirectory(kAdapter, count, {}), NVCRETVAL_SUCCESS);  // count only
  EXPECT_EQ(count, 5u);
}

// 80 entries of 64 bytes are 5120 bytes of raw directory: more than the first
// 4096-byte fetch holds. Entries 64..79 must come from a second, whole fetch,
// never from past the end of the first buffer.
TEST_F(NvmOperationsTest, ListDirectoryFetchesALargeDirectoryWhole) {
  driver().entry_length = 64;
  for (uint16_t t = 1; t <= 80; ++t) AddItem(t, t * 16u);
  std::vector<NvmDirEntry> entries(100);
  uint32_t count = 0;
  ASSERT_EQ(velonvmListDirectory(kAdapter, count, entries), NVCRETVAL_SUCCESS);
  ASSERT_EQ(count, 80u);
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(entries[i].dir_type, i + 1);
    EXPECT_EQ(entries[i].dir_item_length, (i + 1) * 16);
  }
  auto fetches = driver().CallsOf(u"GetDirectoryEntries");
  ASSERT_EQ(fetches.size(), 2u);
  EXPECT_EQ(fetches[0].U32(u"length"), 4096u);
  EXPECT_EQ(fetches[1].U32(u"length"), 5120u);
  EXPECT_EQ(velonvmFindDirEntry(kAdapter, 80, 0, 0, nullptr), 79);
}

TEST_F(NvmOperationsTest, ListDirectoryRefusesADriverClaimingAHugeDirectory) {
  AddItem(1, 16);
  driver().entry_length = 0x10000000;  // 256 MiB per entry
  uint32_t count = 0;
  std::vector<NvmDirEntry> entries(100);
  EXPECT_EQ(velonvmListDirectory(kAdapter, count, entries), NVCRETVAL_INSUFFICIENT_SPACE);
}

// ---- items -------------------------------------------------------------------

TEST_F(NvmOperationsTest, GetItemAsksOnceAndLeavesTheRestOfAShortAnswer) {
  AddItem(3, 16, {1, 2, 3});
  std::vector<uint8_t> buffer(6, 0xEE);
  ASSERT_EQ(velonvmGetItem(kAdapter, 0, 0, buffer), NVCRETVAL_SUCCESS);
  EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 3, 0xEE, 0xEE, 0xEE}));
  auto reads = driver().CallsOf(u"Read");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].U32(u"length"), 6u);
}

TEST_F(NvmOperationsTest, ReadItemReturnsTheDataLength) {
  AddItem(5, 64, {1, 2, 3, 4, 5});
  std::vector<uint8_t> buffer(5);
  NvmDirEntry entry;
  EXPECT_EQ(velonvmReadItem(kAdapter, 5, 0, 0, buffer, &entry), 5);
  EXPECT_EQ(buffer[4], 5);
  EXPECT_EQ(entry.dir_item_length, 64u);
  std::vector<uint8_t> small(4);
  EXPECT_EQ(velonvmReadItem(kAdapter, 5, 0, 0, small, nullptr), NVCRETVAL_INSUFFICIENT_SPACE);
  EXPECT_EQ(velonvmReadItem(kAdapter, 6, 0, 0, small, nullptr), NVCRETVAL_ITEM_NOT_FOUND);
}

TEST(NvmOperationsTableTest, ModifyItemCutsWritesAt65536Bytes) {
  struct Case {
    size_t length;
    std::vector<std::pair<uint32_t, uint32_t>> calls;  // offset, length
  };
  const Case cases[] = {
      {0, {}},
      {65536, {{0, 65536}}},
      {65537, {{0, 65536}, {65536, 1}}},
      {200000, {{0, 65536}, {65536, 65536}, {131072, 65536}, {196608, 3392}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    testing::FakeWmiPlatform platform;
    platform.driver().items.push_back({7, 0, 0, 0, 1u << 20, {}});
    std::vector<uint8_t> data(c.length);
    std::iota(data.begin(), data.end(), uint8_t{0});
    ASSERT_EQ(velonvmModifyItem(kAdapter, 0, data), NVCRETVAL_SUCCESS);
    auto calls = platform.driver().CallsOf(u"Modify");
    ASSERT_EQ(calls.size(), c.calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].U32(u"offset"), c.calls[i].first);
      EXPECT_EQ(calls[i].U32(u"length"), c.calls[i].second);
      EXPECT_EQ(calls[i].inputs.at(u"buffer").bytes.size(), c.calls[i].second);
    }
    EXPECT_EQ(platform.driver().items[0].data, data);
  }
}

TEST_F(NvmOperationsTest, ModifyItemStopsAtAFailedChunkKeepingTheOnesBefore) {
  AddItem(7, 1u << 20);
  std::vector<uint8_t> data(3 * 65536, 0x5A);
  driver().failing[u"Modify"] = 4;
  driver().failing_after[u"Modify"] = 1;
  EXPECT_EQ(velonvmModifyItem(kAdapter, 0, data), NVCRETVAL_INSUFFICIENT_SPACE);
  EXPECT_EQ(driver().CallsOf(u"Modify").size(), 2u);  // the third chunk is never sent
  EXPECT_EQ(driver().items[0].data.size(), 65536u);
}

TEST_F(NvmOperationsTest, WriteItemModifiesAnExistingItemOrCreatesAMissingOne) {
  AddItem(5, 8, {9, 9});
  const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  // Existing: written as it is, its size not compared with the data.
  ASSERT_EQ(velonvmWriteItem(kAdapter, 5, 0, 0, 0, data), NVCRETVAL_SUCCESS);
  EXPECT_TRUE(driver().CallsOf(u"Create").empty());
  EXPECT_EQ(driver().items[0].data.size(), 12u);

  ASSERT_EQ(velonvmWriteItem(kAdapter, 9, 1, 2, 0x40, data), NVCRETVAL_SUCCESS);
  auto creates = driver().CallsOf(u"Create");
  ASSERT_EQ(creates.size(), 1u);
  EXPECT_EQ(creates[0].U32(u"dir_type"), 9u);
  EXPECT_EQ(creates[0].U32(u"dir_ordinal"), 1u);
  EXPECT_EQ(creates[0].U32(u"dir_ext"), 2u);
  EXPECT_EQ(creates[0].U32(u"dir_attr"), 0x40u);
  EXPECT_EQ(creates[0].U32(u"dir_item_length"), 12u);
  EXPECT_EQ(driver().CallsOf(u"Modify").back().U32(u"dir_index"), 1u);

  driver().failing[u"GetDirectoryInfo"] = 9;
  EXPECT_EQ(velonvmWriteItem(kAdapter, 9, 1, 2, 0, data), NVCRETVAL_INVALID_LENGTH);
}

TEST_F(NvmOperationsTest, CreateItemRefusesAnIndexNoWriteCouldAddress) {
  driver().outputs[u"Create"][u"dir_index"] = Variant::I4(0x10000);
  EXPECT_EQ(velonvmCreateItem(kAdapter, 1, 0, 0, 0, 16), NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
}

// ---- installation ------------------------------------------------------------

std::vector<uint8_t> Package(size_t length, uint32_t declared_update_area) {
  // A package whose manifest holds one entry: type 2, 0, 0 with the given
  // item length. The rest is filler; only the manifest is read.
  std::vector<uint8_t> bytes;
  ByteWriter writer(bytes);
  writer.PutU32(kPackageMagic);
  writer.PutU32(kPackageTrailerLength);
  writer.PutU32(kPackageHeaderLength);
  writer.PutU32(kManifestMagic);
  writer.PutU32(kManifestHeaderLength);
  writer.PutU32(1);
  writer.PutU32(kDescriptorLength);
  writer.PutU32(kIdentityLength);
  writer.PutZeros(kDescriptorLength);
  writer.PutU16(kUpdateAreaItemType);
  writer.PutU16(0);
  writer.PutU16(0);
  writer.PutU16(0);
  writer.PutU32(0);
  writer.PutU32(declared_update_area);
  writer.PutU32(0);
  writer.PutU32(0);
  bytes.resize(length, 0);
  return bytes;
}

TEST(NvmOperationsTableTest, InstallPackageSizesTheUpdateArea) {
  struct Case {
    const char* what;
    std::optional<uint32_t> existing_area;
    uint32_t declared;
    std::optional<uint32_t> created;
  };
  const Case cases[] = {
      {"no area: rounded up to 4096", std::nullopt, 0, 8192},
      {"no area: the package's own entry is larger", std::nullopt, 20000, 20000},
      {"no area: the package's own entry is smaller", std::nullopt, 100, 8192},
      {"area large enough", 5000, 0, std::nullopt},
      {"area too small", 4096, 0, 8192},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeWmiPlatform platform;
    if (c.existing_area) platform.driver().items.push_back({2, 0, 0, 1, *c.existing_area, {}});
    platform.driver().installed_0 = 1;
    std::vector<uint8_t> package = Package(5000, c.declared);
    EXPECT_EQ(velonvmInstallPackage(kAdapter, package, nullptr, nullptr, 0), 1);
    auto creates = platform.driver().CallsOf(u"Create");
    if (!c.created) {
      EXPECT_TRUE(creates.empty());
      continue;
    }
    ASSERT_GE(creates.size(), 1u);
    EXPECT_EQ(creates[0].U32(u"dir_type"), 2u);
    EXPECT_EQ(creates[0].U32(u"dir_attr"), 1u);
    EXPECT_EQ(creates[0].U32(u"dir_item_length"), *c.created);
  }
}

TEST_F(NvmOperationsTest, InstallPackageStopsAtALookupOrCreateFailure) {
  int32_t problem = 5;
  driver().failing[u"GetDirectoryInfo"] = 1;
  EXPECT_EQ(velonvmInstallPackage(kAdapter, Package(64, 0), &problem, nullptr, 0),
            NVCRETVAL_FAILURE);
  EXPECT_EQ(problem, -1);
  driver().failing.clear();
  driver().failing[u"Create"] = 4;
  EXPECT_EQ(velonvmInstallPackage(kAdapter, Package(64, 0), &problem, nullptr, 0),
            NVCRETVAL_INSUFFICIENT_SPACE);
  EXPECT_TRUE(driver().CallsOf(u"InstallUpdate").empty());
}

TEST_F(NvmOperationsTest, InstallUpdateStagesTheClockBeforeInstalling) {
  AddItem(2, 8192);
  driver().installed_0 = 0x7;
  std::vector<uint8_t> package = Package(5000, 0);
  std::time_t before = std::time(nullptr);
  ASSERT_EQ(velonvmInstallUpdate(kAdapter, package, nullptr, nullptr, 0), 3);

  std::vector<std::u16string> order;
  for (const auto& call : driver().calls) {
    if (call.method == u"Modify" || call.method == u"SetFwTime" ||
        call.method == u"InstallUpdate") {
      order.push_back(call.method);
    }
  }
  EXPECT_EQ(order, (std::vector<std::u16string>{u"Modify", u"SetFwTime", u"InstallUpdate"}));
  EXPECT_EQ(driver().items[0].data, package);

  const auto clock = driver().CallsOf(u"SetFwTime").at(0);
  std::tm utc = *std::gmtime(&before);
  EXPECT_EQ(clock.inputs.at(u"time_zone").vt, platform::VT_UI2);
  EXPECT_EQ(clock.U32(u"time_zone"), 0u);
  EXPECT_EQ(clock.U32(u"year"), static_cast<uint32_t>(utc.tm_year + 1900));
  EXPECT_EQ(clock.inputs.at(u"month").vt, platform::VT_UI1);
  EXPECT_EQ(clock.U32(u"month"), static_cast<uint32_t>(utc.tm_mon + 1));
  EXPECT_EQ(clock.U32(u"day"), static_cast<uint32_t>(utc.tm_mday));
  EXPECT_EQ(clock.U32(u"millisecond"), 0u);
  EXPECT_EQ(driver().CallsOf(u"InstallUpdate").at(0).U32(u"install_type"), 0u);
}

TEST(NvmOperationsTableTest, InstallUpdateOutcomes) {
  struct Case {
    const char* what;
    uint8_t result, problem, reset;
    uint32_t items_0, items_1;
    int32_t expected;
    int32_t problem_item;
    uint8_t reset_flag;  // starts at 7: untouched unless the firmware asks
  };
  const Case cases[] = {
      {"three items", 0, 0xFF, 0, 0x7, 0, 3, -1, 7},
      {"items in both words", 0, 0xFF, 1, 0x80000001, 0x80000000, 3, -1, 1},
      {"nothing installed is still success", 0, 0xFF, 0, 0, 0, 0, -1, 7},
      {"refused, item 2", 0xFF, 2, 0, 0, 0, -1, 2, 7},
      {"bad signature", 0xEB, 0xFF, 0, 0, 0, NVCRETVAL_INVALID_SIGNATURE, -1, 7},
      // A result byte of 1 to 127 is a refusal too, never an item count,
      // even when the mask claims installed items.
      {"refused with result 5", 5, 1, 0, 0x3, 0, NVCRETVAL_FAILURE, 1, 7},
      {"refused with result 127", 127, 0xFF, 0, 0, 0, NVCRETVAL_FAILURE, -1, 7},
      {"refused with result 1", 1, 0xFF, 0, 0, 0, NVCRETVAL_FAILURE, -1, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeWmiPlatform platform;
    auto& d = platform.driver();
    d.items.push_back({2, 0, 0, 1, 4096, {}});
    d.install_result = c.result;
    d.install_problem = c.problem;
    d.install_reset = c.reset;
    d.installed_0 = c.items_0;
    d.installed_1 = c.items_1;
    int32_t problem = 77;
    uint8_t reset = 7;
    EXPECT_EQ(velonvmInstallUpdate(kAdapter, Package(64, 0), &problem, &reset, 0), c.expected);
    EXPECT_EQ(problem, c.problem_item);
    EXPECT_EQ(reset, c.reset_flag);
  }
}

// ---- options and registers ---------------------------------------------------

TEST_F(NvmOperationsTest, GetOptionSendsSixteenBitInputsAndCopiesAtMostLengthBytes) {
  driver().option_value.assign(100, 0x42);
  std::vector<uint8_t> value(80, 0);
  NvmOptionRequest request{1, 64, 1, 0, 0, 0, 0, value};
  ASSERT_EQ(velonvmGetOption(kAdapter, request), NVCRETVAL_SUCCESS);
  EXPECT_EQ(value[63], 0x42);
  EXPECT_EQ(value[64], 0);
  const auto call = driver().CallsOf(u"GetNvmOpt").at(0);
  for (const char16_t* name :
       {u"length", u"option_num", u"dimensions", u"index_0", u"index_1", u"index_2", u"index_3"}) {
    EXPECT_EQ(call.inputs.at(name).vt, platform::VT_UI2);
  }
  EXPECT_EQ(call.U32(u"length"), 64u);
  EXPECT_EQ(call.U32(u"option_num"), 1u);
}

TEST_F(NvmOperationsTest, ReadRegisterClearsTheLowFourBits) {
  driver().registers[kChipNumberRegister] = 0x9F;
  uint32_t value = 1;
  ASSERT_EQ(velonvmReadRegister(kAdapter, kChipNumberRegister, value), NVCRETVAL_SUCCESS);
  EXPECT_EQ(value, 0x90u);
  driver().failing[u"ReadReg32"] = 5;
  EXPECT_EQ(velonvmReadRegister(kAdapter, kChipNumberRegister, value),
            NVCRETVAL_INVALID_INDEX_PARAMETER);
  EXPECT_EQ(value, 0u);
}

TEST(NvmTransportSelectorTest, AlwaysChoosesWmi) {
  EXPECT_FALSE(velonvmUseDirectAccess(kAdapter, 1));
}

}  // namespace
}  // namespace skyfw
