// The machine's registry: the keys of machine.json, with every write kept in
// registry.json of the machine directory (shared by all processes using the
// machine; a write lands whole under a lock).
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "sim/machine_description.h"

namespace skyfw::sim {

class MachineRegistry final : public platform::Registry {
 public:
  MachineRegistry(const MachineDescription& description, std::filesystem::path directory);

  uint32_t OpenKey(std::string_view path, uint32_t access,
                   std::unique_ptr<platform::RegistryKey>& key) override;
  uint32_t CreateKey(std::string_view path, uint32_t access,
                     std::unique_ptr<platform::RegistryKey>& key, bool* created) override;

  // Used by the key objects; `path` is normalized.
  uint32_t QueryValue(const std::string& path, std::string_view name,
                      platform::RegistryValue& value);
  uint32_t SetValue(const std::string& path, std::string_view name,
                    const platform::RegistryValue& value);
  uint32_t EnumKey(const std::string& path, uint32_t index, std::string& name);
  uint32_t QueryInfoKey(const std::string& path, uint32_t& subkeys, uint32_t& values);

  // Path components joined by single backslashes, without leading or
  // trailing ones.
  static std::string Normalize(std::string_view path);

 private:
  struct Key {
    std::string path;  // as first written
    std::vector<std::pair<std::string, platform::RegistryValue>> values;
  };
  using KeyMap = std::map<std::string, Key>;  // by upper-case path

  // Base keys and the persisted writes, merged (read under mutex_).
  KeyMap Merged();
  KeyMap LoadWrites();
  bool SaveWrites(const KeyMap& writes);
  bool Exists(const KeyMap& keys, const std::string& upper_path) const;
  uint32_t CheckAccess(const std::string& path, uint32_t access) const;

  KeyMap base_;
  std::vector<RegistryAccessFault> denied_;
  std::filesystem::path writes_path_;
  std::filesystem::path lock_path_;
  std::mutex mutex_;
};

}  // namespace skyfw::sim
