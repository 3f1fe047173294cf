#include "sim/machine/machine_wmi.h"

#include <map>

#include "base/text.h"
#include "base/unicode.h"

namespace skyfw::sim {
namespace {

using platform::CimType;
using platform::HRESULT;
using platform::Variant;
using platform::WmiObjectPtr;

// ---- COM state of a thread ----

struct ComState {
  uint32_t count = 0;
  uint32_t model = 0;
};

// Per thread and per machine, so machines opened side by side in one
// process (tests) keep apart.
std::map<const MachineWmi*, ComState>& ThreadComStates() {
  thread_local std::map<const MachineWmi*, ComState> states;
  return states;
}

// ---- CIM typing ----

bool IsIntegerType(CimType type) {
  switch (type) {
    case platform::CIM_SINT8:
    case platform::CIM_UINT8:
    case platform::CIM_SINT16:
    case platform::CIM_UINT16:
    case platform::CIM_SINT32:
    case platform::CIM_UINT32:
    case platform::CIM_SINT64:
    case platform::CIM_UINT64:
      return true;
    default:
      return false;
  }
}

// The VT each integer CIM type is natively written with.
uint16_t NaturalVt(CimType type) {
  switch (type) {
    case platform::CIM_SINT8:
      return platform::VT_I1;
    case platform::CIM_UINT8:
      return platform::VT_UI1;
    case platform::CIM_SINT16:
      return platform::VT_I2;
    case platform::CIM_UINT16:
      return platform::VT_UI2;
    case platform::CIM_SINT32:
      return platform::VT_I4;
    case platform::CIM_UINT32:
      return platform::VT_UI4;
    case platform::CIM_SINT64:
      return platform::VT_I8;
    default:
      return platform::VT_UI8;
  }
}

// The VT WMI hands values of the type back in.
uint16_t WmiVt(CimType type) {
  switch (type) {
    case platform::CIM_UINT8:
      return platform::VT_UI1;
    case platform::CIM_SINT8:
    case platform::CIM_SINT16:
      return platform::VT_I2;
    case platform::CIM_SINT64:
      return platform::VT_I8;
    case platform::CIM_UINT64:
      return platform::VT_UI8;
    default:
      return platform::VT_I4;
  }
}

bool IsSignedVt(uint16_t vt) {
  return vt == platform::VT_I1 || vt == platform::VT_I2 || vt == platform::VT_I4 ||
         vt == platform::VT_I8;
}

bool FitsType(int64_t value, bool from_signed, uint64_t raw, CimType type) {
  switch (type) {
    case platform::CIM_SINT8:
      return value >= -128 && value <= 127;
    case platform::CIM_UINT8:
      return value >= 0 && value <= 255;
    case platform::CIM_SINT16:
      return value >= -32768 && value <= 32767;
    case platform::CIM_UINT16:
      return value >= 0 && value <= 65535;
    case platform::CIM_SINT32:
      return value >= INT32_MIN && value <= INT32_MAX;
    case platform::CIM_UINT32:
      // A VT_I4 carries every uint32 bit pattern.
      return from_signed ? value >= INT32_MIN && value <= INT32_MAX : raw <= UINT32_MAX;
    default:
      return true;
  }
}

uint64_t Extend(uint64_t raw, CimType type) {
  switch (type) {
    case platform::CIM_SINT8:
      return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(raw)));
    case platform::CIM_UINT8:
      return raw & 0xFF;
    case platform::CIM_SINT16:
      return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(raw)));
    case platform::CIM_UINT16:
      return raw & 0xFFFF;
    case platform::CIM_SINT32:
      return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(raw)));
    case platform::CIM_UINT32:
      return raw & 0xFFFFFFFF;
    default:
      return raw;
  }
}

