// machine.json reader. Every field is checked and the first problem is
// reported as "<field path>: <why>". Unknown fields are refused too, so a
// misspelt fault does not silently leave the machine healthy.
#include <nlohmann/json.hpp>
#include <set>

#include "os/ip_address_text.h"
#include "sim/driver/initial_nvram.h"
#include "sim/machine/machine.h"
#include "base/text.h"
#include "nvm/chip_registers.h"

namespace skyfw::sim {
namespace {

using Json = nlohmann::ordered_json;
using platform::RegistryValue;

constexpr const char* kNetClassKey = "{4d36e972-e325-11ce-bfc1-08002be10318}";

// The first problem found while reading. After it the reader goes on with
// harmless defaults (empty texts, zeros, skipped entries), so every
// function simply returns; ParseMachineDescription reports the problem.
thread_local std::string* first_problem = nullptr;

void Fail(const std::string& path, const std::string& why) {
  if (first_problem != nullptr && first_problem->empty()) *first_problem = path + ": " + why;
}

const Json& NullJson() {
  static const Json null_value;
  return null_value;
}

const Json& EmptyArray() {
  static const Json empty = Json::array();
  return empty;
}

std::string Shown(const Json& value) {
  std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

// A JSON object being read: remembers its path and which fields were used.
class Fields {
 public:
  Fields(const Json& object, std::string path) : object_(object), path_(std::move(path)) {
    if (!object_.is_object()) Fail(path_, "expected an object, got " + Shown(object_));
  }

  const std::string& path() const { return path_; }
  std::string PathOf(const std::string& name) const {
    return path_.empty() ? name : path_ + "." + name;
  }

  const Json* Find(const std::string& name) {
    used_.insert(name);
    auto it = object_.find(name);
    if (it == object_.end() || it->is_null()) return nullptr;
    return &*it;
  }
  const Json& Need(const std::string& name) {
    const Json* value = Find(name);
    if (value == nullptr) {
      Fail(PathOf(name), "missing (required)");
      return NullJson();
    }
    return *value;
  }

  // Refuses fields nobody asked for.
  void Finish() const {
    if (!object_.is_object()) return;
    for (auto it = object_.begin(); it != object_.end(); ++it) {
      if (used_.count(it.key()) == 0) Fail(PathOf(it.key()), "unknown field");
    }
  }

 private:
  const Json& object_;
  std::string path_;
  std::set<std::string> used_;
};

// Integers: JSON numbers, or texts in decimal or 0x-hexadecimal.
uint64_t ToNumber(const Json& value, const std::string& path, uint64_t max) {
  uint64_t number = 0;
  if (value.is_number_unsigned()) {
    number = value.get<uint64_t>();
  } else if (value.is_number_integer()) {
    Fail(path, "expected a non-negative integer, got " + Shown(value));
    return 0;
  } else if (value.is_string()) {
    std::string text = value.get<std::string>();
    int base = 10;
    std::string digits = text;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      base = 16;
      digits = text.substr(2);
    }
    if (digits.empty() || digits.size() > 20) {
      Fail(path, "expected an integer (decimal or 0x hexadecimal), got " + Shown(value));
      return 0;
    }
    for (char c : digits) {
      const int digit = HexDigitValue(c);
      if (digit < 0 || digit >= base) {
        Fail(path, "expected an integer (decimal or 0x hexadecimal), got " + Shown(value));
        return 0;
      }
    }
    const std::optional<uint64_t> parsed = ParseDigits(digits, base, UINT64_MAX);
    if (!parsed) {
      Fail(path, "number too large: " + Shown(value));
      return 0;
    }
    number = *parsed;
  } else {
    Fail(path, "expected an integer, got " + Shown(value));
    return 0;
  }
  if (number > max) {
    Fail(path, "out of range: " + Shown(value) + " exceeds " + std::to_string(max));
    return 0;
  }
  return number;
}

int64_t ToSigned(const Json& value, const std::string& path, int64_t min, int64_t max) {
  if (value.is_number_integer()) {
    int64_t number = value.get<int64_t>();
    if (number < min || number > max) {
      Fail(path, "out of range: " + Shown(value));
      return 0;
    }
    return number;
  }
  return static_cast<int64_t>(ToNumber(value, path, static_cast<uint64_t>(max)));
}

template <typename T>
T Number(Fields& fields, const std::string& name, T fallback) {
  const Json* value = fields.Find(name);
  if (value == nullptr) return fallback;
  return static_cast<T>(ToNumber(*value, fields.PathOf(name), std::numeric_limits<T>::max()));
}

template <typename T>
T NeedNumber(Fields& fields, const std::string& name) {
  return static_cast<T>(
      ToNumber(fields.Need(name), fields.PathOf(name), std::numeric_limits<T>::max()));
}

std::string ToText(const Json& value, const std::string& path) {
  if (!value.is_string()) {
    Fail(path, "expected a text, got " + Shown(value));
    return {};
  }
  return value.get<std::string>();
}

std::string Text(Fields& fields, const std::string& name, std::string fallback = {}) {
  const Json* value = fields.Find(name);
  return value == nullptr ? fallback : ToText(*value, fields.PathOf(name));
}

bool Flag(Fields& fields, const std::string& name, bool fallback) {
  const Json* value = fields.Find(name);
  if (value == nullptr) return fallback;
  if (!value->is_boolean()) {
    Fail(fields.PathOf(name), "expected true or false, got " + Shown(*value));
    return fallback;
  }
  return value->get<bool>();
}

const Json& ArrayAt(const Json& value, const std::string& path) {
  if (!value.is_array()) {
    Fail(path, "expected an array, got " + Shown(value));
    return EmptyArray();
  }
  return value;
}

std::string Indexed(const std::string& path, size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

std::vector<uint8_t> HexBytes(const Json& value, const std::string& path) {
  std::string text = ToText(value, path);
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == '-') continue;
    const int digit = HexDigitValue(c);
    if (digit < 0) {
      Fail(path, "expected hexadecimal bytes, found '" + std::string(1, c) + "'");
      return {};
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) Fail(path, "odd number of hexadecimal digits");
  return bytes;
}

std::array<uint8_t, 6> Mac(const Json& value, const std::string& path) {
  std::vector<uint8_t> bytes = HexBytes(value, path);
  std::array<uint8_t, 6> mac{};
  if (bytes.size() != 6) {
    Fail(path, "expected six bytes like \"02:0A:3B:1C:2D:4E\", got " + Shown(value));
    return mac;
  }
  std::copy(bytes.begin(), bytes.end(), mac.begin());
  return mac;
}

std::array<uint8_t, 16> Ipv6Address(const Json& value, const std::string& path) {
  std::string text = ToText(value, path);
  std::array<uint8_t, 16> address{};
  if (!platform::ParseIpv6Text(text, address)) {
    Fail(path, "not an IPv6 address: " + Shown(value));
  }
  return address;
}

void CheckIpv4(const std::string& text, const std::string& path) {
  if (text.empty()) return;
  std::array<uint8_t, 4> address{};
  if (!platform::ParseIpv4Text(text, address)) {
    Fail(path, "not a dotted IPv4 address: \"" + text + "\"");
  }
}

platform::Guid GuidField(const Json& value, const std::string& path) {
  std::string text = ToText(value, path);
  auto guid = platform::Guid::Parse(text);
  if (!guid) {
    Fail(path, "not a GUID like \"{01234567-89AB-CDEF-0123-456789ABCDEF}\": " + Shown(value));
    return {};
  }
  return *guid;
}

// Registry values: a number is a REG_DWORD, a text a REG_SZ, an array of
// texts a REG_MULTI_SZ; {"type": "REG_...", "value": ...} says the type.
RegistryValue ToRegistryValue(const Json& value, const std::string& path) {
  if (value.is_number()) {
    return RegistryValue::Dword(static_cast<uint32_t>(ToNumber(value, path, UINT32_MAX)));
  }
  if (value.is_string()) return RegistryValue::Text(value.get<std::string>());
  if (value.is_array()) {
    RegistryValue multi;
    multi.type = platform::REG_MULTI_SZ;
    for (size_t i = 0; i < value.size(); ++i) {
      std::string text = ToText(value[i], Indexed(path, i));
      multi.data.insert(multi.data.end(), text.begin(), text.end());
      multi.data.push_back(0);
    }
    multi.data.push_back(0);
    return multi;
  }
  Fields fields(value, path);
  std::string type = ToText(fields.Need("type"), fields.PathOf("type"));
  const Json& data = fields.Need("value");
  RegistryValue result;
  if (type == "REG_SZ" || type == "REG_EXPAND_SZ") {
    result = RegistryValue::Text(ToText(data, fields.PathOf("value")),
                                 type == "REG_SZ" ? platform::REG_SZ : platform::REG_EXPAND_SZ);
  } else if (type == "REG_DWORD") {
    result = RegistryValue::Dword(
        static_cast<uint32_t>(ToNumber(data, fields.PathOf("value"), UINT32_MAX)));
  } else if (type == "REG_QWORD") {
    uint64_t number = ToNumber(data, fields.PathOf("value"), UINT64_MAX);
    result.type = platform::REG_QWORD;
    for (int i = 0; i < 8; ++i) result.data.push_back(static_cast<uint8_t>(number >> (8 * i)));
  } else if (type == "REG_BINARY") {
    result = RegistryValue::Binary(HexBytes(data, fields.PathOf("value")));
  } else if (type == "REG_MULTI_SZ") {
    result = ToRegistryValue(ArrayAt(data, fields.PathOf("value")), fields.PathOf("value"));
  } else {
    Fail(fields.PathOf("type"),
         "expected REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_MULTI_SZ, got " +
             Shown(fields.Need("type")));
  }
  fields.Finish();
  return result;
}

std::vector<std::pair<std::string, RegistryValue>> RegistryValues(const Json& value,
                                                                  const std::string& path) {
  std::vector<std::pair<std::string, RegistryValue>> values;
  if (!value.is_object()) {
    Fail(path, "expected an object of values, got " + Shown(value));
    return values;
  }
  for (auto it = value.begin(); it != value.end(); ++it) {
    values.emplace_back(it.key(), ToRegistryValue(it.value(), path + "." + it.key()));
  }
  return values;
}

// Adds values to the key at `key_path`, creating it; a value given twice
// with different contents is refused.
void MergeKey(MachineDescription& machine, const std::string& key_path,
              const std::vector<std::pair<std::string, RegistryValue>>& values,
              const std::string& field_path) {
  RegistryKeyDescription* key = nullptr;
  for (auto& existing : machine.registry) {
    if (EqualsNoCase(existing.path, key_path)) key = &existing;
  }
  if (key == nullptr) {
    machine.registry.push_back({key_path, {}});
    key = &machine.registry.back();
  }
  for (const auto& [name, value] : values) {
    bool merged = false;
    for (auto& [existing_name, existing_value] : key->values) {
      if (!EqualsNoCase(existing_name, name)) continue;
      if (existing_value.type != value.type || existing_value.data != value.data) {
        Fail(field_path, "value \"" + name + "\" of key \"" + key_path +
                             "\" is already given with other contents");
      }
      merged = true;
    }
    if (!merged) key->values.emplace_back(name, value);
  }
}

const platform::RegistryValue* FindValue(
    const std::vector<std::pair<std::string, RegistryValue>>& values, std::string_view name) {
  for (const auto& [value_name, value] : values) {
    if (EqualsNoCase(value_name, name)) return &value;
  }
  return nullptr;
}

// ---- adapters --------------------------------------------------------------

PciIdentity ReadPci(const Json& value, const std::string& path) {
  Fields fields(value, path);
  PciIdentity pci;
  pci.vendor_id = NeedNumber<uint16_t>(fields, "vendor_id");
  pci.device_id = NeedNumber<uint16_t>(fields, "device_id");
  pci.subsystem_id = Number<uint16_t>(fields, "subsystem_id", 0);
  pci.subsystem_vendor_id = Number<uint16_t>(fields, "subsystem_vendor_id", 0);
  pci.revision = Number<uint8_t>(fields, "revision", 0);
  fields.Finish();
  return pci;
}

std::vector<std::pair<std::string, std::string>> VpdKeywords(const Json& value,
                                                             const std::string& path) {
  std::vector<std::pair<std::string, std::string>> keywords;
  if (!value.is_object()) {
    Fail(path, "expected an object of keywords, got " + Shown(value));
    return keywords;
  }
  for (auto it = value.begin(); it != value.end(); ++it) {
    std::string where = path + "." + it.key();
    if (it.key().size() != 2) Fail(where, "a VPD keyword has exactly two characters");
    if (it.key() == "RV" || it.key() == "RW") {
      Fail(where, "RV and RW are added by the driver (checksum and free area)");
    }
    std::string text = ToText(it.value(), where);
    if (text.size() > 255) Fail(where, "a VPD keyword value holds at most 255 bytes");
    keywords.emplace_back(it.key(), text);
  }
  return keywords;
}

VpdDescription ReadVpd(const Json& value, const std::string& path) {
  Fields fields(value, path);
  VpdDescription vpd;
  vpd.identifier = Text(fields, "identifier");
  if (vpd.identifier.size() > 0xFFFF) Fail(fields.PathOf("identifier"), "too long");
  if (const Json* ro = fields.Find("read_only")) {
    vpd.read_only = VpdKeywords(*ro, fields.PathOf("read_only"));
  }
  if (const Json* rw = fields.Find("read_write")) {
    vpd.read_write = VpdKeywords(*rw, fields.PathOf("read_write"));
  }
  vpd.read_write_free = Number<uint32_t>(fields, "read_write_free", 64);
  if (vpd.read_write_free > 255) {
    Fail(fields.PathOf("read_write_free"), "the RW keyword holds at most 255 bytes");
  }
  fields.Finish();
  return vpd;
}

std::string PackageLogRecord(const Json& value, const std::string& path) {
  std::string record;
  if (value.is_array()) {
    for (size_t i = 0; i < value.size(); ++i) {
      if (i > 0) record.push_back('\t');
      record += ToText(value[i], Indexed(path, i));
    }
  } else {
    record = ToText(value, path);
  }
  if (record.find('\n') != std::string::npos) {
    Fail(path, "a package log record holds no line feed (records are separated by them)");
  }
  return record;
}

NvramItemDescription ReadNvramItem(const Json& value, const std::string& path) {
  Fields fields(value, path);
  NvramItemDescription item;
  item.type = NeedNumber<uint16_t>(fields, "type");
  if (item.type == 0) Fail(fields.PathOf("type"), "type 0 marks an empty directory entry");
  item.ordinal = Number<uint16_t>(fields, "ordinal", 0);
  item.extension = Number<uint16_t>(fields, "ext", 0);
  item.attributes = Number<uint16_t>(fields, "attr", 0);
  const Json* hex = fields.Find("hex");
  const Json* text = fields.Find("text");
  if (hex != nullptr && text != nullptr) Fail(path, "give either \"hex\" or \"text\", not both");
  if (hex != nullptr) item.data = HexBytes(*hex, fields.PathOf("hex"));
  if (text != nullptr) {
    std::string data = ToText(*text, fields.PathOf("text"));
    item.data.assign(data.begin(), data.end());
  }
  item.item_length = Number<uint32_t>(fields, "length", static_cast<uint32_t>(item.data.size()));
  if (item.item_length < item.data.size()) {
    Fail(fields.PathOf("length"),
         "smaller than the item's data (" + std::to_string(item.data.size()) + " bytes)");
  }
  fields.Finish();
  return item;
}

DriverFaults ReadDriverFaults(const Json& value, const std::string& path) {
  Fields fields(value, path);
  DriverFaults faults;
  if (const Json* calls = fields.Find("calls")) {
    const Json& calls_list = ArrayAt(*calls, fields.PathOf("calls"));
    for (size_t i = 0; i < calls_list.size(); ++i) {
      Fields call(calls_list.at(i), Indexed(fields.PathOf("calls"), i));
      MethodFault fault;
      fault.call = ToText(call.Need("call"), call.PathOf("call"));
      if (fault.call.empty()) Fail(call.PathOf("call"), "names a method or request; empty");
      fault.error = NeedNumber<uint16_t>(call, "error");
      fault.at = Number<uint32_t>(call, "at", 0);
      call.Finish();
      faults.calls.push_back(fault);
    }
  }
  if (const Json* refusal = fields.Find("install_refusal")) {
    Fields refuse(*refusal, fields.PathOf("install_refusal"));
    InstallRefusalFault fault;
    fault.result = NeedNumber<uint8_t>(refuse, "result");
    if (fault.result == 0) Fail(refuse.PathOf("result"), "0 means success; a refusal is 1 to 255");
    fault.problem_item = Number<uint8_t>(refuse, "problem_item", 0xFF);
    fault.at = Number<uint32_t>(refuse, "at", 0);
    refuse.Finish();
    faults.install_refusal = fault;
  }
  if (const Json* inputs = fields.Find("sixteen_bit_inputs")) {
    std::string kind = ToText(*inputs, fields.PathOf("sixteen_bit_inputs"));
    if (kind == "uint16") {
      faults.sixteen_bit_inputs = SixteenBitInputs::kUint16;
    } else if (kind == "sint16") {
      faults.sixteen_bit_inputs = SixteenBitInputs::kSint16;
    } else if (kind == "uint32") {
      faults.sixteen_bit_inputs = SixteenBitInputs::kUint32;
    } else if (kind == "sint32") {
      faults.sixteen_bit_inputs = SixteenBitInputs::kSint32;
    } else {
      Fail(fields.PathOf("sixteen_bit_inputs"),
           "expected \"uint16\", \"sint16\", \"uint32\" or \"sint32\", got " + Shown(*inputs));
    }
  }
  if (const Json* version = fields.Find("version_property")) {
    std::string kind = ToText(*version, fields.PathOf("version_property"));
    if (kind == "none") {
      faults.version_property = VersionPropertyFault::kNone;
    } else if (kind == "missing") {
      faults.version_property = VersionPropertyFault::kMissing;
    } else if (kind == "too_long") {
      faults.version_property = VersionPropertyFault::kTooLong;
    } else {
      Fail(fields.PathOf("version_property"),
           "expected \"none\", \"missing\" or \"too_long\", got " + Shown(*version));
    }
  }
  fields.Finish();
  return faults;
}

AdapterDescription ReadAdapter(const Json& value, const std::string& path) {
  Fields fields(value, path);
  AdapterDescription adapter;
  adapter.id = ToText(fields.Need("id"), fields.PathOf("id"));
  if (adapter.id.empty() || adapter.id.size() > 64) {
    Fail(fields.PathOf("id"), "1 to 64 characters of letters, digits, '-' and '_'");
  }
  for (char c : adapter.id) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_';
    if (!ok) Fail(fields.PathOf("id"), "1 to 64 characters of letters, digits, '-' and '_'");
  }
  adapter.pci = ReadPci(fields.Need("pci"), fields.PathOf("pci"));
  adapter.nvm_option1 = NeedNumber<uint64_t>(fields, "nvm_option1");
  if (const Json* registers = fields.Find("registers")) {
    if (!registers->is_object()) {
      Fail(fields.PathOf("registers"),
           "expected an object of offset: value, got " + Shown(*registers));
    }
    for (auto it = registers->begin(); registers->is_object() && it != registers->end(); ++it) {
      std::string where = fields.PathOf("registers") + "." + it.key();
      auto offset = static_cast<uint32_t>(ToNumber(Json(it.key()), where, UINT32_MAX));
      adapter.registers[offset] = static_cast<uint32_t>(ToNumber(it.value(), where, UINT32_MAX));
    }
  }
  if (const Json* bars = fields.Find("bars")) {
    const Json& bars_list = ArrayAt(*bars, fields.PathOf("bars"));
    if (bars_list.size() > kBaseAddressCount) Fail(fields.PathOf("bars"), "at most four base addresses");
    for (size_t i = 0; i < bars_list.size(); ++i) {
      adapter.registers[kBaseAddressRegister + 4 * static_cast<uint32_t>(i)] = static_cast<uint32_t>(
          ToNumber(bars_list.at(i), Indexed(fields.PathOf("bars"), i), UINT32_MAX));
    }
  }
  if (const Json* chip = fields.Find("chip")) {
    Fields chip_fields(*chip, fields.PathOf("chip"));
    adapter.registers[kChipNumberRegister] = NeedNumber<uint32_t>(chip_fields, "number");
    adapter.registers[kChipRevisionRegister] = NeedNumber<uint32_t>(chip_fields, "revision");
    adapter.registers[kChipMetalRegister] = NeedNumber<uint32_t>(chip_fields, "metal");
    chip_fields.Finish();
  }
  if (const Json* vpd = fields.Find("vpd")) adapter.vpd = ReadVpd(*vpd, fields.PathOf("vpd"));
  if (const Json* log = fields.Find("package_log")) {
    const Json& log_list = ArrayAt(*log, fields.PathOf("package_log"));
    for (size_t i = 0; i < log_list.size(); ++i) {
      adapter.package_log.push_back(
          PackageLogRecord(log_list.at(i), Indexed(fields.PathOf("package_log"), i)));
    }
  }
  adapter.package_log_length = Number<uint32_t>(fields, "package_log_length", 4096);
  size_t log_bytes = 0;
  for (const auto& record : adapter.package_log) log_bytes += record.size() + 1;
  if (log_bytes > adapter.package_log_length) {
    Fail(fields.PathOf("package_log"), "the records (" + std::to_string(log_bytes) +
                                           " bytes) exceed package_log_length (" +
                                           std::to_string(adapter.package_log_length) + ")");
  }
  adapter.update_area_length = Number<uint32_t>(fields, "update_area_length", 65536);
  if (const Json* items = fields.Find("nvram_items")) {
    const Json& items_list = ArrayAt(*items, fields.PathOf("nvram_items"));
    for (size_t i = 0; i < items_list.size(); ++i) {
      std::string where = Indexed(fields.PathOf("nvram_items"), i);
      NvramItemDescription item = ReadNvramItem(items_list.at(i), where);
      for (const auto& other : adapter.nvram_items) {
        if (other.type == item.type && other.ordinal == item.ordinal &&
            other.extension == item.extension) {
          Fail(where, "an item of this type, ordinal and extension is already listed");
        }
      }
      bool reserved = item.ordinal == 0 && item.extension == 0 &&
                      (item.type == 1 || item.type == 2 || (item.type == 5 && adapter.vpd));
      if (reserved) {
        Fail(where + ".type",
             "items 1 (package log), 2 (update area) and 5 (VPD, when \"vpd\" is "
             "given) come from their own fields");
      }
      adapter.nvram_items.push_back(std::move(item));
    }
  }
  if (const Json* faults = fields.Find("faults")) {
    adapter.faults = ReadDriverFaults(*faults, fields.PathOf("faults"));
  }
  // The flash size, and with it every item's place in the layout, is 32-bit:
  // lengths that add up to more would wrap it round to a small flash.
  const uint64_t factory_bytes = InitialNvramBytes(adapter);
  if (factory_bytes > UINT32_MAX) {
    Fail(path, "the factory NVRAM items need " + std::to_string(factory_bytes) +
                   " bytes, more than a 32-bit flash holds");
  }
  fields.Finish();
  return adapter;
}

// ---- devices ---------------------------------------------------------------

PortDescription ReadPort(const Json& value, const std::string& path) {
  Fields fields(value, path);
  PortDescription port;
  port.permanent_mac = Mac(fields.Need("permanent_mac"), fields.PathOf("permanent_mac"));
  port.current_mac = port.permanent_mac;
  if (const Json* mac = fields.Find("current_mac")) {
    port.current_mac = Mac(*mac, fields.PathOf("current_mac"));
  }
  if (const Json* ndis = fields.Find("ndis_version")) {
    std::string text = ToText(*ndis, fields.PathOf("ndis_version"));
    unsigned major = 0, minor = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%u.%u%c", &major, &minor, &extra) != 2 || major > 255 ||
        minor > 255) {
      Fail(fields.PathOf("ndis_version"),
           "expected \"major.minor\" like \"6.82\", got " + Shown(*ndis));
    }
    port.ndis_major = static_cast<uint8_t>(major);
    port.ndis_minor = static_cast<uint8_t>(minor);
  }
  port.link_up = Flag(fields, "link_up", true);
  uint64_t mbps = Number<uint64_t>(fields, "link_speed_mbps", 10000);
  if (mbps > 100'000'000) Fail(fields.PathOf("link_speed_mbps"), "out of range");
  port.link_speed_bps = mbps * 1'000'000;
  port.xmit_link_speed = port.link_up ? port.link_speed_bps : 0;
  port.rcv_link_speed = port.xmit_link_speed;
  port.medium = Number<uint32_t>(fields, "medium", 14);
  port.duplex = Number<uint32_t>(fields, "duplex", port.link_up ? 2 : 0);
  if (port.duplex > 2) Fail(fields.PathOf("duplex"), "0 unknown, 1 half, 2 full");
  port.max_frame_size = Number<uint32_t>(fields, "max_frame_size", 1500);
  if (const Json* pcie = fields.Find("pcie_link")) {
    Fields link(*pcie, fields.PathOf("pcie_link"));
    port.pcie_link_speed = Number<uint32_t>(link, "speed", 3);
    port.pcie_link_width = Number<uint32_t>(link, "width", 8);
    link.Finish();
  }
  if (const Json* sriov = fields.Find("sriov")) {
    if (sriov->is_boolean() && !sriov->get<bool>()) {
      port.sriov.present = false;
    } else {
      Fields setting(*sriov, fields.PathOf("sriov"));
      port.sriov.enabled = Flag(setting, "enabled", false);
      port.sriov.num_vfs = Number<uint32_t>(setting, "num_vfs", 0);
      port.sriov.num_allocated_vfs = Number<uint32_t>(setting, "num_allocated_vfs", 0);
      if (port.sriov.num_allocated_vfs > port.sriov.num_vfs) {
        Fail(setting.PathOf("num_allocated_vfs"), "more than num_vfs");
      }
      setting.Finish();
    }
  }
  fields.Finish();
  return port;
}

