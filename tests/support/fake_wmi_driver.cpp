#include "support/fake_wmi_driver.h"

#include <algorithm>

namespace skyfw::testing {

using platform::HRESULT;
using platform::Variant;
using platform::WmiObjectPtr;

namespace {

// Methods that take no input object.
bool HasNoInputs(std::u16string_view method) {
  return method == u"GetDirectoryInfo" || method == u"GetNvmLastError";
}

bool IsKnownClass(std::u16string_view name) {
  return name == u"NRVN_NVRAMAccess" || name == u"NRVN_FWTime" || name == u"NRVN_HwDeviceAccess" ||
         name == u"NRVN_NVRAMPackage";
}

Variant U32(uint32_t value) { return Variant::I4(static_cast<int32_t>(value)); }

class FakeClassObject final : public platform::WmiObject {
 public:
  explicit FakeClassObject(std::shared_ptr<FakeDriverState> state) : state_(std::move(state)) {}
  HRESULT Get(std::u16string_view, Variant&, platform::CimType*) override {
    return platform::WBEM_E_NOT_FOUND;
  }
  HRESULT Put(std::u16string_view, const Variant&) override { return platform::WBEM_E_NOT_FOUND; }
  HRESULT GetMethod(std::u16string_view method, WmiObjectPtr& in_signature,
                    WmiObjectPtr*) override {
    in_signature =
        HasNoInputs(method) ? nullptr : std::make_shared<FakeWmiObject>(state_->refused_vts);
    return platform::S_OK;
  }
  std::vector<std::u16string> GetNames() override { return {}; }

 private:
  std::shared_ptr<FakeDriverState> state_;
};

class FakeServices final : public platform::WmiServices {
 public:
  explicit FakeServices(std::shared_ptr<FakeDriverState> state) : state_(std::move(state)) {}

  HRESULT GetObject(std::u16string_view path, WmiObjectPtr& object) override {
    if (path.find(u'.') == std::u16string_view::npos) {
      if (!IsKnownClass(path)) return platform::WBEM_E_INVALID_CLASS;
      object = std::make_shared<FakeClassObject>(state_);
      return platform::S_OK;
    }
    state_->fetched_paths.emplace_back(path);
    if (path.find(u"NRVN_NVRAMPackage.") == std::u16string_view::npos) {
      return platform::WBEM_E_NOT_FOUND;
    }
    auto instance = std::make_shared<FakeWmiObject>();
    if (state_->version) instance->values()[u"Version"] = *state_->version;
    object = instance;
    return platform::S_OK;
  }

  HRESULT ExecMethod(std::u16string_view object_path, std::u16string_view method,
                     const WmiObjectPtr& in_params, WmiObjectPtr* out_params) override {
    RecordedCall call{std::u16string(object_path), std::u16string(method), {}};
    if (auto* inputs = dynamic_cast<FakeWmiObject*>(in_params.get()))
      call.inputs = inputs->values();
    state_->calls.push_back(call);
    std::u16string name(method);
    auto after = state_->failing_after.find(name);
    bool spared =
        after != state_->failing_after.end() && state_->CallsOf(name).size() <= after->second;
    if (auto failing = state_->failing.find(name); failing != state_->failing.end() && !spared) {
      state_->last_error = failing->second;
      return platform::WBEM_E_FAILED;
    }
    auto result = std::make_shared<FakeWmiObject>();
    Run(call, result->values());
    if (auto replaced = state_->outputs.find(name); replaced != state_->outputs.end()) {
      for (const auto& [output, value] : replaced->second) {
        if (value) {
          result->values()[output] = *value;
        } else {
          result->values().erase(output);
        }
      }
    }
    if (out_params != nullptr) *out_params = result;
    return platform::S_OK;
  }

 private:
  uint32_t In(const RecordedCall& call, const std::u16string& name) {
    auto found = call.inputs.find(name);
    return found == call.inputs.end() ? 0 : found->second.Low32();
  }