CimType GuessCimType(const Variant& value) {
  switch (value.vt) {
    case platform::VT_BSTR:
      return platform::CIM_STRING;
    case platform::VT_BOOL:
      return platform::CIM_BOOLEAN;
    case platform::VT_UI1:
      return platform::CIM_UINT8;
    case platform::VT_I2:
      return platform::CIM_SINT16;
    case platform::VT_UI2:
      return platform::CIM_UINT16;
    case platform::VT_UI4:
      return platform::CIM_UINT32;
    case platform::VT_I8:
      return platform::CIM_SINT64;
    case platform::VT_UI8:
      return platform::CIM_UINT64;
    case platform::VT_ARRAY | platform::VT_UI1:
      return static_cast<CimType>(platform::CIM_UINT8 | platform::CIM_FLAG_ARRAY);
    default:
      return platform::CIM_SINT32;
  }
}

// ---- objects ----

struct Property {
  std::u16string name;
  CimType type = platform::CIM_EMPTY;
  Variant value = Variant::Null();
};

// Class objects, instances, method signatures and results. Signatures and
// instances type-check Put; a class object also answers GetMethod.
class MachineWmiObject final : public platform::WmiObject {
 public:
  explicit MachineWmiObject(std::vector<Property> properties,
                            std::shared_ptr<const WmiClassDefinition> class_definition = nullptr)
      : properties_(std::move(properties)), class_(std::move(class_definition)) {}

  HRESULT Get(std::u16string_view name, Variant& value, CimType* type) override {
    const Property* property = Find(name);
    if (property == nullptr) return platform::WBEM_E_NOT_FOUND;
    value = property->value;
    if (type != nullptr) *type = property->type;
    return platform::S_OK;
  }

  HRESULT Put(std::u16string_view name, const Variant& value) override {
    Property* property = Find(name);
    if (property == nullptr) return platform::WBEM_E_NOT_FOUND;
    Variant coerced;
    if (!CoerceToCimType(value, property->type, coerced)) return platform::WBEM_E_TYPE_MISMATCH;
    property->value = coerced;
    return platform::S_OK;
  }

  HRESULT GetMethod(std::u16string_view method, WmiObjectPtr& in_signature,
                    WmiObjectPtr* out_signature) override {
    if (class_ == nullptr) return platform::WBEM_E_NOT_FOUND;
    for (const WmiMethodDefinition& definition : class_->methods) {
      if (!EqualsNoCase(definition.name, method)) continue;
      in_signature = Signature(definition.inputs);
      if (out_signature != nullptr) *out_signature = Signature(definition.outputs);
      return platform::S_OK;
    }
    return platform::WBEM_E_NOT_FOUND;
  }

  std::vector<std::u16string> GetNames() override {
    std::vector<std::u16string> names;
    for (const Property& property : properties_) names.push_back(property.name);
    return names;
  }

  // The parameters that hold a value.
  WmiValues SetValues() const {
    WmiValues values;
    values.reserve(properties_.size());
    for (const Property& property : properties_) {
      if (property.value.vt != platform::VT_NULL && property.value.vt != platform::VT_EMPTY) {
        values.push_back({property.name, property.value});
      }
    }
    return values;
  }

  static WmiObjectPtr Signature(const std::vector<WmiParameter>& parameters) {
    if (parameters.empty()) return nullptr;
    std::vector<Property> properties;
    properties.reserve(parameters.size());
    for (const WmiParameter& parameter : parameters) {
      properties.push_back({parameter.name, parameter.type, Variant::Null()});
    }
    return std::make_shared<MachineWmiObject>(std::move(properties));
  }

 private:
  Property* Find(std::u16string_view name) {
    for (Property& property : properties_) {
      if (EqualsNoCase(property.name, name)) return &property;
    }
    return nullptr;
  }

  std::vector<Property> properties_;
  std::shared_ptr<const WmiClassDefinition> class_;  // null unless a class object
};

// Values as the provider gave them, typed by the declarations where known.
std::vector<Property> TypedProperties(const WmiValues& values,
                                      const std::vector<WmiParameter>& declared) {
  std::vector<Property> properties;
  properties.reserve(values.size());
  for (const WmiNamedValue& value : values) {
    CimType type = GuessCimType(value.value);
    for (const WmiParameter& parameter : declared) {
      if (EqualsNoCase(parameter.name, value.name)) type = parameter.type;
    }
    properties.push_back({value.name, type, value.value});
  }
  return properties;
}