Ipv4Config ReadIpv4(const Json& value, const std::string& path) {
  Fields fields(value, path);
  Ipv4Config config;
  config.listed = Flag(fields, "listed", true);
  config.dhcp_enabled = Flag(fields, "dhcp", false);
  config.address = Text(fields, "address");
  CheckIpv4(config.address, fields.PathOf("address"));
  config.mask = Text(fields, "mask");
  CheckIpv4(config.mask, fields.PathOf("mask"));
  config.gateway = Text(fields, "gateway");
  CheckIpv4(config.gateway, fields.PathOf("gateway"));
  fields.Finish();
  return config;
}

Ipv6Config ReadIpv6(const Json& value, const std::string& path) {
  Fields fields(value, path);
  Ipv6Config config;
  config.listed = Flag(fields, "listed", true);
  if (const Json* unicast = fields.Find("unicast")) {
    const Json& unicast_list = ArrayAt(*unicast, fields.PathOf("unicast"));
    for (size_t i = 0; i < unicast_list.size(); ++i) {
      Fields entry(unicast_list.at(i), Indexed(fields.PathOf("unicast"), i));
      Ipv6Unicast address;
      address.address = Ipv6Address(entry.Need("address"), entry.PathOf("address"));
      address.flags = Number<uint32_t>(entry, "flags", 0);
      auto signed_field = [&](const char* name, int32_t fallback) {
        const Json* field = entry.Find(name);
        return field == nullptr ? fallback
                                : static_cast<int32_t>(
                                      ToSigned(*field, entry.PathOf(name), INT32_MIN, INT32_MAX));
      };
      address.prefix_origin = signed_field("prefix_origin", 0);
      address.suffix_origin = signed_field("suffix_origin", 0);
      address.dad_state = signed_field("dad_state", 4);
      address.valid_lifetime = Number<uint32_t>(entry, "valid_lifetime", 0xFFFFFFFF);
      address.preferred_lifetime = Number<uint32_t>(entry, "preferred_lifetime", 0xFFFFFFFF);
      address.lease_lifetime = Number<uint32_t>(entry, "lease_lifetime", 0xFFFFFFFF);
      entry.Finish();
      config.unicast.push_back(address);
    }
  }
  if (const Json* gateways = fields.Find("gateways")) {
    const Json& gateways_list = ArrayAt(*gateways, fields.PathOf("gateways"));
    for (size_t i = 0; i < gateways_list.size(); ++i) {
      config.gateways.push_back(
          Ipv6Address(gateways_list.at(i), Indexed(fields.PathOf("gateways"), i)));
    }
  }
  fields.Finish();
  return config;
}

