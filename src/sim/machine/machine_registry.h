// The machine's registry: the keys of machine.json, with every write kept in
// registry.json of the machine directory (shared by all processes using the
// machine; a write lands whole under a lock).
//
// The merged keys stay in memory between calls and registry.json is read
// again only when it changed: the registry lock file's change counter (bumped
// by every writer) or the file's identity moved.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "os/file_identity.h"
#include "os/lockable_file.h"
#include "platform/registry.h"
#include "sim/machine/change_stamp.h"
#include "sim/machine/file_lock.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

class MachineRegistry final : public platform::Registry {
 public:
  MachineRegistry(const MachineDescription& description, std::filesystem::path directory);

  uint32_t OpenKey(std::string_view path, uint32_t access,
                   std::unique_ptr<platform::RegistryKey>& key) override;
  uint32_t CreateKey(std::string_view path, uint32_t access,
                     std::unique_ptr<platform::RegistryKey>& key, bool* created) override;

  // An open key's path, normalized, and its upper-case form (the map's key),
  // made once when the key is opened.
  struct KeyPath {
    std::string path;
    std::string upper;
  };

  // Used by the key objects.
  uint32_t QueryValue(const KeyPath& key, std::string_view name, platform::RegistryValue& value);
  uint32_t SetValue(const KeyPath& key, std::string_view name,
                    const platform::RegistryValue& value);
  uint32_t EnumKey(const KeyPath& key, uint32_t index, std::string& name);
  uint32_t QueryInfoKey(const KeyPath& key, uint32_t& subkeys, uint32_t& values);

  // Path components joined by single backslashes, without leading or
  // trailing ones.
  static std::string Normalize(std::string_view path);

 private:
  struct Key {
    std::string path;  // as first written
    std::vector<std::pair<std::string, platform::RegistryValue>> values;
  };
  using KeyMap = std::map<std::string, Key>;  // by upper-case path

  // Under mutex_: the base keys and the persisted writes, merged, as they
  // are now.
  const KeyMap& Keys();
  // Under mutex_ and `lock`: re-reads registry.json when it changed.
  void Refresh(const FileLock& lock);
  // Under mutex_ and the exclusive `lock`: stores `writes` and caches them.
  bool SaveChanged(FileLock& lock, KeyMap writes);
  // Upper-case names of the immediate subkeys of `upper_path`, in order, and
  // their spelling as first written.
  const std::vector<std::pair<std::string, std::string>>& Children(const std::string& upper_path);
  KeyMap LoadWrites();
  // 0 or the errno-style reason registry.json could not be written.
  int SaveWrites(const KeyMap& writes);
  bool Exists(const KeyMap& keys, const std::string& upper_path) const;
  uint32_t CheckAccess(const std::string& upper_path, uint32_t access) const;

  KeyMap base_;
  std::vector<RegistryAccessFault> denied_;
  std::filesystem::path writes_path_;
  std::filesystem::path lock_path_;
  std::mutex mutex_;
  // The lock file held open, to see without locking that nothing changed.
  platform::LockableFile watch_;
  // registry.json as last read, held open to look at it without its name.
  platform::GuardedFile held_;
  // What registry.json held when last read, and the keys merged with it.
  ChangeStamp stamp_;
  KeyMap writes_;
  KeyMap merged_;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> children_;
};

}  // namespace skyfw::sim
