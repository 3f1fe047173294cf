#include "nvm/wmi_helper.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/fake_wmi_driver.h"

namespace skyfw {
namespace {

using platform::Variant;
using testing::FakeWmiObject;
using testing::FakeWmiPlatform;

std::shared_ptr<FakeWmiObject> Refusing(std::set<uint16_t> vts) {
  return std::make_shared<FakeWmiObject>(
      std::map<std::u16string, std::set<uint16_t>>{{u"p", std::move(vts)}});
}

TEST(WmiSettersTest, StoreTheirValuesWithTheTypeRules) {
  using platform::VT_I2;
  using platform::VT_I4;
  using platform::VT_UI2;
  struct Case {
    const char* what;
    std::set<uint16_t> refused;
    std::function<bool(const platform::WmiObjectPtr&)> put;
    bool stored;
    uint16_t vt;
    uint64_t bits;
  };
  const Case cases[] = {
      {"uint8", {}, [](auto& o) { return PutUInt8(o, u"p", 200); }, true, platform::VT_UI1, 200},
      {"uint16 as VT_UI2",
       {},
       [](auto& o) { return PutUInt16(o, u"p", 0xFFFF); },
       true,
       VT_UI2,
       0xFFFF},
      {"uint16 falls back to VT_I2",
       {VT_UI2},
       [](auto& o) { return PutUInt16(o, u"p", 0xFFFF); },
       true,
       VT_I2,
       ~uint64_t{0}},
      {"uint16 falls back to VT_I4, zero-extended",
       {VT_UI2, VT_I2},
       [](auto& o) { return PutUInt16(o, u"p", 0xFFFF); },
       true,
       VT_I4,
       0xFFFF},
      {"uint16 refused by every form",
       {VT_UI2, VT_I2, VT_I4},
       [](auto& o) { return PutUInt16(o, u"p", 1); },
       false,
       0,
       0},
      {"int32", {}, [](auto& o) { return PutInt32(o, u"p", 0x7FFFFFFF); }, true, VT_I4, 0x7FFFFFFF},
      {"int32 0xFFFFFFFF refused",
       {},
       [](auto& o) { return PutInt32(o, u"p", 0xFFFFFFFF); },
       false,
       0,
       0},
      {"null byte array refused",
       {},
       [](auto& o) { return PutByteArray(o, u"p", ByteView()); },
       false,
       0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto object = Refusing(c.refused);
    platform::WmiObjectPtr held = object;
    EXPECT_EQ(c.put(held), c.stored);
    if (!c.stored) {
      EXPECT_TRUE(object->values().empty());
      continue;
    }
    const Variant& value = object->values().at(u"p");
    EXPECT_EQ(value.vt, c.vt);
    EXPECT_EQ(value.bits, c.bits);
  }
}

TEST(WmiSettersTest, Int32AllOnesNeverTouchesTheObject) {
  auto object = std::make_shared<FakeWmiObject>();
  EXPECT_FALSE(PutInt32(object, u"length", 0xFFFFFFFFu));
  EXPECT_EQ(object->puts(), 0);
}

TEST(WmiSettersTest, ByteArrayHoldsExactlyTheBytes) {
  auto object = std::make_shared<FakeWmiObject>();
  const uint8_t bytes[] = {1, 2, 3};
  ASSERT_TRUE(PutByteArray(object, u"buffer", bytes));
  const Variant& value = object->values().at(u"buffer");
  EXPECT_EQ(value.vt, platform::VT_ARRAY | platform::VT_UI1);
  EXPECT_EQ(value.bytes, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(WmiGettersTest, AcceptOnlyTheirTypes) {
  Variant null_bstr = Variant::Bstr(u"");
  null_bstr.null_bstr = true;
  struct Case {
    const char* what;
    std::optional<Variant> stored;  // nullopt: the property is missing
    std::function<bool(const platform::WmiObjectPtr&, uint64_t&)> get;
    bool delivered;
    uint64_t value;
  };
  auto u8 = [](const platform::WmiObjectPtr& o, uint64_t& v) {
    uint8_t x = 0;
    bool ok = GetUInt8(o, u"p", x);
    v = x;
    return ok;
  };
  auto u16 = [](const platform::WmiObjectPtr& o, uint64_t& v) {
    uint16_t x = 0;
    bool ok = GetUInt16(o, u"p", x);
    v = x;
    return ok;
  };
  auto u32 = [](const platform::WmiObjectPtr& o, uint64_t& v) {
    uint32_t x = 0;
    bool ok = GetUInt32(o, u"p", x);
    v = x;
    return ok;
  };
  auto flag = [](const platform::WmiObjectPtr& o, uint64_t& v) {
    bool x = false;
    bool ok = GetFlag(o, u"p", x);
    v = x;
    return ok;
  };
  auto text_length = [](const platform::WmiObjectPtr& o, uint64_t& v) {
    std::u16string x = u"untouched";
    bool ok = GetText(o, u"p", x);
    v = x.size();
    return ok;
  };
  const Case cases[] = {
      {"uint8 from VT_UI1", Variant::UI1(0xAB), u8, true, 0xAB},
      {"uint8 refuses VT_I4", Variant::I4(1), u8, false, 0},
      {"uint8 missing", std::nullopt, u8, false, 0},
      {"uint16 from VT_I4 keeps the low 16 bits", Variant::I4(65577), u16, true, 41},
      {"uint16 refuses VT_UI2", Variant::UI2(5), u16, false, 0},
      {"uint32 from VT_I4", Variant::I4(-1), u32, true, 0xFFFFFFFF},
      {"uint32 from any type: VT_UI1", Variant::UI1(7), u32, true, 7},
      {"uint32 from any type: VT_BSTR reads the value field", Variant::Bstr(u"x"), u32, true, 0},
      {"uint32 missing", std::nullopt, u32, false, 0},
      {"flag VARIANT_TRUE", Variant::Bool(true), flag, true, 1},
      {"flag VARIANT_FALSE", Variant::Bool(false), flag, true, 0},
      {"flag refuses VT_I4", Variant::I4(-1), flag, false, 0},
      {"text", Variant::Bstr(u"21.6.2"), text_length, true, 6},
      {"null BSTR is empty text", null_bstr, text_length, true, 0},
      {"text refuses VT_NULL", Variant::Null(), text_length, false, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto object = std::make_shared<FakeWmiObject>();
    if (c.stored) object->values()[u"p"] = *c.stored;
    uint64_t value = 0;
    EXPECT_EQ(c.get(object, value), c.delivered);
    if (c.delivered) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST(WmiGettersTest, ByteArrayCopiesAtMostTheCapacity) {
  auto object = std::make_shared<FakeWmiObject>();
  object->values()[u"long"] = Variant::ByteArray({1, 2, 3, 4, 5});
  object->values()[u"empty"] = Variant::ByteArray({});
  object->values()[u"number"] = Variant::I4(3);
  uint8_t buffer[3] = {9, 9, 9};
  size_t copied = 99;

  ASSERT_TRUE(GetByteArray(object, u"long", buffer, copied));
  EXPECT_EQ(copied, 3u);
  EXPECT_EQ(buffer[2], 3);

  ASSERT_TRUE(GetByteArray(object, u"empty", buffer, copied));
  EXPECT_EQ(copied, 0u);

  EXPECT_FALSE(GetByteArray(object, u"number", buffer, copied));
  EXPECT_FALSE(GetByteArray(object, u"long", std::span<uint8_t>(), copied));
}

TEST(EscapeKeyValueTest, PutsABackslashBeforeQuotesAndBackslashesOnly) {
  struct Case {
    std::u16string value;
    std::u16string escaped;
  };
  const Case cases[] = {
      {u"Skyline S2 #1", u"Skyline S2 #1"},
      {u"say \"hi\"", u"say \\\"hi\\\""},
      {u"a\\b", u"a\\\\b"},
      {u"\u00DCber \u2116 \U0001F600", u"\u00DCber \u2116 \U0001F600"},
  };
  for (const Case& c : cases) {
    std::u16string escaped;
    ASSERT_TRUE(EscapeKeyValue(c.value, escaped));
    EXPECT_EQ(escaped, c.escaped);
  }
}

TEST(EscapeKeyValueTest, RefusesWhatDoesNotFitWithItsTerminator) {
  std::u16string escaped;
  EXPECT_TRUE(EscapeKeyValue(std::u16string(kEscapedKeyUnits - 1, u'a'), escaped));
  EXPECT_FALSE(EscapeKeyValue(std::u16string(kEscapedKeyUnits, u'a'), escaped));
  // 256 quotes escape to 512 units: one too many with the terminator.
  EXPECT_FALSE(EscapeKeyValue(std::u16string(256, u'"'), escaped));
  EXPECT_TRUE(EscapeKeyValue(std::u16string(255, u'"'), escaped));
}

TEST(ObjectPathTest, FollowTheThreeTemplates) {
  std::u16string path;
  ASSERT_TRUE(MethodObjectPath(u"NRVN_NVRAMAccess", u"Port \"A\"", path));
  EXPECT_EQ(path, u"NRVN_NVRAMAccess.InstanceName=\"Port \\\"A\\\"\"");
  ASSERT_TRUE(InstanceByNamePath(u"SKYHOST", u"NRVN_NVRAMPackage", u"a\\b", path));
  EXPECT_EQ(path, u"\\\\SKYHOST\\root\\wmi:NRVN_NVRAMPackage.InstanceName=\"a\\\\b\"");
  ASSERT_TRUE(InstanceByIdPath(u"SKYHOST", u"root\\standardcimv2",
                               u"MSFT_NetAdapterSriovSettingData", u"{1}", path));
  EXPECT_EQ(path,
            u"\\\\SKYHOST\\root\\standardcimv2:MSFT_NetAdapterSriovSettingData.InstanceID=\"{1}\"");
}

TEST(WmiHelperTest, BalancesComAndConnectsAgainOnceSecurityIsSet) {
  FakeWmiPlatform platform;
  {
    WmiHelper first(kWmiNamespace);
    EXPECT_TRUE(first.IsConnected());
    EXPECT_EQ(platform.driver().co_initialized, 1);
    WmiHelper nested(kWmiNamespace);  // security already set: RPC_E_TOO_LATE is fine
    EXPECT_TRUE(nested.IsConnected());
    EXPECT_EQ(platform.driver().co_initialized, 2);
  }
  EXPECT_EQ(platform.driver().co_initialized, 0);
}

TEST(WmiHelperTest, StaysUnconnectedWithoutUnbalancingCom) {
  FakeWmiPlatform platform;
  platform.driver().sta_thread = true;
  {
    WmiHelper wmi(kWmiNamespace);
    EXPECT_FALSE(wmi.IsConnected());
    platform::WmiObjectPtr object;
    EXPECT_FALSE(wmi.PrepareMethod(u"NRVN_NVRAMAccess", u"Read", object));
  }
  EXPECT_EQ(platform.driver().co_initialized, 0);

  platform.driver().sta_thread = false;
  platform.driver().namespace_reachable = false;
  {
    WmiHelper wmi(kWmiNamespace);
    EXPECT_FALSE(wmi.IsConnected());
    EXPECT_EQ(platform.driver().co_initialized, 1);
  }
  EXPECT_EQ(platform.driver().co_initialized, 0);
}

TEST(WmiHelperTest, PrepareMethodLeavesTheHolderNullForMethodsWithoutInputs) {
  FakeWmiPlatform platform;
  WmiHelper wmi(kWmiNamespace);
  platform::WmiObjectPtr input;
  ASSERT_TRUE(wmi.PrepareMethod(u"NRVN_NVRAMAccess", u"GetDirectoryInfo", input));
  EXPECT_EQ(input, nullptr);
  ASSERT_TRUE(wmi.PrepareMethod(u"NRVN_NVRAMAccess", u"Read", input));
  EXPECT_NE(input, nullptr);
  EXPECT_FALSE(wmi.PrepareMethod(u"NRVN_Unknown", u"Read", input));
}

TEST(WmiHelperTest, AddressesTheEscapedInstance) {
  FakeWmiPlatform platform;
  WmiHelper wmi(kWmiNamespace);
  platform::WmiObjectPtr result;
  ASSERT_TRUE(wmi.ExecuteMethod(u"NRVN_NVRAMAccess", u"Lab \"7\" \\ 2", u"GetNvmLastError", nullptr,
                                result));
  ASSERT_EQ(platform.driver().calls.size(), 1u);
  EXPECT_EQ(platform.driver().calls[0].object_path,
            u"NRVN_NVRAMAccess.InstanceName=\"Lab \\\"7\\\" \\\\ 2\"");

  platform::WmiObjectPtr instance = result;
  EXPECT_TRUE(wmi.GetInstanceByName(u"NRVN_NVRAMPackage", u"x", instance));
  EXPECT_NE(instance, result);
  platform::WmiObjectPtr kept = instance;
  EXPECT_FALSE(wmi.GetInstanceByName(u"NRVN_NVRAMAccess", u"x", instance));
  EXPECT_EQ(instance, kept);  // a failed fetch leaves the holder alone
}

}  // namespace
}  // namespace skyfw