std::string DefaultInstanceId(const PciIdentity& pci, const PciLocation& location) {
  char text[160];
  std::snprintf(text, sizeof text,
                "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X\\4&%08X&0&%02X%02X", pci.vendor_id,
                pci.device_id, pci.subsystem_id, pci.subsystem_vendor_id, pci.revision,
                0x1D000000u + location.bus * 0x100u, location.device * 8 + location.function, 0);
  return text;
}

void ReadDevice(const Json& value, const std::string& path, size_t index,
                MachineDescription& machine, std::vector<AdapterDescription>& adapters) {
  Fields fields(value, path);
  DeviceDescription device;

  std::optional<PciLocation> location;
  if (const Json* where = fields.Find("location")) {
    Fields loc(*where, fields.PathOf("location"));
    PciLocation pci_location;
    pci_location.bus = NeedNumber<uint32_t>(loc, "bus");
    pci_location.device = NeedNumber<uint32_t>(loc, "device");
    pci_location.function = NeedNumber<uint32_t>(loc, "function");
    if (pci_location.device > 0xFFFF || pci_location.function > 0xFFFF) {
      Fail(loc.path(), "device and function are 16-bit numbers");
    }
    loc.Finish();
    location = pci_location;
    device.bus_number = pci_location.bus;
    device.address = pci_location.device << 16 | pci_location.function;
  }

  // The physical adapter this device is a port of.
  std::optional<size_t> adapter_index;
  if (const Json* adapter = fields.Find("adapter")) {
    std::string id = ToText(*adapter, fields.PathOf("adapter"));
    for (size_t i = 0; i < adapters.size(); ++i) {
      if (adapters[i].id == id) adapter_index = i;
    }
    if (!adapter_index) {
      Fail(fields.PathOf("adapter"), "no adapter with id \"" + id + "\" in \"adapters\"");
    }
    if (!location) {
      Fail(fields.PathOf("location"), "required for a port of an adapter");
      return;
    }
  }

  const Json* instance = fields.Find("instance_id");
  if (instance != nullptr) {
    device.instance_id = ToText(*instance, fields.PathOf("instance_id"));
  } else if (adapter_index) {
    device.instance_id = DefaultInstanceId(adapters[*adapter_index].pci, *location);
  } else {
    Fail(fields.PathOf("instance_id"), "missing (required unless the device is an adapter port)");
  }
  if (device.instance_id.empty() || device.instance_id.find('\\') == std::string::npos) {
    Fail(fields.PathOf("instance_id"),
         "expected \"ENUMERATOR\\\\device\\\\instance\", got \"" + device.instance_id + "\"");
  }
  for (const auto& other : machine.devices) {
    if (EqualsNoCase(other.instance_id, device.instance_id)) {
      Fail(fields.PathOf("instance_id"), "\"" + device.instance_id + "\" is used twice");
    }
  }

  device.description = ToText(fields.Need("description"), fields.PathOf("description"));
  device.friendly_name = Text(fields, "friendly_name");
  char default_driver[64];
  std::snprintf(default_driver, sizeof default_driver, "%s\\%04zu", kNetClassKey, index);
  device.driver_key = Text(fields, "driver", default_driver);
  if (device.driver_key.empty()) Fail(fields.PathOf("driver"), "empty");
  for (const auto& other : machine.devices) {
    if (EqualsNoCase(other.driver_key, device.driver_key)) {
      Fail(fields.PathOf("driver"), "\"" + device.driver_key + "\" is used by another device");
    }
  }
  device.service = Text(fields, "service", adapter_index ? "velond" : "");
  device.manufacturer = Text(fields, "manufacturer", adapter_index ? "Norvane" : "");
  device.image_path = Text(fields, "image_path",
                           adapter_index ? "\\SystemRoot\\System32\\drivers\\velond.sys" : "");

  std::string bus_type = Text(fields, "bus_type", location ? "pci" : "");
  if (bus_type == "pci") {
    device.legacy_bus_type = platform::LEGACY_BUS_PCI;
    device.bus_type_guid = platform::GUID_BUS_TYPE_PCI;
  } else if (bus_type == "pcmcia") {
    device.legacy_bus_type = platform::LEGACY_BUS_PCMCIA;
    device.bus_type_guid = platform::GUID_BUS_TYPE_PCMCIA;
  } else if (bus_type == "usb") {
    device.bus_type_guid = platform::GUID_BUS_TYPE_USB;
  } else if (bus_type == "1394") {
    device.bus_type_guid = platform::GUID_BUS_TYPE_1394;
  } else if (!bus_type.empty() && bus_type != "none") {
    Fail(fields.PathOf("bus_type"),
         "expected \"pci\", \"pcmcia\", \"usb\", \"1394\" or \"none\", got \"" + bus_type + "\"");
  }
  if (const Json* legacy = fields.Find("legacy_bus_type")) {
    device.legacy_bus_type =
        static_cast<uint32_t>(ToNumber(*legacy, fields.PathOf("legacy_bus_type"), UINT32_MAX));
  }
  if (const Json* guid = fields.Find("bus_type_guid")) {
    device.bus_type_guid = GuidField(*guid, fields.PathOf("bus_type_guid"));
  }

  device.present = Flag(fields, "present", true);
  bool started = Flag(fields, "started", true);
  bool disabled = Flag(fields, "disabled", false);
  device.status = platform::DN_DRIVER_LOADED | platform::DN_DISABLEABLE;
  if (started && !disabled) device.status |= platform::DN_STARTED;
  device.problem = disabled ? platform::CM_PROB_DISABLED : 0;
  if (!started && !disabled) device.problem = platform::CM_PROB_FAILED_START;
  if (device.problem != 0) device.status |= platform::DN_HAS_PROBLEM;
  if (const Json* status = fields.Find("status")) {
    device.status = static_cast<uint32_t>(ToNumber(*status, fields.PathOf("status"), UINT32_MAX));
  }
  if (const Json* problem = fields.Find("problem")) {
    device.problem =
        static_cast<uint32_t>(ToNumber(*problem, fields.PathOf("problem"), UINT32_MAX));
  }
  device.open_at_try = Number<uint32_t>(fields, "open_at_try", 1);
  if (device.open_at_try == 0) Fail(fields.PathOf("open_at_try"), "tries count from 1");

  // The class key: Characteristics, ComponentId, NetCfgInstanceId, DriverVersion
  // and the adapter's settings (*FlowControl, *WakeOnMagicPacket, VlanID ...).
  std::vector<std::pair<std::string, RegistryValue>> class_values;
  if (const Json* values = fields.Find("class_values")) {
    class_values = RegistryValues(*values, fields.PathOf("class_values"));
  }
  if (const RegistryValue* characteristics = FindValue(class_values, "Characteristics")) {
    auto number = characteristics->AsDword();
    if (!number) Fail(fields.PathOf("class_values.Characteristics"), "must be a REG_DWORD");
    device.characteristics = *number;
  }
  if (const RegistryValue* component = FindValue(class_values, "ComponentId")) {
    device.component_id = component->AsText().value_or("");
  }
  if (const RegistryValue* guid = FindValue(class_values, "NetCfgInstanceId")) {
    device.net_cfg_instance_id = guid->AsText().value_or("");
    if (!platform::Guid::Parse(device.net_cfg_instance_id) ||
        device.net_cfg_instance_id.front() != '{') {
      Fail(fields.PathOf("class_values.NetCfgInstanceId"),
           "expected a braced GUID text, got \"" + device.net_cfg_instance_id + "\"");
    }
  }
  if (const RegistryValue* version = FindValue(class_values, "DriverVersion")) {
    device.driver_version = version->AsText().value_or("");
  }
  MergeKey(machine, "SYSTEM\\CurrentControlSet\\Control\\Class\\" + device.driver_key, class_values,
           fields.PathOf("class_values"));
  if (!device.service.empty()) {
    std::vector<std::pair<std::string, RegistryValue>> service_values;
    if (!device.image_path.empty()) {
      service_values.emplace_back("ImagePath",
                                  RegistryValue::Text(device.image_path, platform::REG_EXPAND_SZ));
    }
    MergeKey(machine, "SYSTEM\\CurrentControlSet\\Services\\" + device.service, service_values,
             fields.PathOf("image_path"));
  }

  if (const Json* ipv4 = fields.Find("ipv4")) device.ipv4 = ReadIpv4(*ipv4, fields.PathOf("ipv4"));
  if (const Json* ipv6 = fields.Find("ipv6")) device.ipv6 = ReadIpv6(*ipv6, fields.PathOf("ipv6"));
  if (const Json* tcpip = fields.Find("tcpip")) {
    if (device.net_cfg_instance_id.empty()) {
      Fail(fields.PathOf("tcpip"), "needs class_values.NetCfgInstanceId to name its key");
    }
    MergeKey(machine,
             "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" +
                 device.net_cfg_instance_id,
             RegistryValues(*tcpip, fields.PathOf("tcpip")), fields.PathOf("tcpip"));
  }
  if ((device.ipv4 || device.ipv6) && device.net_cfg_instance_id.empty()) {
    Fail(fields.PathOf(device.ipv4 ? "ipv4" : "ipv6"),
         "needs class_values.NetCfgInstanceId: the IP helper names adapters by it");
  }

  const Json* port = fields.Find("port");
  if (adapter_index) {
    if (port == nullptr) {
      Fail(fields.PathOf("port"), "required for a port of an adapter");
      return;
    }
    if (device.net_cfg_instance_id.empty()) {
      Fail(fields.PathOf("class_values.NetCfgInstanceId"),
           "required for a port of an adapter (its NDIS device is named by it)");
    }
    PortDescription port_description = ReadPort(*port, fields.PathOf("port"));
    port_description.device_index = machine.devices.size();
    port_description.location = *location;
    port_description.title = device.Title();
    port_description.interface_id = device.net_cfg_instance_id;
    AdapterDescription& owner = adapters[*adapter_index];
    for (const auto& other : owner.ports) {
      if (other.location.bus == location->bus && other.location.device == location->device &&
          other.location.function == location->function) {
        Fail(fields.PathOf("location"), "adapter \"" + owner.id + "\" already has a port there");
      }
    }
    device.adapter_index = adapter_index;
    device.port_index = owner.ports.size();
    owner.ports.push_back(port_description);
  } else if (port != nullptr) {
    Fail(fields.PathOf("port"), "only a device with \"adapter\" has a port");
  }

  fields.Finish();
  machine.devices.push_back(std::move(device));
}