// ---- connection ----

class MachineWmiServices final : public platform::WmiServices {
 public:
  MachineWmiServices(MachineWmi& wmi, std::u16string name_space)
      : wmi_(wmi), name_space_(std::move(name_space)) {}

  HRESULT GetObject(std::u16string_view path, WmiObjectPtr& object) override {
    WmiObjectPath parsed;
    std::u16string name_space;
    HRESULT hr = Resolve(path, parsed, name_space);
    if (platform::FAILED(hr)) return hr;
    std::shared_ptr<const WmiClassDefinition> found =
        wmi_.provider() == nullptr ? nullptr
                                   : wmi_.provider()->ClassOf(name_space, parsed.class_name);
    if (found == nullptr) return platform::WBEM_E_INVALID_CLASS;
    const WmiClassDefinition& definition = *found;
    if (parsed.key_name.empty()) {
      std::vector<Property> properties;
      properties.reserve(definition.properties.size());
      for (const WmiParameter& parameter : definition.properties) {
        properties.push_back({parameter.name, parameter.type, Variant::Null()});
      }
      object = std::make_shared<MachineWmiObject>(std::move(properties), found);
      return platform::S_OK;
    }
    if (!EqualsNoCase(parsed.key_name, definition.key_property)) {
      return platform::WBEM_E_INVALID_OBJECT_PATH;
    }
    WmiValues values;
    hr = wmi_.provider()->GetInstance(name_space, definition.name, parsed.key_value, values);
    if (platform::FAILED(hr)) return hr;
    object = std::make_shared<MachineWmiObject>(TypedProperties(values, definition.properties));
    return platform::S_OK;
  }

  HRESULT ExecMethod(std::u16string_view object_path, std::u16string_view method,
                     const WmiObjectPtr& in_params, WmiObjectPtr* out_params) override {
    WmiObjectPath parsed;
    std::u16string name_space;
    HRESULT hr = Resolve(object_path, parsed, name_space);
    if (platform::FAILED(hr)) return hr;
    std::shared_ptr<const WmiClassDefinition> class_found =
        wmi_.provider() == nullptr ? nullptr
                                   : wmi_.provider()->ClassOf(name_space, parsed.class_name);
    if (class_found == nullptr) return platform::WBEM_E_INVALID_CLASS;
    const WmiClassDefinition& definition = *class_found;
    if (parsed.key_name.empty() || !EqualsNoCase(parsed.key_name, definition.key_property)) {
      return platform::WBEM_E_INVALID_OBJECT_PATH;
    }
    const WmiMethodDefinition* found = nullptr;
    for (const WmiMethodDefinition& candidate : definition.methods) {
      if (EqualsNoCase(candidate.name, method)) found = &candidate;
    }
    if (found == nullptr) return platform::WBEM_E_INVALID_METHOD;
    WmiValues inputs;
    if (in_params != nullptr) {
      auto* signature = dynamic_cast<MachineWmiObject*>(in_params.get());
      if (signature == nullptr) return platform::WBEM_E_INVALID_METHOD_PARAMETERS;
      inputs = signature->SetValues();
    }
    WmiValues outputs;
    hr = wmi_.provider()->ExecMethod(name_space, definition.name, parsed.key_value, found->name,
                                     inputs, outputs);
    if (platform::FAILED(hr)) return hr;
    if (out_params != nullptr) {
      *out_params = std::make_shared<MachineWmiObject>(TypedProperties(outputs, found->outputs));
    }
    return platform::S_OK;
  }