  void Run(const RecordedCall& call, std::map<std::u16string, Variant>& out) {
    FakeDriverState& s = *state_;
    const std::u16string& m = call.method;
    if (m == u"GetDirectoryInfo") {
      out[u"num_dir_entries"] =
          U32(s.reported_count ? *s.reported_count : static_cast<uint32_t>(s.items.size()));
      out[u"dir_entry_length"] = U32(s.entry_length);
    } else if (m == u"GetDirectoryEntries") {
      std::vector<uint8_t> raw;
      for (const FakeItem& item : s.items) {
        std::vector<uint8_t> entry = RawDirEntry(item, s.entry_length);
        raw.insert(raw.end(), entry.begin(), entry.end());
      }
      raw.resize(std::min<size_t>(raw.size(), In(call, u"length")));
      out[u"buffer"] = Variant::ByteArray(raw);
    } else if (m == u"Read") {
      const FakeItem& item = s.items.at(In(call, u"dir_index"));
      size_t offset = std::min<size_t>(In(call, u"offset"), item.data.size());
      size_t length = std::min<size_t>(In(call, u"length"), item.data.size() - offset);
      out[u"buffer"] = Variant::ByteArray(
          std::vector<uint8_t>(item.data.begin() + static_cast<std::ptrdiff_t>(offset),
                               item.data.begin() + static_cast<std::ptrdiff_t>(offset + length)));
    } else if (m == u"Create") {
      FakeItem item;
      item.type = static_cast<uint16_t>(In(call, u"dir_type"));
      item.ordinal = static_cast<uint16_t>(In(call, u"dir_ordinal"));
      item.ext = static_cast<uint16_t>(In(call, u"dir_ext"));
      item.attr = static_cast<uint16_t>(In(call, u"dir_attr"));
      item.item_length = In(call, u"dir_item_length");
      s.items.push_back(item);
      out[u"dir_index"] = U32(static_cast<uint32_t>(s.items.size() - 1));
    } else if (m == u"Modify") {
      FakeItem& item = s.items.at(In(call, u"dir_index"));
      const std::vector<uint8_t>& bytes = call.inputs.at(u"buffer").bytes;
      size_t offset = In(call, u"offset");
      if (item.data.size() < offset + bytes.size()) item.data.resize(offset + bytes.size());
      std::copy(bytes.begin(), bytes.end(),
                item.data.begin() + static_cast<std::ptrdiff_t>(offset));
    } else if (m == u"InstallUpdate") {
      out[u"result"] = Variant::UI1(s.install_result);
      out[u"problem_item"] = Variant::UI1(s.install_problem);
      out[u"reset_required"] = Variant::UI1(s.install_reset);
      out[u"installed_items_0"] = U32(s.installed_0);
      out[u"installed_items_1"] = U32(s.installed_1);
    } else if (m == u"GetNvmOpt") {
      out[u"out_buff"] = Variant::ByteArray(s.option_value);
    } else if (m == u"GetNvmLastError") {
      out[u"ErrorCode"] = U32(s.last_error);
    } else if (m == u"ReadReg32") {
      out[u"value"] = U32(s.registers[In(call, u"offset")]);
    }
  }

  std::shared_ptr<FakeDriverState> state_;
};

class FakeLocator final : public platform::WmiLocator {
 public:
  explicit FakeLocator(std::shared_ptr<FakeDriverState> state) : state_(std::move(state)) {}
  HRESULT ConnectServer(std::u16string_view name_space, int32_t,
                        std::unique_ptr<platform::WmiServices>& services) override {
    if (!state_->namespace_reachable || name_space != u"root\\wmi") {
      return platform::WBEM_E_INVALID_NAMESPACE;
    }
    services = std::make_unique<FakeServices>(state_);
    return platform::S_OK;
  }

 private:
  std::shared_ptr<FakeDriverState> state_;
};

class FakeWmi final : public platform::Wmi {
 public:
  explicit FakeWmi(std::shared_ptr<FakeDriverState> state) : state_(std::move(state)) {}
  HRESULT CoInitializeEx(uint32_t model) override {
    if (state_->sta_thread && model != platform::COINIT_APARTMENTTHREADED) {
      return platform::RPC_E_CHANGED_MODE;
    }
    ++state_->co_initialized;
    return state_->co_initialized == 1 ? platform::S_OK : platform::S_FALSE;
  }
  void CoUninitialize() override { --state_->co_initialized; }
  HRESULT CoInitializeSecurity() override {
    if (state_->security_set) return platform::RPC_E_TOO_LATE;
    state_->security_set = true;
    return platform::S_OK;
  }
  HRESULT CoCreateLocator(std::unique_ptr<platform::WmiLocator>& locator) override {
    if (state_->co_initialized <= 0) return platform::CO_E_NOTINITIALIZED;
    locator = std::make_unique<FakeLocator>(state_);
    return platform::S_OK;
  }

 private:
  std::shared_ptr<FakeDriverState> state_;
};

}  // namespace

std::vector<RecordedCall> FakeDriverState::CallsOf(const std::u16string& method) const {
  std::vector<RecordedCall> found;
  for (const RecordedCall& call : calls) {
    if (call.method == method) found.push_back(call);
  }
  return found;
}

FakeWmiPlatform::FakeWmiPlatform()
    : state_(std::make_shared<FakeDriverState>()), wmi_(std::make_unique<FakeWmi>(state_)) {
  platform::Install(this);
}

FakeWmiPlatform::~FakeWmiPlatform() { platform::Install(nullptr); }

HRESULT FakeWmiObject::Get(std::u16string_view name, Variant& value, platform::CimType*) {
  auto found = values_.find(std::u16string(name));
  if (found == values_.end()) return platform::WBEM_E_NOT_FOUND;
  value = found->second;
  return platform::S_OK;
}

HRESULT FakeWmiObject::Put(std::u16string_view name, const Variant& value) {
  std::u16string key(name);
  if (auto refused = refused_.find(key);
      refused != refused_.end() && refused->second.count(value.vt)) {
    return platform::WBEM_E_TYPE_MISMATCH;
  }
  ++puts_;
  values_[key] = value;
  return platform::S_OK;
}

std::vector<std::u16string> FakeWmiObject::GetNames() {
  std::vector<std::u16string> names;
  for (const auto& [name, value] : values_) names.push_back(name);
  return names;
}

std::vector<uint8_t> RawDirEntry(const FakeItem& item, uint32_t entry_length) {
  std::vector<uint8_t> entry(entry_length, 0);
  auto put = [&](size_t at, uint32_t value, size_t width) {
    for (size_t i = 0; i < width && at + i < entry.size(); ++i) {
      entry[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
  };
  put(0, item.type, 2);
  put(2, item.ordinal, 2);
  put(4, item.ext, 2);
  put(6, item.attr, 2);
  put(12, item.item_length, 4);
  put(16, static_cast<uint32_t>(item.data.size()), 4);
  return entry;
}

}  // namespace skyfw::testing