MachineFaults ReadMachineFaults(const Json& value, const std::string& path) {
  Fields fields(value, path);
  MachineFaults faults;
  faults.scm_locked = Flag(fields, "scm_locked", false);
  faults.scm_lock_owner = Text(fields, "scm_lock_owner", faults.scm_lock_owner);
  faults.shutting_down = Flag(fields, "shutting_down", false);
  if (const Json* namespaces = fields.Find("unreachable_namespaces")) {
    const Json& namespaces_list = ArrayAt(*namespaces, fields.PathOf("unreachable_namespaces"));
    for (size_t i = 0; i < namespaces_list.size(); ++i) {
      faults.unreachable_namespaces.push_back(
          ToText(namespaces_list.at(i), Indexed(fields.PathOf("unreachable_namespaces"), i)));
    }
  }
  faults.sta_thread = Flag(fields, "sta_thread", false);
  if (const Json* denied = fields.Find("registry_denied")) {
    const Json& denied_list = ArrayAt(*denied, fields.PathOf("registry_denied"));
    for (size_t i = 0; i < denied_list.size(); ++i) {
      Fields entry(denied_list.at(i), Indexed(fields.PathOf("registry_denied"), i));
      RegistryAccessFault fault;
      fault.path = ToText(entry.Need("key"), entry.PathOf("key"));
      if (fault.path.empty()) Fail(entry.PathOf("key"), "empty");
      fault.deny_read = Flag(entry, "deny_read", false);
      entry.Finish();
      faults.registry_denied.push_back(fault);
    }
  }
  if (const Json* missing = fields.Find("missing_exports")) {
    const Json& missing_list = ArrayAt(*missing, fields.PathOf("missing_exports"));
    for (size_t i = 0; i < missing_list.size(); ++i) {
      std::string where = Indexed(fields.PathOf("missing_exports"), i);
      std::string text = ToText(missing_list.at(i), where);
      if (text.find('!') == std::string::npos) {
        Fail(where,
             "expected \"Library.dll!Function\" (or \"Library.dll!*\"), got \"" + text + "\"");
      }
      faults.missing_exports.push_back(text);
    }
  }
  fields.Finish();
  return faults;
}

