// COM initialisation and the WMI client mechanics through the Win32
// platform, against StdRegProv in root\default: a class Windows and Wine
// both have. Only methods of that class are executed: ExecMethod on a
// class Wine lacks crashes Wine's provider.
//
// Where Wine answers otherwise than Windows (not asserted here):
// - CoInitializeSecurity a second time in a process: Windows RPC_E_TOO_LATE,
//   Wine S_OK.
// - StdRegProv's hDefKey: Windows declares it uint32 (CIM_UINT32), Wine
//   sint32 (CIM_SINT32).
// - Put of a name the parameters do not have: Windows WBEM_E_NOT_FOUND, Wine
//   WBEM_E_INVALID_QUERY.
// - Put of a VT_I4 into a uint32 parameter (what PutInt32 sends): Windows
//   S_OK (WMI carries uint32 as VT_I4), Wine WBEM_E_TYPE_MISMATCH.
// - Put into the input signature itself: Windows S_OK, Wine WBEM_E_FAILED;
//   the platform hands out an instance of the signature, which both take.
// - The driver's NRVN_ classes and root\standardcimv2 do not exist under
//   Wine; they are accepted on Windows (docs/windows-acceptance.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "base/unicode.h"
#include "win32_test_support.h"

namespace skyfw::win32::testing {
namespace {

using namespace platform;

constexpr int32_t kLocalMachine = static_cast<int32_t>(0x80000002);  // HKEY_LOCAL_MACHINE

// Runs `body` on a thread of its own, so that each test meets COM fresh.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(ComContract, ApartmentRulesOfCoInitializeEx) {
  OnFreshThread([] {
    Wmi& wmi = Win32().wmi();
    ASSERT_EQ(wmi.CoInitializeEx(COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(wmi.CoInitializeEx(COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(wmi.CoInitializeEx(COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    wmi.CoUninitialize();
    wmi.CoUninitialize();
  });
  OnFreshThread([] {
    Wmi& wmi = Win32().wmi();
    ASSERT_EQ(wmi.CoInitializeEx(COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(wmi.CoInitializeEx(COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    wmi.CoUninitialize();
  });
}

TEST(ComContract, SecurityOnceSetStaysAcceptable) {
  OnFreshThread([] {
    Wmi& wmi = Win32().wmi();
    ASSERT_EQ(wmi.CoInitializeEx(COINIT_MULTITHREADED), S_OK);
    for (int call = 0; call < 2; ++call) {
      HRESULT result = wmi.CoInitializeSecurity();
      EXPECT_TRUE(SUCCEEDED(result) || result == RPC_E_TOO_LATE) << std::hex << result;
    }
    wmi.CoUninitialize();
  });
}

// One connection, as WmiHelper makes it, for the tests below.
class WmiContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(wmi_.CoInitializeEx(COINIT_MULTITHREADED)));
    initialized_ = true;
    HRESULT security = wmi_.CoInitializeSecurity();
    ASSERT_TRUE(SUCCEEDED(security) || security == RPC_E_TOO_LATE);
    ASSERT_EQ(wmi_.CoCreateLocator(locator_), S_OK);
    ASSERT_EQ(locator_->ConnectServer(u"root\\default", WBEM_FLAG_CONNECT_USE_MAX_WAIT, services_),
              S_OK);
    ASSERT_EQ(services_->GetObject(u"StdRegProv", provider_), S_OK);
    ASSERT_NE(provider_, nullptr);
    key_path_ = "SOFTWARE\\" + UniqueName("skyfw-contract-wmi");
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(Win32().registry().CreateKey(key_path_, KEY_ALL_ACCESS, key, nullptr), ERROR_SUCCESS);
  }
  void TearDown() override {
    provider_.reset();
    services_.reset();
    locator_.reset();
    DeleteRegistryTree(key_path_);
    if (initialized_) wmi_.CoUninitialize();
  }

  // The input signature of a StdRegProv method with the key fields put, or
  // null: a method must not run with inputs missing (Wine's provider then
  // reads a null key name).
  WmiObjectPtr Inputs(std::u16string_view method, std::u16string_view value_name) {
    WmiObjectPtr inputs;
    EXPECT_EQ(provider_->GetMethod(method, inputs, nullptr), S_OK);
    if (!inputs) return nullptr;
    HRESULT puts[] = {
        inputs->Put(u"hDefKey", Variant::I4(kLocalMachine)),
        inputs->Put(u"sSubKeyName", Variant::Bstr(Utf8ToUtf16(key_path_))),
        inputs->Put(u"sValueName", Variant::Bstr(std::u16string(value_name))),
    };
    for (HRESULT put : puts) {
      EXPECT_EQ(put, S_OK);
      if (put != S_OK) return nullptr;
    }
    return inputs;
  }

  Wmi& wmi_ = Win32().wmi();
  bool initialized_ = false;
  std::unique_ptr<WmiLocator> locator_;
  std::unique_ptr<WmiServices> services_;
  WmiObjectPtr provider_;
  std::string key_path_;
};

TEST_F(WmiContract, AMethodReadsWhatTheRegistryHolds) {
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(Win32().registry().OpenKey(key_path_, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
  ASSERT_EQ(key->SetValue("Version", RegistryValue::Text("1.2.3 \xC3\xA9")), ERROR_SUCCESS);

  WmiObjectPtr inputs = Inputs(u"GetStringValue", u"Version");
  ASSERT_NE(inputs, nullptr);
  WmiObjectPtr results;
  ASSERT_EQ(services_->ExecMethod(u"StdRegProv", u"GetStringValue", inputs, &results), S_OK);
  ASSERT_NE(results, nullptr);

  Variant value;
  CimType type = CIM_EMPTY;
  ASSERT_EQ(results->Get(u"ReturnValue", value, &type), S_OK);
  EXPECT_EQ(type, CIM_UINT32);
  EXPECT_EQ(value.vt, VT_I4);  // WMI carries uint32 in a VT_I4
  EXPECT_EQ(value.Low32(), 0u);
  ASSERT_EQ(results->Get(u"sValue", value, &type), S_OK);
  EXPECT_EQ(type, CIM_STRING);
  EXPECT_EQ(value.vt, VT_BSTR);
  EXPECT_EQ(value.text, u"1.2.3 \u00E9");
}

TEST_F(WmiContract, AMethodWritesWhatTheRegistryThenHolds) {
  WmiObjectPtr inputs = Inputs(u"SetDWORDValue", u"Count");
  ASSERT_NE(inputs, nullptr);
  // VT_UI4: Windows also takes the VT_I4 PutInt32 sends, Wine refuses it.
  ASSERT_EQ(inputs->Put(u"uValue", Variant::UI4(0x1234)), S_OK);
  WmiObjectPtr results;
  ASSERT_EQ(services_->ExecMethod(u"StdRegProv", u"SetDWORDValue", inputs, &results), S_OK);
  Variant returned;
  ASSERT_EQ(results->Get(u"ReturnValue", returned, nullptr), S_OK);
  EXPECT_EQ(returned.Low32(), 0u);

  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(Win32().registry().OpenKey(key_path_, KEY_READ, key), ERROR_SUCCESS);
  RegistryValue value;
  ASSERT_EQ(key->QueryValue("Count", value), ERROR_SUCCESS);
  EXPECT_EQ(value.AsDword(), 0x1234u);
}

TEST_F(WmiContract, SignaturesNameTheirParameters) {
  WmiObjectPtr inputs;
  WmiObjectPtr outputs;
  ASSERT_EQ(provider_->GetMethod(u"GetStringValue", inputs, &outputs), S_OK);
  ASSERT_NE(inputs, nullptr);
  ASSERT_NE(outputs, nullptr);
  std::vector<std::u16string> in_names = inputs->GetNames();
  for (const char16_t* name : {u"hDefKey", u"sSubKeyName", u"sValueName"}) {
    EXPECT_NE(std::find(in_names.begin(), in_names.end(), name), in_names.end());
  }
  std::vector<std::u16string> out_names = outputs->GetNames();
  EXPECT_NE(std::find(out_names.begin(), out_names.end(), u"sValue"), out_names.end());
}

TEST_F(WmiContract, ValuesTheDeclaredTypeCannotCarryAreRefused) {
  WmiObjectPtr inputs;
  ASSERT_EQ(provider_->GetMethod(u"GetStringValue", inputs, nullptr), S_OK);
  ASSERT_EQ(inputs->Put(u"hDefKey", Variant::I4(kLocalMachine)), S_OK);
  EXPECT_EQ(inputs->Put(u"hDefKey", Variant::Bstr(u"not a number")), WBEM_E_TYPE_MISMATCH);
  EXPECT_EQ(inputs->Put(u"hDefKey", Variant::ByteArray({1, 2})), WBEM_E_TYPE_MISMATCH);
  // A refused Put leaves the value that was there.
  Variant value;
  ASSERT_EQ(inputs->Get(u"hDefKey", value, nullptr), S_OK);
  EXPECT_EQ(value.Low32(), 0x80000002u);
}

TEST_F(WmiContract, ArraysOfOtherTypesKeepTheirTypeOnly) {
  std::unique_ptr<RegistryKey> child;
  ASSERT_EQ(Win32().registry().CreateKey(key_path_ + "\\child", KEY_ALL_ACCESS, child, nullptr),
            ERROR_SUCCESS);
  WmiObjectPtr inputs;
  ASSERT_EQ(provider_->GetMethod(u"EnumKey", inputs, nullptr), S_OK);
  ASSERT_EQ(inputs->Put(u"hDefKey", Variant::I4(kLocalMachine)), S_OK);
  ASSERT_EQ(inputs->Put(u"sSubKeyName", Variant::Bstr(Utf8ToUtf16(key_path_))), S_OK);
  WmiObjectPtr results;
  ASSERT_EQ(services_->ExecMethod(u"StdRegProv", u"EnumKey", inputs, &results), S_OK);
  Variant names;
  ASSERT_EQ(results->Get(u"sNames", names, nullptr), S_OK);
  EXPECT_EQ(names.vt, VT_ARRAY | VT_BSTR);
  EXPECT_TRUE(names.bytes.empty());
  EXPECT_EQ(names.Low32(), 0u);  // a pointer in the value field
}

TEST_F(WmiContract, UnknownNamesAreNotFound) {
  WmiObjectPtr inputs;
  EXPECT_EQ(provider_->GetMethod(u"NoSuchMethod", inputs, nullptr), WBEM_E_NOT_FOUND);
  EXPECT_EQ(inputs, nullptr);
  Variant value;
  EXPECT_EQ(provider_->Get(u"NoSuchProperty", value, nullptr), WBEM_E_NOT_FOUND);
  WmiObjectPtr object = provider_;
  EXPECT_TRUE(FAILED(services_->GetObject(u"NRVN_NoSuchClassAnywhere", object)));
  EXPECT_EQ(object, provider_);  // left as it was
}

// Inputs must be this platform's objects: a stand-in cannot reach WMI.
class ForeignObject final : public WmiObject {
 public:
  HRESULT Get(std::u16string_view, Variant&, CimType*) override { return WBEM_E_NOT_FOUND; }
  HRESULT Put(std::u16string_view, const Variant&) override { return S_OK; }
  HRESULT GetMethod(std::u16string_view, WmiObjectPtr&, WmiObjectPtr*) override {
    return WBEM_E_NOT_FOUND;
  }
  std::vector<std::u16string> GetNames() override { return {}; }
};

TEST_F(WmiContract, ForeignInputObjectsAreRefusedBeforeWmiSeesThem) {
  WmiObjectPtr results;
  EXPECT_EQ(services_->ExecMethod(u"StdRegProv", u"GetStringValue",
                                  std::make_shared<ForeignObject>(), &results),
            E_INVALIDARG);
  EXPECT_EQ(results, nullptr);
}

TEST_F(WmiContract, AnUnknownNamespaceIsNotReached) {
  std::unique_ptr<WmiServices> services;
  HRESULT result = locator_->ConnectServer(u"root\\skyfw_no_such_namespace",
                                           WBEM_FLAG_CONNECT_USE_MAX_WAIT, services);
  EXPECT_TRUE(FAILED(result));
  EXPECT_EQ(services, nullptr);
}

TEST(WmiLocatorContract, NoLocatorWithoutCom) {
  OnFreshThread([] {
    std::unique_ptr<WmiLocator> locator;
    EXPECT_EQ(Win32().wmi().CoCreateLocator(locator), CO_E_NOTINITIALIZED);
    EXPECT_EQ(locator, nullptr);
  });
}

}  // namespace
}  // namespace skyfw::win32::testing
