// Named mutexes shared by every process using the machine.
//
// Each mutex name has three lock files in locks/ of the machine directory
// (LockableFile: flock on Linux, LockFileEx on Windows):
//   mutex-NAME.handles  every open handle holds a shared lock on it, so the
//                       mutex exists while anyone holds one; creation tries an
//                       exclusive lock to learn whether it is the first.
//   mutex-NAME.owner    the owning process holds an exclusive lock and writes
//                       its process id into it; a clean release empties it, so
//                       an id found there by the next owner means the owner
//                       went away without releasing (WAIT_ABANDONED).
//   mutex-NAME.guard    serializes creations, so "created" and "already
//                       exists" are decided one process at a time.
// The locks vanish with the process, so a process that dies releases its
// handles and its ownership as Windows does. Ownership within a process
// belongs to a thread and is recursive.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "os/lockable_file.h"

namespace skyfw::sim {

class MachineMutexes final : public platform::Mutexes {
 public:
  MachineMutexes(std::filesystem::path directory, platform::System& system)
      : locks_(directory / "locks"), system_(system) {}

  uint32_t CreateMutex(const platform::SecurityAttributes* security, bool initial_owner,
                       std::string_view name,
                       std::unique_ptr<platform::NamedMutex>& mutex) override;

  struct Shared;  // one per name in this process

 private:
  std::filesystem::path locks_;
  platform::System& system_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Shared>> names_;
};

// A mutex seen from outside (for `skyfw sim show`).
struct MutexState {
  std::string name;
  bool exists = false;         // some process holds a handle
  bool owned = false;          // some process owns it
  uint32_t owner_process = 0;  // as the owner wrote it; 0 when unknown
};

// Every mutex name that has lock files under the machine's locks/ folder,
// sorted by name.
std::vector<MutexState> ListMutexes(const std::filesystem::path& machine_directory);

}  // namespace skyfw::sim