void ReadMachine(const Json& root, MachineDescription& machine) {
  if (!root.is_object()) {
    Fail("(top level)", "expected an object, got " + Shown(root));
    return;
  }
  Fields fields(root, "");
  machine.computer_name = Text(fields, "computer_name", machine.computer_name);
  if (machine.computer_name.empty() || machine.computer_name.size() > 15) {
    Fail("computer_name", "1 to 15 characters (a NetBIOS name)");
  }
  std::vector<AdapterDescription> adapters;
  if (const Json* list = fields.Find("adapters")) {
    const Json& adapters_list = ArrayAt(*list, "adapters");
    for (size_t i = 0; i < adapters_list.size(); ++i) {
      AdapterDescription adapter = ReadAdapter(adapters_list.at(i), Indexed("adapters", i));
      for (const auto& other : adapters) {
        if (other.id == adapter.id) {
          Fail(Indexed("adapters", i) + ".id", "\"" + adapter.id + "\" is used twice");
        }
      }
      adapters.push_back(std::move(adapter));
    }
  }
  if (const Json* list = fields.Find("devices")) {
    const Json& devices_list = ArrayAt(*list, "devices");
    for (size_t i = 0; i < devices_list.size(); ++i) {
      ReadDevice(devices_list.at(i), Indexed("devices", i), i, machine, adapters);
    }
  }
  for (size_t i = 0; i < adapters.size(); ++i) {
    if (adapters[i].ports.empty()) {
      Fail(Indexed("adapters", i),
           "adapter \"" + adapters[i].id + "\" has no port: no device names it in \"adapter\"");
    }
  }
  machine.adapters = std::move(adapters);
  if (const Json* list = fields.Find("registry")) {
    const Json& registry_list = ArrayAt(*list, "registry");
    for (size_t i = 0; i < registry_list.size(); ++i) {
      Fields key(registry_list.at(i), Indexed("registry", i));
      std::string key_path = ToText(key.Need("key"), key.PathOf("key"));
      if (key_path.empty() || key_path.front() == '\\' || key_path.back() == '\\' ||
          key_path.find("\\\\") != std::string::npos) {
        Fail(key.PathOf("key"),
             "expected a path below HKEY_LOCAL_MACHINE like "
             "\"SOFTWARE\\\\Norvane\", got \"" +
                 key_path + "\"");
      }
      std::vector<std::pair<std::string, RegistryValue>> values;
      if (const Json* key_values = key.Find("values")) {
        values = RegistryValues(*key_values, key.PathOf("values"));
      }
      key.Finish();
      MergeKey(machine, key_path, values, Indexed("registry", i));
    }
  }
  if (const Json* faults = fields.Find("faults")) {
    machine.faults = ReadMachineFaults(*faults, "faults");
  }
  fields.Finish();
}

}  // namespace

bool ParseMachineDescription(std::string_view json_text, MachineDescription& description,
                             std::string& error) {
  Json root = Json::parse(json_text, nullptr, false);
  if (root.is_discarded()) {
    // Parse again with exceptions for the parser's own account of where.
    try {
      Json again = Json::parse(json_text);
      error = "not valid JSON";
    } catch (const Json::exception& e) {
      // Not only parse_error: a number beyond a double's range is reported
      // as out_of_range.
      error = std::string("not valid JSON: ") + e.what();
    }
    return false;
  }
  MachineDescription machine;
  std::string problem;
  first_problem = &problem;
  ReadMachine(root, machine);
  first_problem = nullptr;
  if (!problem.empty()) {
    error = problem;
    return false;
  }
  description = std::move(machine);
  return true;
}

}  // namespace skyfw::sim