 private:
  // The path's namespace (or the connection's) and the parsed path.
  HRESULT Resolve(std::u16string_view path, WmiObjectPath& parsed, std::u16string& name_space) {
    if (!ParseWmiObjectPath(path, parsed)) return platform::WBEM_E_INVALID_OBJECT_PATH;
    if (!parsed.host.empty() && parsed.host != u"." &&
        !EqualsNoCase(parsed.host, Utf8ToUtf16(wmi_.description().computer_name))) {
      return platform::WBEM_E_TRANSPORT_FAILURE;
    }
    name_space = name_space_;
    if (!parsed.name_space.empty()) return wmi_.ResolveNamespace(parsed.name_space, name_space);
    return platform::S_OK;
  }

  MachineWmi& wmi_;
  std::u16string name_space_;
};

class MachineWmiLocator final : public platform::WmiLocator {
 public:
  explicit MachineWmiLocator(MachineWmi& wmi) : wmi_(wmi) {}

  HRESULT ConnectServer(std::u16string_view name_space, int32_t,
                        std::unique_ptr<platform::WmiServices>& services) override {
    if (!wmi_.ThreadInitialized()) return platform::CO_E_NOTINITIALIZED;
    std::u16string canonical;
    HRESULT hr = wmi_.ResolveNamespace(name_space, canonical);
    if (platform::FAILED(hr)) return hr;
    services = std::make_unique<MachineWmiServices>(wmi_, canonical);
    return platform::S_OK;
  }

 private:
  MachineWmi& wmi_;
};

}  // namespace

bool ParseWmiObjectPath(std::u16string_view path, WmiObjectPath& parsed) {
  parsed = WmiObjectPath{};
  std::u16string_view rest = path;
  // The namespace ends at the first colon before the quoted key value: an
  // instance name (an adapter's title) may hold colons of its own.
  size_t colon = rest.substr(0, rest.find(u'"')).find(u':');
  if (colon != std::u16string_view::npos) {
    std::u16string_view prefix = rest.substr(0, colon);
    rest = rest.substr(colon + 1);
    if (prefix.size() >= 2 && prefix[0] == u'\\' && prefix[1] == u'\\') {
      prefix = prefix.substr(2);
      size_t slash = prefix.find(u'\\');
      if (slash == std::u16string_view::npos || slash == 0) return false;
      parsed.host = prefix.substr(0, slash);
      prefix = prefix.substr(slash + 1);
    }
    if (prefix.empty()) return false;
    parsed.name_space = prefix;
  }
  size_t dot = rest.find(u'.');
  parsed.class_name = rest.substr(0, dot);
  if (parsed.class_name.empty()) return false;
  for (char16_t c : parsed.class_name) {
    bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
              c == u'_';
    if (!ok) return false;
  }
  if (dot == std::u16string_view::npos) return true;
  std::u16string_view key = rest.substr(dot + 1);
  size_t equals = key.find(u'=');
  if (equals == std::u16string_view::npos || equals == 0) return false;
  parsed.key_name = key.substr(0, equals);
  std::u16string_view quoted = key.substr(equals + 1);
  if (quoted.size() < 2 || quoted.front() != u'"' || quoted.back() != u'"') return false;
  quoted = quoted.substr(1, quoted.size() - 2);
  parsed.key_value.reserve(quoted.size());
  for (size_t i = 0; i < quoted.size(); ++i) {
    char16_t c = quoted[i];
    if (c == u'\\') {
      if (i + 1 >= quoted.size()) return false;
      parsed.key_value.push_back(quoted[++i]);
    } else if (c == u'"') {
      return false;  // an unescaped quote ends the value early
    } else {
      parsed.key_value.push_back(c);
    }
  }
  return true;
}

