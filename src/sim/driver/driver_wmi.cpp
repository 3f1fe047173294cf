#include "sim/driver/driver_wmi.h"

#include <optional>
#include <string>

#include "sim/driver/wide_text.h"

namespace skyfw::sim {
namespace {

using platform::CIM_BOOLEAN;
using platform::CIM_FLAG_ARRAY;
using platform::CIM_STRING;
using platform::CIM_UINT16;
using platform::CIM_UINT32;
using platform::CIM_UINT8;
using platform::CimType;
using platform::HRESULT;
using platform::Variant;

constexpr CimType kByteArray = static_cast<CimType>(CIM_UINT8 | CIM_FLAG_ARRAY);
// A driver build that pads its Version property to a fixed width.
constexpr size_t kPaddedVersionLength = 512;

CimType SixteenBitType(SixteenBitInputs declared) {
  switch (declared) {
    case SixteenBitInputs::kSint16:
      return platform::CIM_SINT16;
    case SixteenBitInputs::kUint32:
      return CIM_UINT32;
    case SixteenBitInputs::kSint32:
      return platform::CIM_SINT32;
    case SixteenBitInputs::kUint16:
      break;
  }
  return CIM_UINT16;
}

std::vector<WmiParameter> InstanceProperties() {
  return {{u"InstanceName", CIM_STRING}, {u"Active", CIM_BOOLEAN}};
}

// ---- method inputs and outputs ----------------------------------------------

class Inputs {
 public:
  explicit Inputs(const WmiValues& values) : values_(values) {}

  const Variant* Find(std::u16string_view name) const {
    for (const WmiNamedValue& value : values_) {
      if (EqualsNoCase(value.name, name)) return &value.value;
    }
    return nullptr;
  }
  // The number a parameter carries, cut to the width the driver reads.
  uint32_t U32(std::u16string_view name) const { return Find(name)->Low32(); }
  uint16_t U16(std::u16string_view name) const { return static_cast<uint16_t>(U32(name)); }
  uint8_t U8(std::u16string_view name) const { return static_cast<uint8_t>(U32(name)); }
  ByteView Bytes(std::u16string_view name) const { return Find(name)->bytes; }

