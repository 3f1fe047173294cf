#include "nvm/wmi_helper.h"

#include <algorithm>

#include "base/text_conversion.h"
#include "platform/platform.h"

namespace skyfw {

using platform::Variant;
using platform::WmiObjectPtr;

WmiHelper::WmiHelper(std::u16string_view name_space) : wmi_(platform::Current().wmi()) {
  if (platform::FAILED(wmi_.CoInitializeEx(platform::COINIT_MULTITHREADED))) return;
  com_initialized_ = true;

  // Security is process-wide: a second helper finds it already set.
  platform::HRESULT security = wmi_.CoInitializeSecurity();
  if (platform::FAILED(security) && security != platform::RPC_E_TOO_LATE) return;

  if (platform::FAILED(wmi_.CoCreateLocator(locator_)) || !locator_) {
    locator_.reset();
    return;
  }
  std::unique_ptr<platform::WmiServices> services;
  if (platform::SUCCEEDED(locator_->ConnectServer(
          name_space, platform::WBEM_FLAG_CONNECT_USE_MAX_WAIT, services)) &&
      services) {
    services_ = std::move(services);
    connected_ = true;
  }
}

WmiHelper::~WmiHelper() {
  services_.reset();
  locator_.reset();
  if (com_initialized_) wmi_.CoUninitialize();
}

bool WmiHelper::PrepareMethod(std::u16string_view class_name, std::u16string_view method,
                              WmiObjectPtr& holder) {
  if (!connected_) return false;
  WmiObjectPtr class_object;
  if (platform::FAILED(services_->GetObject(class_name, class_object)) || !class_object) {
    return false;
  }
  WmiObjectPtr signature;
  if (platform::FAILED(class_object->GetMethod(method, signature, nullptr))) return false;
  if (signature && signature != holder) holder = std::move(signature);
  return true;
}

bool WmiHelper::ExecuteMethod(std::u16string_view class_name, std::u16string_view instance_name,
                              std::u16string_view method, const WmiObjectPtr& input,
                              WmiObjectPtr& result) {
  if (!connected_) return false;
  std::u16string path;
  if (!MethodObjectPath(class_name, instance_name, path)) return false;
  return platform::SUCCEEDED(services_->ExecMethod(path, method, input, &result));
}

namespace {

std::u16string ComputerName() {
  std::string name;
  if (platform::Current().system().GetComputerName(name) != platform::ERROR_SUCCESS) name.clear();
  std::u16string wide;
  Utf8ToUtf16(name, wide);
  if (wide.size() > kComputerNameUnits - 1) wide.resize(kComputerNameUnits - 1);
  return wide;
}

}  // namespace

bool WmiHelper::GetInstanceByName(std::u16string_view class_name, std::u16string_view instance_name,
                                  WmiObjectPtr& instance) {
  if (!connected_) return false;
  std::u16string path;
  if (!InstanceByNamePath(ComputerName(), class_name, instance_name, path)) return false;
  return Fetch(path, instance);
}

bool WmiHelper::GetInstanceById(std::u16string_view name_space, std::u16string_view class_name,
                                std::u16string_view instance_id, WmiObjectPtr& instance) {
  if (!connected_) return false;
  std::u16string path;
  if (!InstanceByIdPath(ComputerName(), name_space, class_name, instance_id, path)) return false;
  return Fetch(path, instance);
}

bool WmiHelper::Fetch(const std::u16string& path, WmiObjectPtr& object) {
  WmiObjectPtr fetched;
  if (platform::FAILED(services_->GetObject(path, fetched)) || !fetched) return false;
  object = std::move(fetched);
  return true;
}

// ---- object paths ----------------------------------------------------------

bool EscapeKeyValue(std::u16string_view value, std::u16string& escaped) {
  escaped.clear();
  for (char16_t unit : value) {
    if (unit == u'"' || unit == u'\\') escaped.push_back(u'\\');
    escaped.push_back(unit);
  }
  if (escaped.size() + 1 > kEscapedKeyUnits) {
    escaped.clear();
    return false;
  }
  return true;
}

bool MethodObjectPath(std::u16string_view class_name, std::u16string_view instance_name,
                      std::u16string& path) {
  std::u16string key;
  if (!EscapeKeyValue(instance_name, key)) return false;
  path.assign(class_name).append(u".InstanceName=\"").append(key).append(u"\"");
  return true;
}

bool InstanceByNamePath(std::u16string_view computer, std::u16string_view class_name,
                        std::u16string_view instance_name, std::u16string& path) {
  std::u16string key;
  if (!EscapeKeyValue(instance_name, key)) return false;
  path.assign(u"\\\\").append(computer).append(u"\\root\\wmi:").append(class_name);
  path.append(u".InstanceName=\"").append(key).append(u"\"");
  return true;
}

bool InstanceByIdPath(std::u16string_view computer, std::u16string_view name_space,
                      std::u16string_view class_name, std::u16string_view instance_id,
                      std::u16string& path) {
  std::u16string key;
  if (!EscapeKeyValue(instance_id, key)) return false;
  path.assign(u"\\\\").append(computer).append(u"\\").append(name_space).append(u":");
  path.append(class_name).append(u".InstanceID=\"").append(key).append(u"\"");
  return true;
}

// ---- setters ---------------------------------------------------------------

namespace {

bool Put(const WmiObjectPtr& object, std::u16string_view name, const Variant& value) {
  return object && platform::SUCCEEDED(object->Put(name, value));
}

bool Get(const WmiObjectPtr& object, std::u16string_view name, Variant& value) {
  return object && platform::SUCCEEDED(object->Get(name, value, nullptr));
}

}  // namespace

bool PutUInt8(const WmiObjectPtr& object, std::u16string_view name, uint8_t value) {
  return Put(object, name, Variant::UI1(value));
}

bool PutUInt16(const WmiObjectPtr& object, std::u16string_view name, uint16_t value) {
  return Put(object, name, Variant::UI2(value)) ||
         Put(object, name, Variant::I2(static_cast<int16_t>(value))) ||
         Put(object, name, Variant::I4(static_cast<int32_t>(value)));
}

bool PutInt32(const WmiObjectPtr& object, std::u16string_view name, uint32_t value) {
  if (value == 0xFFFFFFFFu) return false;
  return Put(object, name, Variant::I4(static_cast<int32_t>(value)));
}

bool PutByteArray(const WmiObjectPtr& object, std::u16string_view name, ByteView bytes) {
  if (bytes.data() == nullptr) return false;
  return Put(object, name, Variant::ByteArray(std::vector<uint8_t>(bytes.begin(), bytes.end())));
}

// ---- getters ---------------------------------------------------------------

bool GetUInt8(const WmiObjectPtr& object, std::u16string_view name, uint8_t& value) {
  Variant v;
  if (!Get(object, name, v) || v.vt != platform::VT_UI1) return false;
  value = static_cast<uint8_t>(v.bits);
  return true;
}

bool GetUInt16(const WmiObjectPtr& object, std::u16string_view name, uint16_t& value) {
  Variant v;
  if (!Get(object, name, v) || v.vt != platform::VT_I4) return false;
  value = static_cast<uint16_t>(v.bits);
  return true;
}

bool GetUInt32(const WmiObjectPtr& object, std::u16string_view name, uint32_t& value) {
  Variant v;
  if (!Get(object, name, v)) return false;
  value = v.Low32();
  return true;
}

bool GetText(const WmiObjectPtr& object, std::u16string_view name, std::u16string& text) {
  Variant v;
  if (!Get(object, name, v) || v.vt != platform::VT_BSTR) return false;
  if (v.null_bstr) {
    text.clear();
  } else {
    text = std::move(v.text);
  }
  return true;
}

bool GetFlag(const WmiObjectPtr& object, std::u16string_view name, bool& flag) {
  Variant v;
  if (!Get(object, name, v) || v.vt != platform::VT_BOOL) return false;
  flag = static_cast<int16_t>(v.bits) == platform::VARIANT_TRUE;
  return true;
}

bool GetByteArray(const WmiObjectPtr& object, std::u16string_view name, std::span<uint8_t> buffer,
                  size_t& copied) {
  if (buffer.data() == nullptr) return false;
  Variant v;
  if (!Get(object, name, v) || v.vt != (platform::VT_ARRAY | platform::VT_UI1)) return false;
  copied = std::min(buffer.size(), v.bytes.size());
  std::copy_n(v.bytes.begin(), copied, buffer.begin());
  return true;
}

}  // namespace skyfw