bool CoerceToCimType(const Variant& value, CimType type, Variant& coerced) {
  if (value.vt == platform::VT_NULL || value.vt == platform::VT_EMPTY) {
    coerced = Variant::Null();
    return true;
  }
  if (type == platform::CIM_STRING) {
    if (value.vt != platform::VT_BSTR) return false;
    coerced = value;
    return true;
  }
  if (type == platform::CIM_BOOLEAN) {
    if (value.vt != platform::VT_BOOL) return false;
    coerced = Variant::Bool(value.bits != 0);
    return true;
  }
  if (type == (platform::CIM_UINT8 | platform::CIM_FLAG_ARRAY)) {
    if (value.vt != (platform::VT_ARRAY | platform::VT_UI1)) return false;
    coerced = value;
    return true;
  }
  if (!IsIntegerType(type)) return false;
  // Integers: the type's own VT, or VT_I4 (how automation clients write
  // every integer), when the number fits.
  if (value.vt != NaturalVt(type) && value.vt != platform::VT_I4) return false;
  bool from_signed = IsSignedVt(value.vt);
  int64_t number = from_signed ? value.AsSigned() : static_cast<int64_t>(value.bits);
  if (!from_signed && value.bits > static_cast<uint64_t>(INT64_MAX) &&
      type != platform::CIM_UINT64) {
    return false;
  }
  if (!FitsType(number, from_signed, value.bits, type)) return false;
  coerced = Variant{};
  coerced.vt = WmiVt(type);
  coerced.bits = Extend(value.bits, type);
  return true;
}

// ---- MachineWmi ----

HRESULT MachineWmi::CoInitializeEx(uint32_t model) {
  ComState& state = ThreadComStates()[this];
  // A thread of this machine may already live in a single-threaded apartment.
  uint32_t current = state.count > 0                  ? state.model
                     : description_.faults.sta_thread ? platform::COINIT_APARTMENTTHREADED
                                                      : model;
  if (current != model) return platform::RPC_E_CHANGED_MODE;
  bool first = state.count == 0;
  ++state.count;
  state.model = model;
  return first ? platform::S_OK : platform::S_FALSE;
}

void MachineWmi::CoUninitialize() {
  auto& states = ThreadComStates();
  auto it = states.find(this);
  if (it == states.end() || it->second.count == 0) return;
  if (--it->second.count == 0) states.erase(it);
}

bool MachineWmi::ThreadInitialized() const {
  auto& states = ThreadComStates();
  auto it = states.find(this);
  return it != states.end() && it->second.count > 0;
}

HRESULT MachineWmi::CoInitializeSecurity() {
  if (!ThreadInitialized()) return platform::CO_E_NOTINITIALIZED;
  bool was_set = security_set_.exchange(true);
  return was_set ? platform::RPC_E_TOO_LATE : platform::S_OK;
}

HRESULT MachineWmi::CoCreateLocator(std::unique_ptr<platform::WmiLocator>& locator) {
  if (!ThreadInitialized()) return platform::CO_E_NOTINITIALIZED;
  locator = std::make_unique<MachineWmiLocator>(*this);
  return platform::S_OK;
}

HRESULT MachineWmi::ResolveNamespace(std::u16string_view name_space, std::u16string& canonical) {
  std::u16string_view name = name_space;
  // "\\\\.\\root\\wmi" and "\\\\HOST\\root\\wmi" name the local namespace too.
  if (name.size() >= 2 && name[0] == u'\\' && name[1] == u'\\') {
    size_t slash = name.find(u'\\', 2);
    if (slash == std::u16string_view::npos) return platform::WBEM_E_INVALID_NAMESPACE;
    std::u16string_view host = name.substr(2, slash - 2);
    if (host != u"." && !EqualsNoCase(host, Utf8ToUtf16(description_.computer_name))) {
      return platform::WBEM_E_TRANSPORT_FAILURE;
    }
    name = name.substr(slash + 1);
  }
  static const std::u16string kKnown[] = {u"root\\wmi", u"root\\standardcimv2", u"root\\cimv2",
                                          u"root"};
  for (const std::u16string& known : kKnown) {
    if (!EqualsNoCase(known, name)) continue;
    for (const std::string& unreachable : description_.faults.unreachable_namespaces) {
      if (EqualsNoCase(Utf8ToUtf16(unreachable), known)) return platform::WBEM_E_TRANSPORT_FAILURE;
    }
    canonical = known;
    return platform::S_OK;
  }
  return platform::WBEM_E_INVALID_NAMESPACE;
}

}  // namespace skyfw::sim
