#include "sim/machine/machine_registry.h"

#include <nlohmann/json.hpp>
#include <system_error>

#include "os/file_names.h"
#include "os/file_reader.h"
#include "os/file_writer.h"
#include "sim/machine/file_lock.h"
#include "base/text.h"

namespace skyfw::sim {
namespace {

using platform::ERROR_ACCESS_DENIED;
using platform::ERROR_FILE_NOT_FOUND;
using platform::ERROR_NO_MORE_ITEMS;
using platform::ERROR_SUCCESS;
using platform::RegistryValue;

bool IsWriteAccess(uint32_t access) { return (access & ~platform::KEY_READ) != 0; }

// True when `path` is `prefix` or lies below it.
bool IsAtOrBelow(const std::string& upper_path, const std::string& upper_prefix) {
  if (upper_path.size() < upper_prefix.size()) return false;
  if (upper_path.compare(0, upper_prefix.size(), upper_prefix) != 0) return false;
  return upper_path.size() == upper_prefix.size() || upper_path[upper_prefix.size()] == '\\';
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t byte : bytes) {
    text.push_back(UpperHexDigit(byte >> 4));
    text.push_back(UpperHexDigit(byte));
  }
  return text;
}

bool FromHex(const std::string& text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigitValue(text[i]), low = HexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return true;
}

class MachineRegistryKey final : public platform::RegistryKey {
 public:
  MachineRegistryKey(MachineRegistry& registry, MachineRegistry::KeyPath path, uint32_t access)
      : registry_(registry), path_(std::move(path)), access_(access) {}