 private:
  const WmiValues& values_;
};

void PutU8(WmiValues& out, std::u16string name, uint8_t value) {
  out.push_back({std::move(name), Variant::UI1(value)});
}
// WMI hands uint16 and uint32 values out as VT_I4.
void PutU32(WmiValues& out, std::u16string name, uint32_t value) {
  out.push_back({std::move(name), Variant::I4(static_cast<int32_t>(value))});
}
void PutBytes(WmiValues& out, std::u16string name, std::vector<uint8_t> bytes) {
  out.push_back({std::move(name), Variant::ByteArray(std::move(bytes))});
}

// A driver error makes the method fail; GetNvmLastError then tells which.
HRESULT Verdict(const DriverOutcome& outcome) {
  return outcome.ok ? platform::S_OK : platform::WBEM_E_FAILED;
}

// ---- the methods --------------------------------------------------------------

using Method = HRESULT (*)(AdapterDriver&, std::u16string_view call, const Inputs&, WmiValues&);

std::string Call(std::u16string_view method) { return Utf16ToUtf8(method); }

HRESULT GetDirectoryInfo(AdapterDriver& driver, std::u16string_view method, const Inputs&,
                         WmiValues& out) {
  uint32_t count = 0, entry_length = 0;
  DriverOutcome outcome = driver.GetDirectoryInfo(Call(method), count, entry_length);
  if (outcome.ok) {
    PutU32(out, u"num_dir_entries", count);
    PutU32(out, u"dir_entry_length", entry_length);
  }
  return Verdict(outcome);
}

HRESULT GetDirectoryEntries(AdapterDriver& driver, std::u16string_view method, const Inputs& in,
                            WmiValues& out) {
  std::vector<uint8_t> buffer;
  DriverOutcome outcome = driver.GetDirectoryEntries(Call(method), in.U32(u"length"), buffer);
  if (outcome.ok) PutBytes(out, u"buffer", std::move(buffer));
  return Verdict(outcome);
}

HRESULT Read(AdapterDriver& driver, std::u16string_view method, const Inputs& in, WmiValues& out) {
  std::vector<uint8_t> buffer;
  DriverOutcome outcome =
      driver.Read(Call(method), in.U32(u"dir_index"), in.U32(u"offset"), in.U32(u"length"), buffer);
  if (outcome.ok) PutBytes(out, u"buffer", std::move(buffer));
  return Verdict(outcome);
}

HRESULT Create(AdapterDriver& driver, std::u16string_view method, const Inputs& in,
               WmiValues& out) {
  uint32_t index = 0;
  DriverOutcome outcome =
      driver.Create(Call(method), in.U16(u"dir_type"), in.U16(u"dir_ordinal"), in.U16(u"dir_ext"),
                    in.U16(u"dir_attr"), in.U32(u"dir_item_length"), index);
  if (outcome.ok) PutU32(out, u"dir_index", index);
  return Verdict(outcome);
}

HRESULT Modify(AdapterDriver& driver, std::u16string_view method, const Inputs& in, WmiValues&) {
  return Verdict(driver.Modify(Call(method), in.U32(u"dir_index"), in.U32(u"offset"),
                               in.U32(u"length"), in.Bytes(u"buffer")));
}

HRESULT InstallUpdate(AdapterDriver& driver, std::u16string_view method, const Inputs& in,
                      WmiValues& out) {
  InstallOutcome installed;
  DriverOutcome outcome = driver.InstallUpdate(Call(method), in.U32(u"install_type"), installed);
  if (outcome.ok) {
    PutU8(out, u"result", installed.result);
    PutU8(out, u"problem_item", installed.problem_item);
    PutU8(out, u"reset_required", installed.reset_required);
    PutU32(out, u"installed_items_0", static_cast<uint32_t>(installed.installed_items));
    PutU32(out, u"installed_items_1", static_cast<uint32_t>(installed.installed_items >> 32));
  }
  return Verdict(outcome);
}

HRESULT GetNvmOpt(AdapterDriver& driver, std::u16string_view method, const Inputs& in,
                  WmiValues& out) {
  NvmOptionQuery query;
  query.length = in.U16(u"length");
  query.option_num = in.U16(u"option_num");
  query.dimensions = in.U16(u"dimensions");
  query.index = {in.U16(u"index_0"), in.U16(u"index_1"), in.U16(u"index_2"), in.U16(u"index_3")};
  std::vector<uint8_t> value;
  DriverOutcome outcome = driver.GetNvmOpt(Call(method), query, value);
  if (outcome.ok) PutBytes(out, u"out_buff", std::move(value));
  return Verdict(outcome);
}

HRESULT GetNvmLastError(AdapterDriver& driver, std::u16string_view method, const Inputs&,
                        WmiValues& out) {
  uint16_t code = 0;
  DriverOutcome outcome = driver.GetNvmLastError(Call(method), code);
  if (outcome.ok) PutU32(out, u"ErrorCode", code);
  return Verdict(outcome);
}

HRESULT SetFwTime(AdapterDriver& driver, std::u16string_view method, const Inputs& in, WmiValues&) {
  FirmwareTime time;
  time.time_zone = in.U16(u"time_zone");
  time.year = in.U16(u"year");
  time.month = in.U8(u"month");
  time.day = in.U8(u"day");
  time.hour = in.U8(u"hour");
  time.minute = in.U8(u"minute");
  time.second = in.U8(u"second");
  time.millisecond = in.U8(u"millisecond");
  return Verdict(driver.SetFwTime(Call(method), time));
}

HRESULT ReadReg32(AdapterDriver& driver, std::u16string_view method, const Inputs& in,
                  WmiValues& out) {
  uint32_t value = 0;
  DriverOutcome outcome = driver.ReadReg32(Call(method), in.U32(u"offset"), value);
  if (outcome.ok) PutU32(out, u"value", value);
  return Verdict(outcome);
}

struct MethodEntry {
  std::u16string_view class_name;
  std::u16string_view method;
  Method run;
};

constexpr MethodEntry kMethods[] = {
    {u"NRVN_NVRAMAccess", u"GetDirectoryInfo", GetDirectoryInfo},
    {u"NRVN_NVRAMAccess", u"GetDirectoryEntries", GetDirectoryEntries},
    {u"NRVN_NVRAMAccess", u"Read", Read},
    {u"NRVN_NVRAMAccess", u"Create", Create},
    {u"NRVN_NVRAMAccess", u"Modify", Modify},
    {u"NRVN_NVRAMAccess", u"InstallUpdate", InstallUpdate},
    {u"NRVN_NVRAMAccess", u"GetNvmOpt", GetNvmOpt},
    {u"NRVN_NVRAMAccess", u"GetNvmLastError", GetNvmLastError},
    {u"NRVN_FWTime", u"SetFwTime", SetFwTime},
    {u"NRVN_HwDeviceAccess", u"ReadReg32", ReadReg32},
};

// ---- the provider ---------------------------------------------------------------

class DriverWmiProvider final : public WmiProvider {
 public:
  explicit DriverWmiProvider(std::shared_ptr<DriverAdapters> adapters)
      : adapters_(std::move(adapters)),
        sriov_class_(std::make_shared<const WmiClassDefinition>(SriovSettingClass())) {
    for (WmiClassDefinition& definition : DriverWmiClasses(adapters_->sixteen_bit_inputs())) {
      classes_.push_back(std::make_shared<const WmiClassDefinition>(std::move(definition)));
    }
  }

