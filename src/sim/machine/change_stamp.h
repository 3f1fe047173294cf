// What tells a process that another one changed a file of the machine
// directory: the change counter of the file's lock and the file's identity.
#pragma once

#include <cstdint>
#include <filesystem>

#include "os/file_identity.h"
#include "os/lockable_file.h"
#include "sim/machine/file_lock.h"

namespace skyfw::sim {

// A change counter and the guarded file's identity, read under the lock:
// while both stay the same, nothing changed the file.
struct ChangeStamp {
  bool valid = false;  // false: nothing cached yet
  uint64_t counter = 0;
  platform::FileIdentity identity;

  bool operator==(const ChangeStamp&) const = default;
};
// With `held`, the guarded file is also held from now on.
ChangeStamp StampOf(const FileLock& lock, const std::filesystem::path& guarded,
                    platform::GuardedFile* held = nullptr);

// Opens `lock_file` on the lock file at `lock_path` (which a FileLock has
// made) to read its counter without the lock, from memory where it can be
// mapped. False when it cannot be opened.
bool WatchChangeCounter(platform::LockableFile& lock_file, const std::filesystem::path& lock_path);

// StampOf's stamp, read without taking the lock: the counter through
// `lock_file`, a handle of the lock file kept open, and the identity through
// `held`, the guarded file as StampOf held it. Since a writer bumps the
// counter before it touches the guarded file, and the counter is read first
// here, a stamp equal to one taken under the lock means no write has begun
// since: a cache may then answer without the lock. Invalid when the counter
// cannot be read.
ChangeStamp PeekStamp(const platform::LockableFile& lock_file, const std::filesystem::path& guarded,
                      const platform::GuardedFile* held = nullptr);

}  // namespace skyfw::sim