  uint32_t QueryValue(std::string_view name, RegistryValue& value) override {
    if ((access_ & platform::KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    return registry_.QueryValue(path_, name, value);
  }
  uint32_t SetValue(std::string_view name, const RegistryValue& value) override {
    if ((access_ & platform::KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    return registry_.SetValue(path_, name, value);
  }
  uint32_t EnumKey(uint32_t index, std::string& name) override {
    if ((access_ & platform::KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
    return registry_.EnumKey(path_, index, name);
  }
  uint32_t QueryInfoKey(uint32_t& subkeys, uint32_t& values) override {
    if ((access_ & platform::KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    return registry_.QueryInfoKey(path_, subkeys, values);
  }

 private:
  MachineRegistry& registry_;
  const MachineRegistry::KeyPath path_;
  uint32_t access_;
};

}  // namespace

MachineRegistry::MachineRegistry(const MachineDescription& description,
                                 std::filesystem::path directory)
    : denied_(description.faults.registry_denied),
      writes_path_(directory / "registry.json"),
      lock_path_(directory / "locks" / "registry.lock") {
  for (const auto& key : description.registry) {
    std::string path = Normalize(key.path);
    Key& entry = base_[AsciiUpper(path)];
    if (entry.path.empty()) entry.path = path;
    for (const auto& value : key.values) entry.values.push_back(value);
  }
  for (auto& fault : denied_) fault.path = AsciiUpper(Normalize(fault.path));
}

std::string MachineRegistry::Normalize(std::string_view path) {
  std::string normalized;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      if (!normalized.empty()) normalized.push_back('\\');
      normalized.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return normalized;
}

MachineRegistry::KeyMap MachineRegistry::LoadWrites() {
  KeyMap writes;
  std::string text;
  if (platform::ReadRegularFile(platform::FromFileSystemPath(writes_path_), text) != 0) {
    return writes;
  }
  auto json = nlohmann::json::parse(text, nullptr, false);
  if (!json.is_object() || !json.contains("keys") || !json["keys"].is_array()) return writes;
  for (const auto& key : json["keys"]) {
    if (!key.is_object() || !key.contains("key") || !key["key"].is_string()) continue;
    std::string path = Normalize(key["key"].get<std::string>());
    Key& entry = writes[AsciiUpper(path)];
    entry.path = path;
    if (!key.contains("values") || !key["values"].is_array()) continue;
    for (const auto& value : key["values"]) {
      if (!value.is_object() || !value.contains("name") || !value["name"].is_string() ||
          !value.contains("type") || !value["type"].is_number_unsigned() ||
          !value.contains("hex") || !value["hex"].is_string()) {
        continue;
      }
      RegistryValue data;
      data.type = value["type"].get<uint32_t>();
      if (!FromHex(value["hex"].get<std::string>(), data.data)) continue;
      entry.values.emplace_back(value["name"].get<std::string>(), data);
    }
  }
  return writes;
}

int MachineRegistry::SaveWrites(const KeyMap& writes) {
  nlohmann::ordered_json keys = nlohmann::ordered_json::array();
  for (const auto& [upper, key] : writes) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (const auto& [name, value] : key.values) {
      nlohmann::ordered_json entry;
      entry["name"] = name;
      entry["type"] = value.type;
      entry["hex"] = Hex(value.data);
      if (auto text = value.AsText()) entry["text"] = *text;  // for readers; not read back
      values.push_back(entry);
    }
    keys.push_back({{"key", key.path}, {"values", values}});
  }
  nlohmann::ordered_json root;
  root["keys"] = keys;
  std::error_code ignored;
  std::filesystem::create_directories(writes_path_.parent_path(), ignored);
  return platform::WriteWholeFile(platform::FromFileSystemPath(writes_path_), root.dump(2) + "\n");
}

void MachineRegistry::Refresh(const FileLock& lock) {
  ChangeStamp stamp = StampOf(lock, writes_path_, &held_);
  // Without the lock (a machine directory that cannot be written) nothing
  // tells a change, so the file is read every time.
  if (stamp.valid && stamp == stamp_) return;
  writes_ = LoadWrites();
  merged_ = base_;
  for (const auto& [upper, key] : writes_) {
    Key& entry = merged_[upper];
    if (entry.path.empty()) entry.path = key.path;
    for (const auto& [name, value] : key.values) {
      bool replaced = false;
      for (auto& [existing, existing_value] : entry.values) {
        if (EqualsNoCase(existing, name)) {
          existing_value = value;
          replaced = true;
        }
      }
      if (!replaced) entry.values.emplace_back(name, value);
    }
  }
  children_.clear();
  stamp_ = stamp;
}

const MachineRegistry::KeyMap& MachineRegistry::Keys() {
  // Most calls find nothing changed: they need not lock for that.
  if (stamp_.valid && watch_.is_open() && PeekStamp(watch_, writes_path_, &held_) == stamp_) {
    return merged_;
  }
  FileLock lock(lock_path_, LockMode::kShared);
  if (lock.locked() && !watch_.is_open()) WatchChangeCounter(watch_, lock_path_);
  Refresh(lock);
  return merged_;
}

bool MachineRegistry::SaveChanged(FileLock& lock, KeyMap writes) {
  // The counter moves first: a writer killed before the file is replaced
  // costs the others one needless re-read, never a missed change.
  if (lock.BumpChangeCounter() != 0 || SaveWrites(writes) != 0) {
    stamp_ = {};
    return false;
  }
  stamp_ = {};
  Refresh(lock);
  return true;
}

const std::vector<std::pair<std::string, std::string>>& MachineRegistry::Children(
    const std::string& upper_path) {
  auto cached = children_.find(upper_path);
  if (cached != children_.end()) return cached->second;
  const KeyMap& keys = merged_;
  std::string prefix = upper_path.empty() ? "" : upper_path + "\\";
  // Immediate children in upper-case order, spelt as first written.
  std::map<std::string, std::string> children;
  for (auto it = keys.lower_bound(prefix); it != keys.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    size_t end = it->first.find('\\', prefix.size());
    size_t length = (end == std::string::npos ? it->first.size() : end) - prefix.size();
    children.emplace(it->first.substr(prefix.size(), length),
                     it->second.path.substr(prefix.size(), length));
  }
  return children_[upper_path] = {children.begin(), children.end()};
}

bool MachineRegistry::Exists(const KeyMap& keys, const std::string& upper_path) const {
  if (upper_path.empty() || keys.count(upper_path) != 0) return true;
  // A key also exists as the parent of a deeper one.
  std::string prefix = upper_path + "\\";
  auto it = keys.lower_bound(prefix);
  return it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

uint32_t MachineRegistry::CheckAccess(const std::string& upper_path, uint32_t access) const {
  for (const auto& fault : denied_) {
    if (IsAtOrBelow(upper_path, fault.path) && (fault.deny_read || IsWriteAccess(access))) {
      return ERROR_ACCESS_DENIED;
    }
  }
  return ERROR_SUCCESS;
}

uint32_t MachineRegistry::OpenKey(std::string_view path, uint32_t access,
                                  std::unique_ptr<platform::RegistryKey>& key) {
  KeyPath opened;
  opened.path = Normalize(path);
  opened.upper = AsciiUpper(opened.path);
  std::lock_guard<std::mutex> guard(mutex_);
  if (!Exists(Keys(), opened.upper)) return ERROR_FILE_NOT_FOUND;
  if (uint32_t denied = CheckAccess(opened.upper, access); denied != ERROR_SUCCESS) return denied;
  key = std::make_unique<MachineRegistryKey>(*this, std::move(opened), access);
  return ERROR_SUCCESS;
}

uint32_t MachineRegistry::CreateKey(std::string_view path, uint32_t access,
                                    std::unique_ptr<platform::RegistryKey>& key, bool* created) {
  KeyPath opened;
  opened.path = Normalize(path);
  if (opened.path.empty()) return platform::ERROR_INVALID_PARAMETER;
  opened.upper = AsciiUpper(opened.path);
  std::lock_guard<std::mutex> guard(mutex_);
  bool exists = Exists(Keys(), opened.upper);
  if (uint32_t denied = CheckAccess(opened.upper, exists ? access : platform::KEY_ALL_ACCESS);
      denied != ERROR_SUCCESS) {
    return denied;
  }
  if (!exists) {
    FileLock lock(lock_path_);
    if (!lock.locked()) return ERROR_ACCESS_DENIED;
    Refresh(lock);
    KeyMap writes = writes_;
    Key& entry = writes[opened.upper];
    if (entry.path.empty()) entry.path = opened.path;
    if (!SaveChanged(lock, std::move(writes))) return ERROR_ACCESS_DENIED;
  }
  if (created != nullptr) *created = !exists;
  key = std::make_unique<MachineRegistryKey>(*this, std::move(opened), access);
  return ERROR_SUCCESS;
}

uint32_t MachineRegistry::QueryValue(const KeyPath& key, std::string_view name,
                                     RegistryValue& value) {
  std::lock_guard<std::mutex> guard(mutex_);
  const KeyMap& keys = Keys();
  auto it = keys.find(key.upper);
  if (it == keys.end()) return ERROR_FILE_NOT_FOUND;
  for (const auto& [value_name, data] : it->second.values) {
    if (EqualsNoCase(value_name, name)) {
      value = data;
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

uint32_t MachineRegistry::SetValue(const KeyPath& key, std::string_view name,
                                   const RegistryValue& value) {
  std::lock_guard<std::mutex> guard(mutex_);
  FileLock lock(lock_path_);
  if (!lock.locked()) return ERROR_ACCESS_DENIED;
  Refresh(lock);
  KeyMap writes = writes_;
  Key& entry = writes[key.upper];
  if (entry.path.empty()) entry.path = key.path;
  bool replaced = false;
  for (auto& [existing, existing_value] : entry.values) {
    if (!EqualsNoCase(existing, name)) continue;
    // Rewriting the same value (each plug-in load registers its event
    // source again) leaves the file alone.
    if (existing_value.type == value.type && existing_value.data == value.data) {
      return ERROR_SUCCESS;
    }
    existing_value = value;
    replaced = true;
  }
  if (!replaced) entry.values.emplace_back(std::string(name), value);
  return SaveChanged(lock, std::move(writes)) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

uint32_t MachineRegistry::EnumKey(const KeyPath& key, uint32_t index, std::string& name) {
  std::lock_guard<std::mutex> guard(mutex_);
  Keys();
  const auto& children = Children(key.upper);
  if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
  name = children[index].second;
  return ERROR_SUCCESS;
}

uint32_t MachineRegistry::QueryInfoKey(const KeyPath& key, uint32_t& subkeys, uint32_t& values) {
  std::lock_guard<std::mutex> guard(mutex_);
  const KeyMap& keys = Keys();
  subkeys = static_cast<uint32_t>(Children(key.upper).size());
  auto it = keys.find(key.upper);
  values = it == keys.end() ? 0 : static_cast<uint32_t>(it->second.values.size());
  return ERROR_SUCCESS;
}

}  // namespace skyfw::sim