  std::shared_ptr<const WmiClassDefinition> ClassOf(std::u16string_view name_space,
                                                    std::u16string_view class_name) override {
    return Lookup(name_space, class_name);
  }

  HRESULT GetInstance(std::u16string_view name_space, std::u16string_view class_name,
                      std::u16string_view key_value, WmiValues& properties) override {
    std::shared_ptr<const WmiClassDefinition> definition = Lookup(name_space, class_name);
    if (definition == nullptr) return platform::WBEM_E_INVALID_CLASS;
    if (definition == sriov_class_) return SriovInstance(key_value, properties);
    std::optional<PortRef> port = adapters_->FindByTitle(key_value);
    if (!port) return platform::WBEM_E_NOT_FOUND;
    properties.push_back(
        {u"InstanceName", Variant::Bstr(Utf8ToUtf16(adapters_->port(*port).title))});
    properties.push_back({u"Active", Variant::Bool(true)});
    if (EqualsNoCase(definition->name, u"NRVN_NVRAMPackage")) {
      return AddVersion(*port, properties);
    }
    return platform::S_OK;
  }

  HRESULT ExecMethod(std::u16string_view name_space, std::u16string_view class_name,
                     std::u16string_view key_value, std::u16string_view method,
                     const WmiValues& inputs, WmiValues& outputs) override {
    std::shared_ptr<const WmiClassDefinition> definition = Lookup(name_space, class_name);
    if (definition == nullptr) return platform::WBEM_E_INVALID_CLASS;
    const WmiMethodDefinition* signature = nullptr;
    for (const WmiMethodDefinition& candidate : definition->methods) {
      if (EqualsNoCase(candidate.name, method)) signature = &candidate;
    }
    if (signature == nullptr) return platform::WBEM_E_INVALID_METHOD;
    std::optional<PortRef> port = adapters_->FindByTitle(key_value);
    if (!port) return platform::WBEM_E_NOT_FOUND;
    Inputs in(inputs);
    for (const WmiParameter& parameter : signature->inputs) {
      if (in.Find(parameter.name) == nullptr) return platform::WBEM_E_INVALID_METHOD_PARAMETERS;
    }
    for (const MethodEntry& entry : kMethods) {
      if (EqualsNoCase(entry.class_name, definition->name) &&
          entry.method == signature->name) {
        return entry.run(adapters_->driver(port->adapter), signature->name, in, outputs);
      }
    }
    return platform::WBEM_E_INVALID_METHOD;
  }

 private:
  std::shared_ptr<const WmiClassDefinition> Lookup(std::u16string_view name_space,
                                                   std::u16string_view class_name) const {
    if (EqualsNoCase(name_space, kStandardCimv2Namespace)) {
      return EqualsNoCase(class_name, sriov_class_->name) ? sriov_class_ : nullptr;
    }
    if (!EqualsNoCase(name_space, kDriverNamespace)) return nullptr;
    for (const std::shared_ptr<const WmiClassDefinition>& definition : classes_) {
      if (EqualsNoCase(definition->name, class_name)) return definition;
    }
    return nullptr;
  }

  HRESULT SriovInstance(std::u16string_view key_value, WmiValues& properties) {
    std::optional<PortRef> port = adapters_->FindByInterfaceId(key_value);
    if (!port || !adapters_->port(*port).sriov.present) return platform::WBEM_E_NOT_FOUND;
    const PortDescription& described = adapters_->port(*port);
    properties.push_back({u"InstanceID", Variant::Bstr(Utf8ToUtf16(described.interface_id))});
    properties.push_back({u"Name", Variant::Bstr(Utf8ToUtf16(described.title))});
    properties.push_back({u"Enabled", Variant::Bool(described.sriov.enabled)});
    properties.push_back({u"NumVFs", Variant::I4(static_cast<int32_t>(described.sriov.num_vfs))});
    properties.push_back(
        {u"NumAllocatedVFs", Variant::I4(static_cast<int32_t>(described.sriov.num_allocated_vfs))});
    return platform::S_OK;
  }

  HRESULT AddVersion(const PortRef& port, WmiValues& properties) {
    AdapterDriver& driver = adapters_->driver(port.adapter);
    VersionPropertyFault fault = driver.facts().faults.version_property;
    if (fault == VersionPropertyFault::kMissing) return platform::S_OK;
    std::optional<std::string> version;
    if (!driver.InstalledPackageVersion(version)) return platform::WBEM_E_PROVIDER_FAILURE;
    if (!version) {
      properties.push_back({u"Version", Variant::Null()});
      return platform::S_OK;
    }
    if (fault == VersionPropertyFault::kTooLong && version->size() < kPaddedVersionLength) {
      version->resize(kPaddedVersionLength, ' ');
    }
    properties.push_back({u"Version", Variant::Bstr(Utf8ToUtf16(*version))});
    return platform::S_OK;
  }

  std::shared_ptr<DriverAdapters> adapters_;
  std::vector<std::shared_ptr<const WmiClassDefinition>> classes_;
  std::shared_ptr<const WmiClassDefinition> sriov_class_;
};

}  // namespace

std::vector<WmiClassDefinition> DriverWmiClasses(SixteenBitInputs sixteen_bit) {
  const CimType u16 = SixteenBitType(sixteen_bit);
  WmiClassDefinition access{u"NRVN_NVRAMAccess", u"InstanceName", InstanceProperties(), {}};
  access.methods = {
      {u"GetDirectoryInfo",
       {},
       {{u"num_dir_entries", CIM_UINT32}, {u"dir_entry_length", CIM_UINT32}}},
      {u"GetDirectoryEntries", {{u"length", CIM_UINT32}}, {{u"buffer", kByteArray}}},
      {u"Read",
       {{u"dir_index", CIM_UINT32}, {u"length", CIM_UINT32}, {u"offset", CIM_UINT32}},
       {{u"buffer", kByteArray}}},
      {u"Create",
       {{u"dir_type", CIM_UINT32},
        {u"dir_ordinal", CIM_UINT32},
        {u"dir_ext", CIM_UINT32},
        {u"dir_attr", CIM_UINT32},
        {u"dir_item_length", CIM_UINT32}},
       {{u"dir_index", CIM_UINT32}}},
      {u"Modify",
       {{u"dir_index", CIM_UINT32},
        {u"offset", CIM_UINT32},
        {u"length", CIM_UINT32},
        {u"buffer", kByteArray}},
       {}},
      {u"InstallUpdate",
       {{u"install_type", CIM_UINT32}},
       {{u"result", CIM_UINT8},
        {u"problem_item", CIM_UINT8},
        {u"reset_required", CIM_UINT8},
        {u"installed_items_0", CIM_UINT32},
        {u"installed_items_1", CIM_UINT32}}},
      {u"GetNvmOpt",
       {{u"length", u16},
        {u"option_num", u16},
        {u"dimensions", u16},
        {u"index_0", u16},
        {u"index_1", u16},
        {u"index_2", u16},
        {u"index_3", u16}},
       {{u"out_buff", kByteArray}}},
      {u"GetNvmLastError", {}, {{u"ErrorCode", CIM_UINT32}}},
  };
  WmiClassDefinition clock{u"NRVN_FWTime", u"InstanceName", InstanceProperties(), {}};
  clock.methods = {{u"SetFwTime",
                    {{u"time_zone", u16},
                     {u"year", u16},
                     {u"month", CIM_UINT8},
                     {u"day", CIM_UINT8},
                     {u"hour", CIM_UINT8},
                     {u"minute", CIM_UINT8},
                     {u"second", CIM_UINT8},
                     {u"millisecond", CIM_UINT8}},
                    {}}};
  WmiClassDefinition registers{u"NRVN_HwDeviceAccess", u"InstanceName", InstanceProperties(), {}};
  registers.methods = {{u"ReadReg32", {{u"offset", CIM_UINT32}}, {{u"value", CIM_UINT32}}}};
  WmiClassDefinition package{u"NRVN_NVRAMPackage", u"InstanceName", InstanceProperties(), {}};
  package.properties.push_back({u"Version", CIM_STRING});
  return {access, clock, registers, package};
}

WmiClassDefinition SriovSettingClass() {
  return {u"MSFT_NetAdapterSriovSettingData",
          u"InstanceID",
          {{u"InstanceID", CIM_STRING},
           {u"Name", CIM_STRING},
           {u"Enabled", CIM_BOOLEAN},
           {u"NumVFs", CIM_UINT32},
           {u"NumAllocatedVFs", CIM_UINT32}},
          {}};
}

std::unique_ptr<WmiProvider> MakeDriverWmiProvider(std::shared_ptr<DriverAdapters> adapters) {
  return std::make_unique<DriverWmiProvider>(std::move(adapters));
}

}  // namespace skyfw::sim
